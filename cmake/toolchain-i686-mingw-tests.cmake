# The 32-bit product's sources with every test: GoogleTest needs the posix
# thread model, so this face uses the posix compilers of the same triplet.
# Its programs run under 32-bit Wine in a 64-bit prefix, as under WoW64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLET i686-w64-mingw32)
set(MINGW_THREAD_MODEL posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
