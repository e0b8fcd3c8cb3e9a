// The four parts of the benchmark, each adding its rows to the table.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "bench/figures.h"
#include "bench/setup.h"
#include "tests/support/environment.h"
#include "tests/support/phases.h"

struct BenchOptions {
    std::wstring dll;      // the DLL as it ships
    std::wstring minimal;  // the DLL with the same imports and nothing else
    bool quick = false;    // few repetitions and small sizes: a check that it runs
    std::wstring part;     // one part only; empty: all
};

// The floor's median per phase (by PhaseName), in milliseconds.
typedef std::map<std::string, double> PhaseFloors;

void MeasureDll(const BenchOptions& options, Table* table);
void MeasurePhaseCosts(const BenchOptions& options, const BenchHook& hook, BenchMachine& bench, Table* table,
                       PhaseFloors* floors);
void MeasureSeries(const BenchOptions& options, const BenchHook& hook, BenchMachine& bench, Table* table);
// With the phases' floors, when measured, to say what of a phase's own work
// lies beyond its pauses and children.
void MeasureWholePhases(const BenchOptions& options, const PhaseFloors& floors, Table* table);

// "install PostPayload" for a phase's modes.
std::string PhaseName(const PhaseFacts& phase);

// Runs first and second repetitions times each, each going first every
// other time, so that neither always finds the other's traces in the
// platform's caches.
void Alternate(int repetitions, const std::function<void()>& first, const std::function<void()>& second);

// Milliseconds that f takes on the high-resolution clock.
template <typename F>
double TimeMilliseconds(F f) {
    const double start = NowMilliseconds();
    f();
    return NowMilliseconds() - start;
}
