# Shared body of the mingw-w64 toolchain files: VX_MINGW_CPU (i686 or x86_64) names the target.
# The posix thread model gives std::thread; runtime libraries are linked in so the DLLs and
# programs stand alone.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VX_MINGW_CPU})
set(CMAKE_C_COMPILER ${VX_MINGW_CPU}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${VX_MINGW_CPU}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${VX_MINGW_CPU}-w64-mingw32-windres)
# Libraries: mingw-w64's own and zlib under /usr/<triple>, the rest from the cache that
# scripts/windows-deps.sh fills.
if(NOT DEFINED VX_WIN_DEPS)
  if(DEFINED ENV{VX_WIN_DEPS})
    set(VX_WIN_DEPS $ENV{VX_WIN_DEPS})
  else()
    set(VX_WIN_DEPS $ENV{HOME}/.cache/vxstills/windows-deps)
  endif()
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${VX_MINGW_CPU}-w64-mingw32 ${VX_WIN_DEPS}/${VX_MINGW_CPU})
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
