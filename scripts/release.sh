#!/usr/bin/env bash
# The release step: builds the hook and its host (Release, in a build tree
# of its own, build-release, with no tests and no Wine) and writes dist/ as
# the build packages it (scripts/package.sh): the MSVC-ABI DLL that ships,
# its PDB, the host, both as a symbol store lays them out, and checksums;
# and, when a certificate and key are given, signs the DLL and the host with
# Authenticode (SHA-256) and verifies the signatures (scripts/sign.sh).
#
#   scripts/release.sh [--sign CERT KEY] [--timestamp URL] [--ca-file FILE] [--dist DIR]
#
# CERT and KEY may also come from VLX_SIGN_CERT and VLX_SIGN_KEY, the
# time-stamp server from VLX_SIGN_TIMESTAMP and the trust anchors from
# VLX_SIGN_CAFILE. The PE time stamp is SOURCE_DATE_EPOCH, by default the
# commit's time.
set -euo pipefail
cd "$(dirname "$0")/.."

dist=dist
signing=()
usage() { echo "usage: scripts/release.sh [--sign CERT KEY] [--timestamp URL] [--ca-file FILE] [--dist DIR]" >&2; exit 2; }
while [ $# -gt 0 ]; do
    case $1 in
        --sign) [ $# -ge 3 ] || usage; signing+=("$1" "$2" "$3"); shift 3 ;;
        --timestamp|--ca-file) [ $# -ge 2 ] || usage; signing+=("$1" "$2"); shift 2 ;;
        --dist) [ $# -ge 2 ] || usage; dist=$2; shift 2 ;;
        *) usage ;;
    esac
done

bash scripts/install-deps.sh
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH
cmake --preset release >/dev/null
# Packaged anew: the time stamp may differ from the last build's.
rm -rf build-release/dist
cmake --build --preset release --target dist >/dev/null
rm -rf "$dist"
mkdir -p "$(dirname "$dist")"
cp -r build-release/dist "$dist"
bash scripts/sign.sh "$dist" "${signing[@]}"
echo "release in $dist:"
(cd "$dist" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs ls -l | awk '{printf "  %-70s %9d bytes\n", $9, $5}')
