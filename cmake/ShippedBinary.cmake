# velloran_ship_stripped(<target>...), called where the target is made: what a user runs carries no debug information and no
# symbol table (build paths, names of test-only functions). The debug information is kept beside
# the build, in VELLORAN_DEBUG_DIR, for reading crash dumps; each binary names its debug file.
set(VELLORAN_DEBUG_DIR "${CMAKE_BINARY_DIR}/../debug" CACHE PATH "Folder of the shipped binaries' debug files")
get_filename_component(VELLORAN_DEBUG_DIR "${VELLORAN_DEBUG_DIR}" ABSOLUTE)
file(MAKE_DIRECTORY ${VELLORAN_DEBUG_DIR})

function(velloran_ship_stripped)
  foreach(target IN LISTS ARGN)
    set(debug_file ${VELLORAN_DEBUG_DIR}/$<TARGET_FILE_NAME:${target}>.debug)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${debug_file}
      COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
      COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${debug_file} $<TARGET_FILE:${target}>
      VERBATIM)
  endforeach()
endfunction()
