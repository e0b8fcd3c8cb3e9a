// Own cost per phase: each of the fifteen phases on the populated machine,
// its pauses and child processes short-circuited, against its floor.
#include <stdio.h>

#include <algorithm>

#include "bench/sections.h"

namespace {

const double kTargetRatio = 1.25;
const double kTargetMilliseconds = 2.0;
// A batch of runs that change nothing takes at least this long, so that
// the clock's resolution does not show in the figures.
const double kBatchMilliseconds = 0.5;

bool Same(const MachineState& a, const MachineState& b) {
    return a.files == b.files && a.registry == b.registry;
}

}  // namespace

void Alternate(int repetitions, const std::function<void()>& first, const std::function<void()>& second) {
    for (int r = 0; r < repetitions; ++r) {
        if (r % 2 == 0) {
            first();
            second();
        } else {
            second();
            first();
        }
    }
}

std::string PhaseName(const PhaseFacts& phase) {
    static const char* const modes[] = {"install", "reinstall", "uninstall"};
    static const char* const entries[] = {"PreSystemCheck", "PrePayload", "PostPayload", "SessionOpen",
                                          "SessionClose"};
    return std::string(modes[phase.mode]) + " " + entries[phase.entry];
}

void MeasurePhaseCosts(const BenchOptions& options, const BenchHook& hook, BenchMachine& bench, Table* table,
                       PhaseFloors* floors) {
    table->Section("Own cost per phase, per run (pauses and child processes short-circuited)");
    const Floor floor(bench.floorPlaces(), CountLine);
    const PropertyMap* properties = bench.machine().properties();
    const int repetitions = options.quick ? 6 : 80;
    for (const PhaseFacts& phase : AllPhases()) {
        const Stage stage = StageOf(phase);
        bench.Restore(stage);
        // One run of each, untimed: what each logs and changes, and a warm start.
        hook.Run(properties, phase);
        const size_t hookLines = TakeLineCount();
        const MachineState afterHook = bench.Take();
        bench.Restore(stage, afterHook);
        floor.Run(phase);
        const size_t floorLines = TakeLineCount();
        const MachineState afterFloor = bench.Take();
        bench.Restore(stage, afterFloor);
        const bool changes = !Same(afterHook, bench.state(stage));

        int batch = 1;
        if (!changes) {
            const double one = TimeMilliseconds([&] {
                for (int i = 0; i < 10; ++i) {
                    hook.Run(properties, phase);
                }
            }) / 10;
            batch = std::max(1, std::min(5000, static_cast<int>(kBatchMilliseconds / std::max(one, 1e-6))));
        }
        std::vector<double> hookSamples;
        std::vector<double> floorSamples;
        auto timeHook = [&] {
            hookSamples.push_back(TimeMilliseconds([&] {
                for (int i = 0; i < batch; ++i) {
                    hook.Run(properties, phase);
                }
            }) / batch);
            if (changes) {
                bench.Restore(stage, afterHook);
            }
        };
        auto timeFloor = [&] {
            floorSamples.push_back(TimeMilliseconds([&] {
                for (int i = 0; i < batch; ++i) {
                    floor.Run(phase);
                }
            }) / batch);
            if (changes) {
                bench.Restore(stage, afterFloor);
            }
        };
        Alternate(repetitions, timeHook, timeFloor);
        TakeLineCount();

        const Figures own = Summarise(hookSamples);
        const Figures base = Summarise(floorSamples);
        const double ratio = own.median / base.median;
        std::string verdict = "ratio " + Verdict(ratio <= kTargetRatio);
        if (ratio > kTargetRatio) {
            verdict += " (+" + Amount(own.median - base.median) + ")";
        }
        verdict += ", time " + Verdict(own.median <= kTargetMilliseconds);
        if (base.median > kTargetMilliseconds) {
            verdict += " (the floor alone takes " + Amount(base.median) + ")";
        }
        (*floors)[PhaseName(phase)] = base.median;
        // The floor is only a yardstick when it logs and changes what the hook does.
        if (hookLines != floorLines) {
            char note[96];
            snprintf(note, sizeof(note), "; FLOOR DIFFERS: it logs %zu lines, the hook %zu", floorLines, hookLines);
            verdict += note;
        }
        if (!Same(afterHook, afterFloor)) {
            verdict += "; FLOOR DIFFERS: it changes other things";
            fprintf(stderr, "%s: the floor's changes differ from the hook's:\n%s%s", PhaseName(phase).c_str(),
                    Difference(afterHook.files, afterFloor.files).c_str(),
                    afterHook.registry == afterFloor.registry ? "" : "  (and the registry)\n");
        }
        table->Add(Row{PhaseName(phase), Duration(own), Duration(base), ratio, "<= 1.25x, <= 2 ms", verdict});
    }
}
