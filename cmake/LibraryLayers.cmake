# The program's static libraries form layers: each may link only the ones below it, so no two
# depend on each other. velloran_check_library_layers(<bottom> ... <top>) stops the configure
# step when a library links one at its own level or above.
function(velloran_check_library_layers)
  set(below "")
  foreach(library IN LISTS ARGN)
    get_target_property(links ${library} LINK_LIBRARIES)
    get_target_property(interface ${library} INTERFACE_LINK_LIBRARIES)
    foreach(linked IN LISTS links interface)
      if(linked IN_LIST ARGN AND NOT linked IN_LIST below)
        message(FATAL_ERROR "${library} links ${linked}, which is not below it (layers from the bottom: ${ARGN})")
      endif()
    endforeach()
    list(APPEND below ${library})
  endforeach()
endfunction()
