# Cross build for i686 Windows with Debian's mingw-w64 (the posix thread model, for
# std::thread), runtime libraries linked in so the DLLs and programs stand alone.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
# Libraries: mingw-w64's own and zlib under /usr/i686-w64-mingw32, the rest from the cache
# that scripts/windows-deps.sh fills.
if(NOT DEFINED VX_WIN_DEPS)
  if(DEFINED ENV{VX_WIN_DEPS})
    set(VX_WIN_DEPS $ENV{VX_WIN_DEPS})
  else()
    set(VX_WIN_DEPS $ENV{HOME}/.cache/vxstills/windows-deps)
  endif()
endif()
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 ${VX_WIN_DEPS}/i686)
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# SSE2 is part of the baseline: every processor that runs a supported 32-bit Windows has it,
# and the formats' vector paths (x86-64's baseline) then compile unchanged.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
