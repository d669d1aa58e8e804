# privet_bundle(<Name.ext> CODE <target> INFO_PLIST <template>
#               [RESOURCES <file>...] [PAYLOADS <bundle dir>...] [PLUGINS <bundle dir>...]
#               [HELPER <helper target>])
#
# Lays out a bundle under build/products/:
#   Name.ext/Contents/Info.plist        from the template (@BUNDLE_EXECUTABLE@ is the code's file name)
#   Name.ext/Contents/Linux/<code>      the target's output
#   Name.ext/Contents/Resources/        the resources and payload bundles
#   Name.ext/Contents/PlugIns/          the plug-in payload bundles
#   Name.ext/Contents/Helpers/          the install helper and the privileged launcher
function(privet_bundle bundle)
  cmake_parse_arguments(ARG "" "CODE;INFO_PLIST;HELPER" "RESOURCES;PAYLOADS;PLUGINS" ${ARGN})
  set(root ${PRODUCTS_DIR}/${bundle})
  set_target_properties(${ARG_CODE} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${root}/Contents/Linux
    RUNTIME_OUTPUT_DIRECTORY ${root}/Contents/Linux
    PREFIX "")
  get_target_property(type ${ARG_CODE} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(BUNDLE_EXECUTABLE ${ARG_CODE})
  else()
    set(BUNDLE_EXECUTABLE ${ARG_CODE}.so)
  endif()
  configure_file(${ARG_INFO_PLIST} ${root}/Contents/Info.plist @ONLY)

  set(commands COMMAND ${CMAKE_COMMAND} -E make_directory
    ${root}/Contents/Resources ${root}/Contents/PlugIns ${root}/Contents/Helpers)
  foreach(resource IN LISTS ARG_RESOURCES)
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${resource} ${root}/Contents/Resources/)
  endforeach()
  foreach(payload IN LISTS ARG_PAYLOADS)
    get_filename_component(name ${payload} NAME)
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_directory ${payload} ${root}/Contents/Resources/${name})
  endforeach()
  foreach(payload IN LISTS ARG_PLUGINS)
    get_filename_component(name ${payload} NAME)
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_directory ${payload} ${root}/Contents/PlugIns/${name})
  endforeach()
  if(ARG_HELPER)
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different
      $<TARGET_FILE:${ARG_HELPER}> $<TARGET_FILE:privileged-launcher> ${root}/Contents/Helpers/)
    set(helper_targets ${ARG_HELPER} privileged-launcher)
  endif()
  # Copied on every build (each copy only when it differs), so that an edited
  # interface file reaches the bundle without the code being rebuilt.
  add_custom_target(${ARG_CODE}_contents ALL ${commands} VERBATIM)
  add_dependencies(${ARG_CODE}_contents sample_payloads ${helper_targets})
  add_dependencies(${ARG_CODE} ${ARG_CODE}_contents)
endfunction()
