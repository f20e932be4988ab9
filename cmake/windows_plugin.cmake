# Osl.pln for Windows (included by plugin/CMakeLists.txt): a PE32+ DLL that
# exports exactly GetPlugIn (exports.def), carries its resources as the
# RCDATA resource OSL_RESOURCES, and imports the host's code from OSL_HOST_DLL
# through an import library made for the host symbols it references.
set(osl_resource_rc ${CMAKE_CURRENT_BINARY_DIR}/osl_resources.rc)
file(WRITE ${osl_resource_rc}.new "OSL_RESOURCES RCDATA \"${OSL_RESOURCE_FILE}\"\n")
file(COPY_FILE ${osl_resource_rc}.new ${osl_resource_rc} ONLY_IF_DIFFERENT)
set_source_files_properties(${osl_resource_rc} PROPERTIES OBJECT_DEPENDS ${OSL_RESOURCE_FILE})

# What the module is made of, apart from the host: the import library is made
# from these files' references.
set(osl_module_parts osl_plugin_core osl_model osl_service_client osl_publish osl_ui)
set(osl_module_inputs)
foreach(part ${osl_module_parts})
  list(APPEND osl_module_inputs $<TARGET_OBJECTS:${part}>)
endforeach()
foreach(archive osl_plugin_base osl_text osl_soap_client osl_soap_types osl_soapns)
  list(APPEND osl_module_inputs $<TARGET_FILE:${archive}>)
endforeach()
set(osl_host_inputs ${CMAKE_CURRENT_BINARY_DIR}/host_import_inputs.txt)
file(GENERATE OUTPUT ${osl_host_inputs} CONTENT "$<JOIN:${osl_module_inputs},\n>\n")
set(OSL_HOST_DEF ${CMAKE_CURRENT_BINARY_DIR}/host_imports.def CACHE INTERNAL "")
set(OSL_HOST_IMPORT_LIB ${CMAKE_CURRENT_BINARY_DIR}/libhost_imports.a CACHE INTERNAL "")
add_custom_command(
  OUTPUT ${OSL_HOST_DEF} ${OSL_HOST_IMPORT_LIB}
  COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DCXXFILT=${OSL_MINGW_TRIPLE}-c++filt
          -DDLLTOOL=${CMAKE_DLLTOOL} -DINPUTS=${osl_host_inputs} -DHOST_DIR=${CMAKE_SOURCE_DIR}/host
          -DDLL=${OSL_HOST_DLL} -DDEF=${OSL_HOST_DEF} -DLIB=${OSL_HOST_IMPORT_LIB}
          -P ${CMAKE_SOURCE_DIR}/cmake/host_imports.cmake
  DEPENDS ${osl_module_inputs} ${osl_host_inputs} ${CMAKE_SOURCE_DIR}/cmake/host_imports.cmake
  COMMENT "The host symbols Osl.pln imports from ${OSL_HOST_DLL}"
  VERBATIM)
add_custom_target(osl_host_imports DEPENDS ${OSL_HOST_DEF} ${OSL_HOST_IMPORT_LIB})
add_dependencies(osl_host_imports ${osl_module_parts} osl_plugin_base osl_text osl_soap_client
  osl_soap_types osl_soapns)

add_library(Osl MODULE ${osl_resource_rc} exports.def)
set_target_properties(Osl PROPERTIES PREFIX "" SUFFIX ".pln" OUTPUT_NAME Osl)
target_link_libraries(Osl PRIVATE ${osl_module_parts} host ${OSL_HOST_IMPORT_LIB})
add_dependencies(Osl osl_host_imports)
set_property(TARGET Osl APPEND PROPERTY LINK_DEPENDS ${OSL_HOST_IMPORT_LIB})
