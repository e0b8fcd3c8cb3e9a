#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root).
# Does nothing when everything is already there.
set -euo pipefail

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(g++-mingw-w64-i686)
command -v i686-w64-mingw32-objdump   >/dev/null 2>&1 || need+=(binutils-mingw-w64-i686)
# The race proof run's swapper is a native Linux program.
command -v cc                         >/dev/null 2>&1 || need+=(gcc libc6-dev)
command -v cmake                      >/dev/null 2>&1 || need+=(cmake)
command -v make                       >/dev/null 2>&1 || need+=(make)
[ -f /usr/src/googletest/CMakeLists.txt ]             || need+=(googletest)
command -v wine                       >/dev/null 2>&1 || need+=(wine)
command -v wine64                     >/dev/null 2>&1 || [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
[ -x /usr/lib/wine/wine ] || dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
# The release step: Authenticode signing, and the test's throwaway certificate.
command -v osslsigncode               >/dev/null 2>&1 || need+=(osslsigncode)
command -v openssl                    >/dev/null 2>&1 || need+=(openssl)
command -v git                        >/dev/null 2>&1 || need+=(git)
# The gate's second compiler and static analyser.
command -v clang++                    >/dev/null 2>&1 || need+=(clang)
command -v ld.lld                     >/dev/null 2>&1 || need+=(lld)
command -v cppcheck                   >/dev/null 2>&1 || need+=(cppcheck)
# The MSVC-ABI build: clang-cl, lld-link, llvm-rc and the LLVM tools that make
# its import libraries; python3 for the export table's ordinal base (lld).
command -v clang-cl-14                >/dev/null 2>&1 || need+=(clang-tools-14)
command -v lld-link-14                >/dev/null 2>&1 || need+=(lld-14)
command -v llvm-rc-14                 >/dev/null 2>&1 || need+=(llvm-14)
command -v python3                    >/dev/null 2>&1 || need+=(python3-minimal)
# The release's symbol store and the PE checks read the DLL with pefile, as
# Debian's own python3 has it.
[ -x /usr/bin/python3 ]                                || need+=(python3-minimal)
/usr/bin/python3 -c 'import pefile' >/dev/null 2>&1    || need+=(python3-pefile)

if [ ${#need[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${need[*]}; run this script as root to install them" >&2
    exit 1
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync can refuse one architecture's index (seen
# here: bookworm-security's i386 list): the lists there are then serve, and
# should the security updates of amd64 and i386 differ, wine32:i386 cannot
# match its amd64 libraries' versions; the release's own archive, the same
# for both, can.
apt-get update -qq || echo "install-deps: apt-get update failed; going on with the package lists there are" >&2
if ! apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null; then
    apt-get install -y -qq --no-install-recommends -t "$(. /etc/os-release && echo "$VERSION_CODENAME")" \
        "${need[@]}" >/dev/null
fi
