# The product: a 32-bit Windows GUI program built with Debian's mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLET i686-w64-mingw32)
set(MINGW_THREAD_MODEL win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
