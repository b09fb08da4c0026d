# Cross build for x86_64 Windows with Debian's mingw-w64.
set(VX_MINGW_CPU x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
