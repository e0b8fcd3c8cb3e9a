# What ships, as every build makes it: dist/ in the build tree, written by
# scripts/package.sh from the DLL and the host just built (stripped, the
# DLL's debug symbols beside it, checksums). The release step signs it; the
# PE checks and the release checks among the tests look at it, so what is
# tested is what ships.
set(VLX_DIST ${CMAKE_BINARY_DIR}/dist)
add_custom_command(
  OUTPUT ${VLX_DIST}/SHA256SUMS
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/package.sh ${CMAKE_BINARY_DIR} ${VLX_DIST}
  DEPENDS VLXCustomHook hookhost ${PROJECT_SOURCE_DIR}/scripts/package.sh
  COMMENT "Packaging what ships in dist/"
  VERBATIM)
add_custom_target(dist ALL DEPENDS ${VLX_DIST}/SHA256SUMS)
