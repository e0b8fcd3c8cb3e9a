#!/usr/bin/env bash
# Writes what ships from a build tree's DLL and host (the build's dist
# target runs it):
#   VLXCustomHook.dll        the DLL that ships, stripped
#   VLXCustomHook.dll.debug  its debug symbols, named in the DLL's
#                            .gnu_debuglink (file name and checksum)
#   hookhost.exe             the command-line host, stripped
#   SHA256SUMS               checksums of the three
# The PE time stamp is SOURCE_DATE_EPOCH, by default the commit's time.
#     package.sh BUILD_DIR DIST_DIR
set -euo pipefail
build_dir=$(cd "$1" && pwd)
dist=$2
cd "$(dirname "$0")/.."

# objcopy stamps the PE header it writes: with the commit's time, so that the
# bytes stay a function of the sources (and symbol servers can tell releases
# apart by it).
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH
objcopy=i686-w64-mingw32-objcopy
rm -rf "$dist"
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
"$objcopy" --only-keep-debug "$build_dir/bin/VLXCustomHook.dll" "$dist/VLXCustomHook.dll.debug"
# The link names the debug file as it lies beside the DLL.
(cd "$dist" && "$objcopy" --strip-all --add-gnu-debuglink=VLXCustomHook.dll.debug \
    "$build_dir/bin/VLXCustomHook.dll" VLXCustomHook.dll)
"$objcopy" --strip-all "$build_dir/bin/hookhost.exe" "$dist/hookhost.exe"
(cd "$dist" && sha256sum VLXCustomHook.dll VLXCustomHook.dll.debug hookhost.exe >SHA256SUMS)
