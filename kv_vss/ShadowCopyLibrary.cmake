# velloran_shadow_copy_library(target DEF <file.def> WORK <sources>...): one build of the
# shadow-copy library: the entry point of kv_vss.cpp with the work that fulfils a request
# (ShadowCopyWork.h). kv_vss and kv_vss64 take the shadow-copy service's work; the tests'
# doubles take their own.
function(velloran_shadow_copy_library target)
  cmake_parse_arguments(ARG "" "DEF" "WORK" ${ARGN})
  set(lib ${CMAKE_SOURCE_DIR}/kv_vss)
  set(common ${CMAKE_SOURCE_DIR}/shadowcopy/common)
  velloran_module_definition(${ARG_DEF} def)
  add_library(${target} SHARED ${def} ${lib}/kv_vss.cpp ${lib}/LetterPairs.cpp ${ARG_WORK}
    ${common}/LogStream.cpp ${CMAKE_SOURCE_DIR}/core/MsvcrtFormat.cpp ${CMAKE_SOURCE_DIR}/core/CheckedFile.cpp)
  target_include_directories(${target} PRIVATE ${lib} ${CMAKE_SOURCE_DIR}/shadowcopy ${common}
    ${CMAKE_SOURCE_DIR}/core)
  target_link_libraries(${target} PRIVATE ole32)
endfunction()
