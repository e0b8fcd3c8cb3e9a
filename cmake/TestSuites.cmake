# The suites that delete files or folders. Each also runs a second time with
# the answers Windows 10 gives to its deletions (POSIX semantics, through
# tests/support/windows10_deletion.h) beside Wine's own (the old mark: the
# fallback of Windows 7 and 8, FAT and ReFS), as
# "<arch>.[msvc-abi.]windows10.<Suite>" with the label windows10.
set(VLX_DELETING_SUITES
  # the library's own code
  HardLinkTest ProfileSweepTest PruneTest PruneTreeTest PruningReparseTest ReparseTagTest
  # the DLL
  CatalogDatabaseTest HandlerTest LinkTest OrganizerTest ShortcutRemovalTest UninstallPrePayloadTest
  # the proof runs
  ProofBlastRadius ProofFaultMatrix ProofHostileInputs ProofKillMatrix ProofRace)

# Runs one suite's program and judges how it ended.
set(VLX_RUN_SUITE ${PROJECT_SOURCE_DIR}/scripts/run-suite.py)

# vlx_add_test_suites(target [LABELS label...] [TIMEOUT seconds] [MSVC_ABI])
# Registers, in each of the build's Wine prefixes, one ctest test per
# GoogleTest suite of target, found when ctest starts (see
# test-suites.cmake.in). With MSVC_ABI, every suite runs a second time
# against the MSVC-ABI DLL, from the programs the build stages beside it, as
# "<arch>.msvc-abi.<Suite>" with the label msvc-abi (unless the build was
# configured without that DLL, -DVLX_MSVC_ABI=OFF).
function(vlx_add_test_suites target)
  cmake_parse_arguments(ARG "MSVC_ABI" "TIMEOUT" "LABELS" ${ARGN})
  # An everyday suite takes a few seconds even on a busy two-core machine: a
  # minute is room enough, and a hang fails fast under its own name.
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  set(VLX_SUITES_TARGET ${target})
  set(VLX_SUITES_EXE $<TARGET_FILE:${target}>)
  set(VLX_SUITES_TIMEOUT ${ARG_TIMEOUT})
  set(variants gcc)
  if(ARG_MSVC_ABI AND VLX_MSVC_ABI)
    list(APPEND variants msvc-abi)
  endif()
  foreach(VLX_SUITES_ARCH IN LISTS VLX_WINE_ARCHES)
    foreach(variant IN LISTS variants)
      if(variant STREQUAL "gcc")
        set(VLX_SUITES_RUN ${VLX_SUITES_EXE})
        set(VLX_SUITES_PREFIX "${VLX_SUITES_ARCH}.")
        set(VLX_SUITES_LABELS "${ARG_LABELS}")
      else()
        set(VLX_SUITES_RUN ${VLX_MSVC_ABI_STAGE}/$<TARGET_FILE_NAME:${target}>)
        set(VLX_SUITES_PREFIX "${VLX_SUITES_ARCH}.msvc-abi.")
        set(VLX_SUITES_LABELS ${ARG_LABELS} msvc-abi)
      endif()
      set(name ${target}_${VLX_SUITES_ARCH}_${variant}_suites)
      configure_file(${PROJECT_SOURCE_DIR}/cmake/test-suites.cmake.in
                     ${CMAKE_CURRENT_BINARY_DIR}/${name}.cmake.in @ONLY)
      # The executable's path is known only at generation time.
      file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}.cmake
                    INPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}.cmake.in)
      set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.cmake)
    endforeach()
  endforeach()
endfunction()
