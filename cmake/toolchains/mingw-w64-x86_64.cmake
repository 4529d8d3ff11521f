# 64-bit Windows (PE32+) with Debian's mingw-w64 cross compilers. The -posix
# variants: the default win32 thread model of GCC 12 has no std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(BLOCKS_WINDOWS_TOOL_PREFIX x86_64-w64-mingw32-)
set(BLOCKS_MEX_SUFFIX .mexw64)
set(BLOCKS_PE_FORMAT "PE32+")
# Test programs run under Wine (scripts/wine-run.sh: a prefix of its own in
# the build folder, no display, no debug output).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run.sh;64)
