# vlx_add_test_suites(target [LABELS label...] [TIMEOUT seconds])
# Registers, in each of the build's Wine prefixes, one ctest test per
# GoogleTest suite of target, found when ctest starts (see
# test-suites.cmake.in).
function(vlx_add_test_suites target)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(VLX_SUITES_TARGET ${target})
  set(VLX_SUITES_EXE $<TARGET_FILE:${target}>)
  set(VLX_SUITES_LABELS "${ARG_LABELS}")
  set(VLX_SUITES_TIMEOUT ${ARG_TIMEOUT})
  foreach(VLX_SUITES_ARCH IN LISTS VLX_WINE_ARCHES)
    set(template ${CMAKE_CURRENT_BINARY_DIR}/${target}_${VLX_SUITES_ARCH}_suites.cmake.in)
    set(include_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_${VLX_SUITES_ARCH}_suites.cmake)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/test-suites.cmake.in ${template} @ONLY)
    # The executable's path is known only at generation time.
    file(GENERATE OUTPUT ${include_file} INPUT ${template})
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
  endforeach()
endfunction()
