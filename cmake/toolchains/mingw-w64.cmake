# What both Windows toolchains share: Debian's mingw-w64 cross compilers,
# the -posix variants (the default win32 thread model of GCC 12 has no
# std::mutex). The including file sets MINGW_ARCH (x86_64 or i686) and
# MINGW_BITS (64 or 32).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})
set(CMAKE_C_COMPILER ${MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_ARCH}-w64-mingw32)
# yaml-cpp, SUNDIALS and CLI11 cross-built by scripts/build-static-libs.sh.
if(BLOCKS_WINDOWS_LIBS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${BLOCKS_WINDOWS_LIBS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(BLOCKS_WINDOWS_TOOL_PREFIX ${MINGW_ARCH}-w64-mingw32-)
set(BLOCKS_MEX_SUFFIX .mexw${MINGW_BITS})
# Test programs run under Wine (scripts/wine-run.sh: a prefix of its own in
# the build folder, no display, no debug output).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run.sh;${MINGW_BITS})
