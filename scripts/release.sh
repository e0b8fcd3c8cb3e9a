#!/usr/bin/env bash
# The release step: builds the hook and its host (Release) and writes dist/:
#   VLXCustomHook.dll        the DLL that ships, stripped
#   VLXCustomHook.dll.debug  its debug symbols, named in the DLL's
#                            .gnu_debuglink (file name and checksum)
#   hookhost.exe             the command-line host, stripped
#   SHA256SUMS               checksums of the three
# and, when a certificate and key are given, signs the DLL and the host with
# Authenticode (SHA-256) and verifies the signatures.
#
#   scripts/release.sh [--sign CERT KEY] [--timestamp URL] [--ca-file FILE]
#                      [--dist DIR] [--build-dir DIR]
#
# CERT and KEY are PEM files (the certificate file may hold the chain); they
# may also come from VLX_SIGN_CERT and VLX_SIGN_KEY, the time-stamp server
# (RFC 3161) from VLX_SIGN_TIMESTAMP, and the trust anchors that verification
# uses from VLX_SIGN_CAFILE (default: the system's CA bundle). The PE time
# stamp is SOURCE_DATE_EPOCH, by default the commit's time. --build-dir
# takes the DLL from a build tree configured already (the tests use theirs);
# by default the release has a build tree of its own, build-release.
set -euo pipefail
cd "$(dirname "$0")/.."

cert=${VLX_SIGN_CERT:-}
key=${VLX_SIGN_KEY:-}
timestamp=${VLX_SIGN_TIMESTAMP:-}
cafile=${VLX_SIGN_CAFILE:-/etc/ssl/certs/ca-certificates.crt}
dist=dist
build_dir=
usage() { echo "usage: scripts/release.sh [--sign CERT KEY] [--timestamp URL] [--ca-file FILE] [--dist DIR] [--build-dir DIR]" >&2; exit 2; }
while [ $# -gt 0 ]; do
    case $1 in
        --sign) [ $# -ge 3 ] || usage; cert=$2; key=$3; shift 3 ;;
        --timestamp) [ $# -ge 2 ] || usage; timestamp=$2; shift 2 ;;
        --ca-file) [ $# -ge 2 ] || usage; cafile=$2; shift 2 ;;
        --dist) [ $# -ge 2 ] || usage; dist=$2; shift 2 ;;
        --build-dir) [ $# -ge 2 ] || usage; build_dir=$2; shift 2 ;;
        *) usage ;;
    esac
done
if { [ -n "$cert" ] && [ -z "$key" ]; } || { [ -z "$cert" ] && [ -n "$key" ]; }; then
    echo "release: signing needs both a certificate and a key" >&2
    exit 2
fi

bash scripts/install-deps.sh
if [ -z "$build_dir" ]; then
    cmake --preset release >/dev/null
    build_dir=build-release
fi
cmake --build "$build_dir" --target VLXCustomHook hookhost -- -j2 >/dev/null
build_dir=$(cd "$build_dir" && pwd)

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

if [ -n "$cert" ]; then
    for file in VLXCustomHook.dll hookhost.exe; do
        args=(sign -certs "$cert" -key "$key" -h sha256 -n "$file" -in "$dist/$file" -out "$dist/$file.signed")
        [ -n "$timestamp" ] && args+=(-ts "$timestamp")
        osslsigncode "${args[@]}" >/dev/null
        mv "$dist/$file.signed" "$dist/$file"
        if ! osslsigncode verify -in "$dist/$file" -CAfile "$cafile" >"$dist/$file.verify" 2>&1; then
            cat "$dist/$file.verify" >&2
            echo "release: the signature of $file does not verify" >&2
            exit 1
        fi
        echo "signed and verified: $dist/$file"
        rm "$dist/$file.verify"
    done
else
    echo "unsigned: no certificate given (--sign CERT KEY, or VLX_SIGN_CERT and VLX_SIGN_KEY)"
fi

(cd "$dist" && sha256sum VLXCustomHook.dll VLXCustomHook.dll.debug hookhost.exe >SHA256SUMS)
echo "release in $dist:"
(cd "$dist" && ls -l VLXCustomHook.dll VLXCustomHook.dll.debug hookhost.exe SHA256SUMS | awk '{printf "  %-26s %9d bytes\n", $9, $5}')
