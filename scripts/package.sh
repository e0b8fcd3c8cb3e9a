#!/usr/bin/env bash
# Writes what ships from a build tree (the build's dist target runs it):
#   VLXCustomHook.dll     the DLL that ships: the MSVC-ABI build's (clang-cl,
#                         lld-link), as Visual Studio builds it
#   VLXCustomHook.pdb     its program database, named in the DLL's CodeView
#                         record by its file name alone
#   hookhost.exe          the command-line host, stripped
#   symbols/              the DLL and the PDB as a symbol store lays them out
#                         (scripts/index-dist.sh), for Windows debuggers
#   SHA256SUMS            checksums of everything above
# The host's PE time stamp is SOURCE_DATE_EPOCH, by default the commit's
# time; the DLL's comes from its contents (/Brepro).
#     package.sh BUILD_DIR DIST_DIR
set -euo pipefail
build_dir=$(cd "$1" && pwd)
dist=$2
cd "$(dirname "$0")/.."

# objcopy stamps the PE header it writes: with the commit's time, so that the
# bytes stay a function of the sources.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH
rm -rf "$dist"
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
cp "$build_dir/msvc-abi/bin/VLXCustomHook.dll" "$build_dir/msvc-abi/bin/VLXCustomHook.pdb" "$dist/"
i686-w64-mingw32-objcopy --strip-all "$build_dir/bin/hookhost.exe" "$dist/hookhost.exe"
bash scripts/index-dist.sh "$dist"
