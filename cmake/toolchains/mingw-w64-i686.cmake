# 32-bit Windows: NAME.mexw32, PE32.
set(MINGW_ARCH i686)
set(MINGW_BITS 32)
set(BLOCKS_PE_FORMAT "PE32")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
