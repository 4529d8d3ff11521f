# 64-bit Windows: NAME.mexw64, PE32+.
set(MINGW_ARCH x86_64)
set(MINGW_BITS 64)
set(BLOCKS_PE_FORMAT "PE32+")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
