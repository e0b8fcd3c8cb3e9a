// The DLL itself: its size, and loading it, calling it once and unloading
// it, against a DLL with the same imports that does nothing.
#include <windows.h>

#include <stdio.h>

#include "bench/sections.h"
#include "tests/support/iat_patch.h"

namespace {

const double kSizeLimitBytes = 100 * 1024;

typedef int32_t(__cdecl* Entry)();

double FileBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return static_cast<double>(data.nFileSizeLow);
}

// LoadLibrary, the first call of the export, FreeLibrary.
Figures LoadCallFree(const std::wstring& path, const char* exportName, int repetitions) {
    std::vector<double> samples;
    for (int i = 0; i < repetitions; ++i) {
        samples.push_back(TimeMilliseconds([&] {
            const HMODULE module = LoadLibraryW(path.c_str());
            const Entry entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, exportName)));
            if (entry != nullptr) {
                entry();
            }
            FreeLibrary(module);
        }));
    }
    return Summarise(samples);
}

size_t ImportCount(const std::wstring& path) {
    const HMODULE module = LoadLibraryW(path.c_str());
    const size_t count = ImportedFunctions(module).size();
    FreeLibrary(module);
    return count;
}

}  // namespace

void MeasureDll(const BenchOptions& options, Table* table) {
    table->Section("The DLL as it ships, against a DLL with the same imports that does nothing");
    const double bytes = FileBytes(options.dll);
    char hook[64];
    char floor[64];
    snprintf(hook, sizeof(hook), "%.0f bytes", bytes);
    snprintf(floor, sizeof(floor), "limit %.0f bytes", kSizeLimitBytes);
    table->Add(Row{"size", hook, floor, bytes / kSizeLimitBytes, "<= 100 KiB", Verdict(bytes <= kSizeLimitBytes)});

    const size_t imports = ImportCount(options.dll);
    const size_t minimalImports = ImportCount(options.minimal);
    const int repetitions = options.quick ? 5 : 201;
    // Warm: the system DLLs both import are loaded once before.
    LoadCallFree(options.minimal, "MinimalCall", 3);
    LoadCallFree(options.dll, "QXInstallerCustomHookInitSession", 3);
    const Figures loaded = LoadCallFree(options.dll, "QXInstallerCustomHookInitSession", repetitions);
    const Figures minimal = LoadCallFree(options.minimal, "MinimalCall", repetitions);
    // No target: the row says what loading costs beyond resolving the same imports.
    char verdict[64];
    snprintf(verdict, sizeof(verdict), "%zu and %zu imports%s", imports, minimalImports,
             imports == minimalImports ? "" : ", NOT the same");
    table->Add(Row{"load + first call + free", Duration(loaded), Duration(minimal), loaded.median / minimal.median,
                   "none", verdict});
}
