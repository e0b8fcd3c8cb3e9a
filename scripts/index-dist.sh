#!/usr/bin/env bash
# Writes anew what a dist folder derives from the files it ships: the DLL and
# its PDB as a symbol store lays them out (scripts/symbol-store.py), and the
# checksums of everything (SHA256SUMS). The packaging runs it, and the signing
# again, since a signed DLL is another file.
#     index-dist.sh DIST
set -euo pipefail
dist=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."
/usr/bin/python3 scripts/symbol-store.py "$dist/VLXCustomHook.dll" "$dist/VLXCustomHook.pdb" "$dist/symbols" >/dev/null
(cd "$dist" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)
