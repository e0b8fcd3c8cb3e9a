# Two Wine prefixes inside the build tree, one per Windows flavour the tests
# run on: win64 (this 32-bit code runs under WoW64) and win32. The user's
# ~/.wine is never touched.
set(VLX_WINE_ROOT ${CMAKE_BINARY_DIR}/wine)
set(VLX_WINE_ARCHES win64 win32)

find_program(VLX_WINE wine REQUIRED)
find_program(VLX_WINESERVER wineserver REQUIRED)

set(_stamps)
foreach(arch IN LISTS VLX_WINE_ARCHES)
  set(_stamp ${VLX_WINE_ROOT}/${arch}.ready)
  add_custom_command(
    OUTPUT ${_stamp}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-prefix.sh ${VLX_WINE_ROOT}/${arch} ${arch}
    COMMAND ${CMAKE_COMMAND} -E touch ${_stamp}
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-prefix.sh
    COMMENT "Creating the ${arch} Wine prefix"
    VERBATIM)
  list(APPEND _stamps ${_stamp})
endforeach()
add_custom_target(wine-prefixes ALL DEPENDS ${_stamps})

# Runs a Windows program in the prefix named by VLX_WINE_ARCH (win64 unless
# set). Used as the emulator of every test program.
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${VLX_WINE_ROOT}/run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(VLX_WINE_RUN ${VLX_WINE_ROOT}/run)
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-start.sh.in ${VLX_WINE_ROOT}/start-server @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)

# One persistent wineserver per prefix for a test run: started by a setup
# test (start-server), stopped by a cleanup test. Tests of one prefix share
# its registry and drives, so they run one at a time (RESOURCE_LOCK); the two
# prefixes run side by side.
foreach(arch IN LISTS VLX_WINE_ARCHES)
  add_test(NAME ${arch}.wineserver.start COMMAND ${VLX_WINE_ROOT}/start-server)
  add_test(NAME ${arch}.wineserver.stop COMMAND ${VLX_WINESERVER} -k)
  set_tests_properties(${arch}.wineserver.start ${arch}.wineserver.stop PROPERTIES
    ENVIRONMENT "WINEPREFIX=${VLX_WINE_ROOT}/${arch};VLX_WINE_ARCH=${arch}"
    RESOURCE_LOCK ${arch})
  set_tests_properties(${arch}.wineserver.start PROPERTIES FIXTURES_SETUP ${arch})
  set_tests_properties(${arch}.wineserver.stop PROPERTIES
    FIXTURES_CLEANUP ${arch}
    # -k reports failure when no server was running: that is fine here.
    SKIP_RETURN_CODE 1)
endforeach()
