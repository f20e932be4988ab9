# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (the POSIX-thread
# flavour, whose libstdc++ has std::thread and std::mutex).
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DOSL_WINDOWS_DEPS=<folder made by scripts/windows-deps>
#
# Programs are searched for on the build machine (soapcpp2 and wsdl2h run
# there); headers and libraries only in the target's own folders and in the
# cross-built dependencies.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OSL_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${OSL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OSL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OSL_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${OSL_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${OSL_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_NM ${OSL_MINGW_TRIPLE}-nm CACHE FILEPATH "")
set(CMAKE_DLLTOOL ${OSL_MINGW_TRIPLE}-dlltool CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${OSL_MINGW_TRIPLE})
if(OSL_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${OSL_WINDOWS_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine (ctest and gtest_add_tests use this).
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR AND EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
