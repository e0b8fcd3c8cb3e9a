#!/usr/bin/env bash
# Signing what ships: with a certificate and a key both the DLL and the host
# are signed, and with a throwaway self-signed code-signing certificate both
# signatures verify with osslsigncode; without them the files are said to
# stay unsigned. On copies of the build's dist folder.
#     signing.sh DIST
set -euo pipefail
from=$(cd "$1" && pwd)
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout "$work/key.pem" -out "$work/cert.pem" \
    -subj "/CN=VLX throwaway signing/O=Kestrune" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" 2>/dev/null
cp -r "$from" "$work/unsigned"
cp -r "$from" "$work/signed"

unsigned=$(VLX_SIGN_CERT= VLX_SIGN_KEY= bash scripts/sign.sh "$work/unsigned")
grep -q '^unsigned: no certificate given' <<<"$unsigned" || { echo "FAIL: no unsigned notice"; exit 1; }
if osslsigncode verify -in "$work/unsigned/VLXCustomHook.dll" >/dev/null 2>&1; then
    echo "FAIL: the unsigned DLL verifies"
    exit 1
fi

signed=$(VLX_SIGN_CAFILE="$work/cert.pem" bash scripts/sign.sh "$work/signed" --sign "$work/cert.pem" "$work/key.pem")
echo "$signed"
for file in VLXCustomHook.dll hookhost.exe; do
    grep -q "^signed and verified: $work/signed/$file$" <<<"$signed" || { echo "FAIL: $file not signed"; exit 1; }
    osslsigncode verify -in "$work/signed/$file" -CAfile "$work/cert.pem" >"$work/verify.txt" 2>&1 ||
        { cat "$work/verify.txt"; echo "FAIL: $file does not verify"; exit 1; }
    grep -q 'Message digest algorithm  : SHA256' "$work/verify.txt" || { echo "FAIL: $file not SHA-256"; exit 1; }
    grep -E '^(Signature verification|Message digest algorithm  )' "$work/verify.txt" | sed "s/^/$file: /"
done
(cd "$work/signed" && sha256sum -c --quiet SHA256SUMS) || { echo "FAIL: SHA256SUMS do not match the signed files"; exit 1; }
# Signing adds to the files; the PDB still belongs to the DLL, which the
# symbol store holds as signed, under the key it had.
cmp -s "$work/unsigned/VLXCustomHook.pdb" "$work/signed/VLXCustomHook.pdb" ||
    { echo "FAIL: signing changed the PDB"; exit 1; }
stored=$(find "$work/signed/symbols/VLXCustomHook.dll" -type f)
[ "$(find "$work/unsigned/symbols/VLXCustomHook.dll" -type f | sed "s|$work/unsigned||")" = \
  "${stored#$work/signed}" ] && cmp -s "$stored" "$work/signed/VLXCustomHook.dll" ||
    { echo "FAIL: the symbol store does not hold the signed DLL under its key"; exit 1; }
echo "signing checks passed"
