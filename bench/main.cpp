// vlx_bench.exe [--dll PATH] [--minimal PATH] [--quick] [--series NAME]:
// measures the hook DLL (by default the one beside it) against its
// yardsticks and prints one table; --series measures that growth series
// alone. Exits with 1 when a target that decides is missed: a growth series
// that is no longer linear, or a DLL over 100 KiB. scripts/bench.sh runs it
// on the DLL as the release step writes it, in a throwaway prefix.
#include <stdio.h>
#include <wchar.h>

#include <algorithm>
#include <iterator>

#include "bench/bench.h"
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
        } else if (wcscmp(argv[i], L"--series") == 0 && i + 1 < argc &&
                   std::find(std::begin(kSeriesNames), std::end(kSeriesNames), ToUtf8(argv[i + 1])) !=
                       std::end(kSeriesNames)) {
            options.series = ToUtf8(argv[++i]);
        } else {
            std::string names;
            for (const char* name : kSeriesNames) {
                names += (names.empty() ? "" : "|") + std::string(name);
            }
            fprintf(stderr, "usage: vlx_bench.exe [--dll PATH] [--minimal PATH] [--quick] [--series %s]\n",
                    names.c_str());
            return 2;
        }
    }
    fprintf(stderr, "measuring %ls (%s prefix)\n", options.dll.c_str(), InWin64Prefix() ? "win64" : "win32");
    Table table;
    if (options.series.empty()) {
        MeasureDll(options, &table);  // first, while the DLL is not loaded yet
    }
    MeasureSeries(options, &table);
    if (options.series.empty()) {
        MeasureWholePhases(options, &table);
    }
    table.Print();
    if (table.failed()) {
        fprintf(stderr, "bench: a target that decides was missed\n");
        return 1;
    }
    fprintf(stderr, "bench: done\n");
    return 0;
}
