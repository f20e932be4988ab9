# cmake -P script: the module-definition file of the host symbols a Windows
# binary imports, and its import library.
#
#   -DNM=...-nm -DCXXFILT=...-c++filt -DDLLTOOL=...-dlltool
#   -DINPUTS=<file listing the object files and archives, one a line>
#   -DHOST_DIR=<the host/ folder> -DDLL=<host DLL name>
#   -DDEF=<output .def> -DLIB=<output import library>
#
# A symbol is the host's when the inputs reference it, none of them defines
# it, and its (C++) name begins with a class, namespace or function that a
# header of host/ declares. Names without a parameter list (vtables, type
# information, static members) are imported as DATA. Symbols of the C and C++
# runtimes, the SOAP runtime, OpenSSL and Windows do not begin with such a name
# and are left to the ordinary libraries.
cmake_minimum_required(VERSION 3.20)
foreach(var NM CXXFILT DLLTOOL INPUTS HOST_DIR DLL DEF LIB)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "host_imports.cmake: -D${var}= is required")
  endif()
endforeach()

file(STRINGS ${INPUTS} inputs)
execute_process(COMMAND ${NM} -g ${inputs} OUTPUT_VARIABLE nm_out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "host_imports.cmake: ${NM} failed (${rc})")
endif()
string(REPLACE "\n" ";" nm_lines "${nm_out}")
set(undefined)
set(defined)
foreach(line ${nm_lines})
  if(line MATCHES "^ +U (_Z[A-Za-z0-9_]+)$")
    list(APPEND undefined ${CMAKE_MATCH_1})
  elseif(line MATCHES "^[0-9a-f]+ [A-Za-z] ([A-Za-z0-9_.$@]+)$")
    list(APPEND defined ${CMAKE_MATCH_1})
  endif()
endforeach()
list(REMOVE_DUPLICATES undefined)
list(REMOVE_ITEM undefined ${defined})

# The names host/ declares: what follows class, struct, namespace or enum, and
# every name directly before an opening parenthesis at the start of a
# declaration.
file(GLOB headers ${HOST_DIR}/*.h)
set(host_names)
foreach(header ${headers})
  file(READ ${header} text)
  string(REGEX MATCHALL "(class|struct|namespace|enum)[ \t]+[A-Za-z_][A-Za-z0-9_]*" found "${text}")
  foreach(item ${found})
    string(REGEX REPLACE "^[a-z]+[ \t]+" "" item "${item}")
    list(APPEND host_names ${item})
  endforeach()
  string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_:<>*& \t]*[ \t*&]([A-Za-z_][A-Za-z0-9_]*)\\(" found "${text}")
  foreach(item ${found})
    string(REGEX REPLACE ".*[ \t*&]([A-Za-z_][A-Za-z0-9_]*)\\($" "\\1" item "${item}")
    list(APPEND host_names ${item})
  endforeach()
endforeach()
list(REMOVE_DUPLICATES host_names)
list(REMOVE_ITEM host_names std operator return if while for sizeof)

# The first name of a mangled symbol: _Z, an optional special prefix (TV
# vtable, TI type information, TS its name, TT VTT), an optional N with
# qualifiers, then <length><name>.
set(imports)
foreach(sym ${undefined})
  if(sym MATCHES "^_Z(T[VIST])?N?[rVK]*([0-9]+)([A-Za-z0-9_]+)$")
    set(len ${CMAKE_MATCH_2})
    string(SUBSTRING "${CMAKE_MATCH_3}" 0 ${len} first)
    if(first IN_LIST host_names)
      list(APPEND imports ${sym})
    endif()
  endif()
endforeach()
list(SORT imports)

set(def "LIBRARY ${DLL}\nEXPORTS\n")
if(imports)
  execute_process(COMMAND ${CXXFILT} ${imports} OUTPUT_VARIABLE demangled RESULT_VARIABLE rc
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "host_imports.cmake: ${CXXFILT} failed (${rc})")
  endif()
  # Only the parenthesis matters below; brackets would split a CMake list.
  string(REGEX REPLACE "[][;]" "_" demangled "${demangled}")
  string(REPLACE "\n" ";" demangled "${demangled}")
  list(LENGTH imports count)
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    list(GET imports ${i} sym)
    list(GET demangled ${i} name)
    if(name MATCHES "\\(")
      string(APPEND def "  ${sym}\n")
    else()
      string(APPEND def "  ${sym} DATA\n")
    endif()
  endforeach()
endif()
file(WRITE ${DEF}.new "${def}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${DEF}.new ${DEF})
file(REMOVE ${DEF}.new)
execute_process(COMMAND ${DLLTOOL} -d ${DEF} -l ${LIB} -D ${DLL} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "host_imports.cmake: ${DLLTOOL} failed (${rc})")
endif()
