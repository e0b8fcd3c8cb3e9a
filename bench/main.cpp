// vlx_bench.exe [--dll PATH] [--minimal PATH] [--quick] [--part dll|phases|series|whole]:
// measures the hook DLL (by default the one beside it) against the floor of
// its platform calls and a DLL with the same imports (vlx_minimal.dll beside
// it by default) and prints one table (of one part only, with --part). scripts/bench.sh runs it on the
// DLL as the release step writes it, in a throwaway prefix.
#include <stdio.h>
#include <wchar.h>

#include "bench/sections.h"
#include "bench/setup.h"
#include "tests/support/environment.h"

int wmain(int argc, wchar_t** argv) {
    BenchOptions options;
    options.dll = BesideTests(L"VLXCustomHook.dll");
    options.minimal = BesideTests(L"vlx_minimal.dll");
    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"--dll") == 0 && i + 1 < argc) {
            options.dll = argv[++i];
        } else if (wcscmp(argv[i], L"--minimal") == 0 && i + 1 < argc) {
            options.minimal = argv[++i];
        } else if (wcscmp(argv[i], L"--quick") == 0) {
            options.quick = true;
        } else if (wcscmp(argv[i], L"--part") == 0 && i + 1 < argc) {
            options.part = argv[++i];
        } else {
            fprintf(stderr, "usage: vlx_bench.exe [--dll PATH] [--minimal PATH] [--quick] [--part dll|phases|series|whole]\n");
            return 2;
        }
    }
    fprintf(stderr, "measuring %ls (%s prefix)\n", options.dll.c_str(), InWin64Prefix() ? "win64" : "win32");

    auto wanted = [&](const wchar_t* part) { return options.part.empty() || options.part == part; };
    Table table;
    PhaseFloors floors;
    // First, while the DLL is not loaded yet.
    if (wanted(L"dll")) {
        MeasureDll(options, &table);
    }
    if (wanted(L"phases") || wanted(L"series")) {
        const BenchHook hook(options.dll, BenchHook::kShortCircuited);
        BenchMachine bench(hook);
        if (wanted(L"phases")) {
            MeasurePhaseCosts(options, hook, bench, &table, &floors);
        }
        if (wanted(L"series")) {
            MeasureSeries(options, hook, bench, &table);
        }
    }
    if (wanted(L"whole")) {
        MeasureWholePhases(options, floors, &table);
    }
    table.Print();
    if (table.floorDiffers()) {
        fprintf(stderr, "bench: a floor no longer logs or changes what its phase does\n");
        return 1;
    }
    fprintf(stderr, "bench: done\n");
    return 0;
}
