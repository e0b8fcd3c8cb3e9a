// The DLL itself: its size, and loading it, calling it once and unloading
// it, against a DLL with the same imports that does nothing.
#include <windows.h>

#include <stdio.h>

#include "bench/bench.h"

namespace {

const double kSizeLimitBytes = 100 * 1024;

// LoadLibrary, the first call of the export, FreeLibrary.
Figures LoadCallFree(const std::wstring& path, const char* exportName, int repetitions) {
    typedef int32_t(__cdecl * Entry)();
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
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(options.dll.c_str(), GetFileExInfoStandard, &data);
    const double bytes = data.nFileSizeLow;
    table->Add(Row{"size", std::to_string(data.nFileSizeLow) + " bytes", "102400 bytes", bytes / kSizeLimitBytes,
                   "<= 100 KiB", bytes <= kSizeLimitBytes, true});

    const int repetitions = options.quick ? 5 : 201;
    // Warm: the system DLLs both import are loaded once before.
    LoadCallFree(options.minimal, "MinimalCall", 3);
    LoadCallFree(options.dll, "QXInstallerCustomHookInitSession", 3);
    const Figures loaded = LoadCallFree(options.dll, "QXInstallerCustomHookInitSession", repetitions);
    const Figures minimal = LoadCallFree(options.minimal, "MinimalCall", repetitions);
    // No target: what loading costs beyond resolving the same imports.
    const size_t imports = ImportCount(options.dll);
    const bool same = imports == ImportCount(options.minimal);
    table->Add(Row{"load + first call + free", Duration(loaded), Duration(minimal), loaded.median / minimal.median,
                   std::to_string(imports) + (same ? " imports each" : " imports, NOT the yardstick's"), same,
                   false});
}
