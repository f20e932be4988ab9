# Included by the top-level CMakeLists.txt when OSL_FUZZ is on, before any target is defined:
# every library is compiled with coverage instrumentation and the address and undefined-behaviour
# sanitizers, so that the fuzz targets learn from (and check) the code they call.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "OSL_FUZZ needs clang: configure with -DCMAKE_C_COMPILER=clang "
                      "-DCMAKE_CXX_COMPILER=clang++ (scripts/fuzz does)")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)
