# 64-bit x86 Windows: a second build, so that nothing comes to depend on one
# word size.
set(TIDEWELL_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
