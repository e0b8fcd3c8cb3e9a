#!/usr/bin/env bash
# Two release builds of the same sources in two different folders give the
# same bytes: the DLL, its PDB, both in the symbol store, and the host.
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The time stamp a release takes, as both builds of one commit would.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
for copy in "$work/one" "$work/two/at a deeper place"; do
    mkdir -p "$copy"
    git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$copy"
    (cd "$copy" && bash scripts/release.sh --dist "$copy/dist" >/dev/null)
done
if ! cmp -s "$work/one/dist/SHA256SUMS" "$work/two/at a deeper place/dist/SHA256SUMS"; then
    diff "$work/one/dist/SHA256SUMS" "$work/two/at a deeper place/dist/SHA256SUMS" || true
    echo "FAIL: the two builds differ"
    exit 1
fi
cat "$work/one/dist/SHA256SUMS"
echo "the two builds are bit-identical"
