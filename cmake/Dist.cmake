# What ships, as every build makes it: dist/ in the build tree, written by
# scripts/package.sh from the MSVC-ABI DLL with its PDB and the host just
# built (the DLL and the PDB also as a symbol store lays them out, and
# checksums). The release step signs it; the PE checks, the symbols test and
# the release checks among the tests look at it, so what is tested is what
# ships. Without the MSVC-ABI build nothing ships.
if(NOT VLX_MSVC_ABI)
  return()
endif()
set(VLX_DIST ${CMAKE_BINARY_DIR}/dist)
add_custom_command(
  OUTPUT ${VLX_DIST}/SHA256SUMS
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/package.sh ${CMAKE_BINARY_DIR} ${VLX_DIST}
  DEPENDS msvc-abi ${VLX_MSVC_ABI_BIN}/VLXCustomHook.dll hookhost ${PROJECT_SOURCE_DIR}/scripts/package.sh
          ${PROJECT_SOURCE_DIR}/scripts/index-dist.sh ${PROJECT_SOURCE_DIR}/scripts/symbol-store.py
  COMMENT "Packaging what ships in dist/"
  VERBATIM)
add_custom_target(dist ALL DEPENDS ${VLX_DIST}/SHA256SUMS)
