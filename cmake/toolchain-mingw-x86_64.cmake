# The same sources for 64-bit Windows, for the component library's 64-bit users.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# The runtime's thread model: posix (the winpthreads library) unless GS_MINGW_THREADS says win32,
# as the product's preset does: its programs run one thread, and the win32 model's runtime
# needs no threads library (about 30 KB of the updater).
set(GS_MINGW_THREADS posix CACHE STRING "Thread model of the MinGW-w64 compilers: posix or win32")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES GS_MINGW_THREADS)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-${GS_MINGW_THREADS})
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-${GS_MINGW_THREADS})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(GS_WINE /usr/lib/wine/wine64 CACHE FILEPATH "wine loader that runs the tests (64-bit)")
