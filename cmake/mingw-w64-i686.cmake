# 32-bit x86 Windows: the word size the product ships in.
set(TIDEWELL_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
