# The same sources for x86_64: this kernel cannot run 32-bit code, so the
# program and its tests run under 64-bit Wine instead.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(MINGW_THREAD_MODEL posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
