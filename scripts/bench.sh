#!/usr/bin/env bash
# The benchmark: builds the hook as it ships (the release step's stripped
# DLL) and the benchmark program, runs it in a throwaway Wine prefix and
# prints one table: the DLL's size and load time, how the cost of the
# profile sweep, the pruning and the Start-menu walk grows with their items
# against the floor of their platform calls, and whole phases against their
# pauses and children. It exits with 1 when a growth series is no longer
# linear or the DLL is over 100 KiB.
#
#   scripts/bench.sh [--arch win64|win32] [--quick] [--series NAME]
#
# --arch picks the prefix (win64 by default: the 32-bit DLL under WoW64);
# --quick runs few repetitions at small sizes, to see that it works;
# --series measures one growth series alone (sweep, pruning-removed,
# pruning-kept, walk or grant), to measure a noisy one again.
set -euo pipefail
cd "$(dirname "$0")/.."

usage="usage: scripts/bench.sh [--arch win64|win32] [--quick] [--series NAME]"
arch=win64
args=()
while [ $# -gt 0 ]; do
    case $1 in
        --arch) [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
                arch=$2; shift 2 ;;
        --quick) args+=(--quick); shift ;;
        # vlx_bench.exe checks the name.
        --series) [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
                  args+=(--series "$2"); shift 2 ;;
        *) echo "$usage" >&2; exit 2 ;;
    esac
done
case $arch in win64|win32) ;; *) echo "bench: --arch is win64 or win32" >&2; exit 2 ;; esac

bash scripts/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target vlx_bench dist >/dev/null
dist=build/bench/dist
rm -rf "$dist"
mkdir -p "$(dirname "$dist")"
cp -r build/dist "$dist"
# The yardstick DLL, built as the shipped one is.
cp build/msvc-abi/bin/vlx_minimal.dll "$dist/vlx_minimal.dll"

work=$(mktemp -d /tmp/vlx-bench.XXXXXX)
cleanup() {
    WINEPREFIX="$work/$arch" wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
echo "bench: making a throwaway $arch prefix" >&2
bash scripts/make-prefix.sh "$work/$arch" "$arch"

export WINEPREFIX="$work/$arch" WINEARCH="$arch" WINEDEBUG=-all VLX_WINE_ARCH="$arch"
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
# Every call into Wine is a round trip to its server. On a virtual machine a
# wake-up on another CPU costs more than most calls themselves, at random:
# the benchmark, its children and the server share one CPU, so that the
# figures show the calls' own cost.
cpu=$(( $(nproc) - 1 ))
taskset -c "$cpu" wineserver -p
windows() { winepath -w "$PWD/$1" 2>/dev/null; }
echo "bench: $(nproc) cores (running on CPU $cpu), $(wine --version), $(date -u '+%Y-%m-%d %H:%M UTC')" >&2
taskset -c "$cpu" wine build/bin/vlx_bench.exe --dll "$(windows "$dist/VLXCustomHook.dll")" \
    --minimal "$(windows "$dist/vlx_minimal.dll")" "${args[@]}" | tr -d '\r'
