# The Windows build (included by the top-level CMakeLists.txt when the
# toolchain is cmake/mingw-w64-x86_64.cmake). It builds the plug-in, Osl.pln
# as a PE32+ DLL exporting only GetPlugIn, the plug-in's tests that build
# without the stand-in, and the Windows test programs in tests/windows/. The
# stand-in and osl-service stay Linux programs.
#
# OSL_WINDOWS_DEPS names the folder scripts/windows-deps prints: OpenSSL, the
# gSOAP runtime and GoogleTest built for Windows. The code generators (wsdl2h,
# soapcpp2) run on the build machine, as in the Linux build.
#
# The plug-in's references to the host (the declarations in host/) are
# resolved at load time from the host's DLL, OSL_HOST_DLL: the build makes an
# import library for exactly the host symbols the plug-in uses
# (cmake/host_imports.cmake).
set(OSL_WINDOWS_DEPS "" CACHE PATH "The folder scripts/windows-deps prints")
if(NOT EXISTS "${OSL_WINDOWS_DEPS}/.complete")
  message(FATAL_ERROR "OSL_WINDOWS_DEPS (\"${OSL_WINDOWS_DEPS}\") is not a folder made by "
                      "scripts/windows-deps; scripts/windows sets it")
endif()
set(OSL_HOST_DLL "libstandin.dll" CACHE STRING
    "The host DLL that implements host/ (the file name Osl.pln imports from)")

enable_language(RC)

# libgcc, libstdc++ and winpthread go inside every binary: Osl.pln needs no
# MinGW DLL beside it, only the system's and the host's.
add_link_options(-static)

find_package(Threads REQUIRED)

# M_PI and the other <cmath> constants, which glibc offers by default.
add_compile_definitions(_USE_MATH_DEFINES)

# Header-only libraries of the build machine, each by its own folder only (the
# build machine's /usr/include must never be on a Windows include path).
set(osl_host_headers ${CMAKE_BINARY_DIR}/build-machine-headers)
file(MAKE_DIRECTORY ${osl_host_headers})
foreach(dir boost nlohmann)
  if(NOT EXISTS ${osl_host_headers}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${osl_host_headers}/${dir} SYMBOLIC)
  endif()
endforeach()
add_library(Boost::boost INTERFACE IMPORTED)
target_include_directories(Boost::boost SYSTEM INTERFACE ${osl_host_headers})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${osl_host_headers})

# OpenSSL and the gSOAP runtime under the names the Linux build's pkg-config
# targets have, so the subsystems' CMakeLists.txt stay the same.
set(osl_mingw_lib /usr/x86_64-w64-mingw32/lib)
add_library(PkgConfig::OPENSSL INTERFACE IMPORTED)
target_include_directories(PkgConfig::OPENSSL SYSTEM INTERFACE ${OSL_WINDOWS_DEPS}/include)
target_link_libraries(PkgConfig::OPENSSL INTERFACE
  ${OSL_WINDOWS_DEPS}/lib/libssl.a ${OSL_WINDOWS_DEPS}/lib/libcrypto.a ws2_32 gdi32 crypt32 user32
  advapi32)

file(READ ${OSL_WINDOWS_DEPS}/gsoap-defines osl_gsoap_flags)
string(STRIP "${osl_gsoap_flags}" osl_gsoap_flags)
separate_arguments(osl_gsoap_flags UNIX_COMMAND "${osl_gsoap_flags}")
list(TRANSFORM osl_gsoap_flags REPLACE "^-D" "")
add_library(PkgConfig::GSOAPXX INTERFACE IMPORTED)
target_include_directories(PkgConfig::GSOAPXX SYSTEM INTERFACE ${OSL_WINDOWS_DEPS}/include)
target_compile_definitions(PkgConfig::GSOAPXX INTERFACE ${osl_gsoap_flags})
# The static zlib (gSOAP's WITH_GZIP), not its import library.
target_link_libraries(PkgConfig::GSOAPXX INTERFACE ${OSL_WINDOWS_DEPS}/lib/libgsoapssl++.a
  PkgConfig::OPENSSL ${osl_mingw_lib}/libz.a ws2_32)

# The host seam: declarations only; Osl.pln imports their code from OSL_HOST_DLL.
add_library(host INTERFACE)
target_include_directories(host INTERFACE ${CMAKE_SOURCE_DIR})

add_subdirectory(text)
add_subdirectory(schema)
add_subdirectory(plugin_base)
add_subdirectory(service_client)
add_subdirectory(model)
add_subdirectory(ui)
add_subdirectory(publish)
add_subdirectory(plugin)

option(OSL_TESTS "Require GoogleTest and build the tests" OFF)
find_package(GTest CONFIG)
if(GTest_FOUND)
  enable_testing()
  include(GoogleTest)
  add_subdirectory(tests/windows)
  add_subdirectory(tests/service_client)
elseif(OSL_TESTS)
  message(FATAL_ERROR "GoogleTest for Windows is missing from ${OSL_WINDOWS_DEPS}")
endif()
