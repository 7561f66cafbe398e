# velloran_module_definition(<file.def> <var>): the module-definition file to link a DLL with.
# Our exports are __stdcall functions exported under their plain names ("Name = Name@N"); on
# x86_64 there is one calling convention and no decoration, so the aliases are dropped there.
function(velloran_module_definition def var)
  if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(${var} ${def} PARENT_SCOPE)
    return()
  endif()
  file(READ ${def} text)
  string(REGEX REPLACE " *= *[A-Za-z_][A-Za-z0-9_]*@[0-9]+" "" text "${text}")
  get_filename_component(name ${def} NAME)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/x86_64-${name})
  velloran_write_generated(${out} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  set(${var} ${out} PARENT_SCOPE)
endfunction()
