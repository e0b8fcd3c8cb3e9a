#!/usr/bin/env bash
# Signs what ships in a dist folder (the DLL and the host) with Authenticode
# (SHA-256), verifies both signatures, puts the signed DLL in the symbol
# store too and writes the checksums anew; without a certificate and a key
# it says that the files stay unsigned.
#
#   scripts/sign.sh DIST [--sign CERT KEY] [--timestamp URL] [--ca-file FILE]
#
# CERT and KEY are PEM files (the certificate file may hold the chain); they
# may also come from VLX_SIGN_CERT and VLX_SIGN_KEY, the time-stamp server
# (RFC 3161) from VLX_SIGN_TIMESTAMP, and the trust anchors that verification
# uses from VLX_SIGN_CAFILE (default: the system's CA bundle).
set -euo pipefail
usage() { echo "usage: scripts/sign.sh DIST [--sign CERT KEY] [--timestamp URL] [--ca-file FILE]" >&2; exit 2; }
[ $# -ge 1 ] || usage
dist=$(cd "$1" && pwd)
shift
cd "$(dirname "$0")/.."
cert=${VLX_SIGN_CERT:-}
key=${VLX_SIGN_KEY:-}
timestamp=${VLX_SIGN_TIMESTAMP:-}
cafile=${VLX_SIGN_CAFILE:-/etc/ssl/certs/ca-certificates.crt}
while [ $# -gt 0 ]; do
    case $1 in
        --sign) [ $# -ge 3 ] || usage; cert=$2; key=$3; shift 3 ;;
        --timestamp) [ $# -ge 2 ] || usage; timestamp=$2; shift 2 ;;
        --ca-file) [ $# -ge 2 ] || usage; cafile=$2; shift 2 ;;
        *) usage ;;
    esac
done
if { [ -n "$cert" ] && [ -z "$key" ]; } || { [ -z "$cert" ] && [ -n "$key" ]; }; then
    echo "sign: signing needs both a certificate and a key" >&2
    exit 2
fi
if [ -z "$cert" ]; then
    echo "unsigned: no certificate given (--sign CERT KEY, or VLX_SIGN_CERT and VLX_SIGN_KEY)"
    exit 0
fi

for file in VLXCustomHook.dll hookhost.exe; do
    args=(sign -certs "$cert" -key "$key" -h sha256 -n "$file" -in "$dist/$file" -out "$dist/$file.signed")
    [ -n "$timestamp" ] && args+=(-ts "$timestamp")
    osslsigncode "${args[@]}" >/dev/null
    mv "$dist/$file.signed" "$dist/$file"
    if ! osslsigncode verify -in "$dist/$file" -CAfile "$cafile" >"$dist/$file.verify" 2>&1; then
        cat "$dist/$file.verify" >&2
        echo "sign: the signature of $file does not verify" >&2
        exit 1
    fi
    echo "signed and verified: $dist/$file"
    rm "$dist/$file.verify"
done
# Signing leaves the keys the store files the DLL by as they were.
bash scripts/index-dist.sh "$dist"
