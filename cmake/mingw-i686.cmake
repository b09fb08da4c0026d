# Cross build for i686 Windows with Debian's mingw-w64.
set(VX_MINGW_CPU i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# SSE2 is part of the baseline: every processor that runs a supported 32-bit Windows has it,
# and the formats' vector paths (x86-64's baseline) then compile unchanged.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
