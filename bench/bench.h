// What the benchmark's parts share: the figures of a set of samples, the one
// table it prints, and the hook loaded as the installer host loads it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"

struct BenchOptions {
    std::wstring dll;      // the DLL as it ships
    std::wstring minimal;  // the DLL with the same imports and nothing else
    bool quick = false;    // few repetitions at small sizes: the run among the proof runs
    std::string series;    // one growth series alone (kSeriesNames), or empty: everything
};

// The growth series by the names --series takes.
const char* const kSeriesNames[] = {"sweep", "pruning-removed", "pruning-kept", "walk", "grant"};

// The median of samples and the spread around it (10th and 90th percentile).
struct Figures {
    double median;
    double low;
    double high;
};
Figures Summarise(std::vector<double> samples);
// "1.234 ms (1.200-1.300)", or in microseconds below a millisecond.
std::string Duration(const Figures& figures);
double TimeMilliseconds(const std::function<void()>& f);

// One row: the hook's figure against its yardstick, the target and whether
// it was met. A row that decides fails the run when its target is missed.
struct Row {
    std::string what;
    std::string hook;
    std::string yardstick;
    double ratio;
    std::string target;
    bool met;
    bool decides;
};

class Table {
public:
    void Section(const std::string& title) { rows_.push_back(Row{title, "", "", 0, "", true, false}); }
    void Add(const Row& row);
    void Print() const;
    bool failed() const { return failed_; }

private:
    std::vector<Row> rows_;  // a row without a hook figure is a section title
    bool failed_ = false;
};

// The hook DLL, loaded as the host loads it, its pauses and child processes
// short-circuited through its import table or left real.
class BenchHook {
public:
    enum Waits { kShortCircuited, kReal };
    BenchHook(const std::wstring& path, Waits waits);
    const HookDll& dll() const { return dll_; }
    // One phase, its log lines dropped.
    int32_t Run(const PropertyMap* properties, InstallMode mode, EntryMode entry) const;

private:
    HookDll dll_;
    std::unique_ptr<ImportPatch<decltype(Sleep)>> sleep_;
    std::unique_ptr<ImportPatch<decltype(CreateProcessW)>> start_;
};

// The parts, each adding its rows.
void MeasureDll(const BenchOptions& options, Table* table);
void MeasureSeries(const BenchOptions& options, Table* table);
void MeasureWholePhases(const BenchOptions& options, Table* table);
