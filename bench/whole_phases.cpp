// Whole phases with their real pauses and child processes (Wine's
// Regsvr32 on the stand-in filter, a quick stand-in analyzer), run in host
// order through an install, a reinstall and an uninstall: wall time against
// the sum of the pauses the phase asks for and of its children's own run
// times, each timed from its start to the end of the hook's wait for it.
#include <stdio.h>

#include <map>

#include "bench/sections.h"
#include "tests/support/payload.h"

namespace {

const double kTargetRatio = 1.02;

struct Child {
    HANDLE process;
    double start;
    double end;
};

std::vector<DWORD> g_pauses;
std::vector<Child> g_children;

VOID WINAPI RecordPause(DWORD milliseconds) {
    g_pauses.push_back(milliseconds);
    Sleep(milliseconds);
}

BOOL WINAPI RecordStart(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                        LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags, LPVOID environment,
                        LPCWSTR folder, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information) {
    const double start = NowMilliseconds();
    const BOOL started = CreateProcessW(application, commandLine, processAttributes, threadAttributes, inherit,
                                        flags, environment, folder, startup, information);
    if (started) {
        g_children.push_back(Child{information->hProcess, start, start});
    }
    return started;
}

DWORD WINAPI RecordWait(HANDLE object, DWORD milliseconds) {
    const DWORD result = WaitForSingleObject(object, milliseconds);
    const double end = NowMilliseconds();
    for (Child& child : g_children) {
        if (child.process == object && child.end == child.start) {
            child.end = end;
        }
    }
    return result;
}

struct WholePhase {
    std::vector<double> wall;
    std::vector<double> pauses;
    std::vector<double> children;
};

}  // namespace

void MeasureWholePhases(const BenchOptions& options, const PhaseFloors& floors, Table* table) {
    table->Section("Whole phases with their real pauses and children: wall time against pauses + children");
    const BenchHook hook(options.dll, BenchHook::kReal);
    const ImportPatch<decltype(Sleep)> pauses(hook.dll().module(), "kernel32.dll", "Sleep", &RecordPause);
    const ImportPatch<decltype(CreateProcessW)> starts(hook.dll().module(), "kernel32.dll", "CreateProcessW",
                                                       &RecordStart);
    const ImportPatch<decltype(WaitForSingleObject)> waits(hook.dll().module(), "kernel32.dll",
                                                           "WaitForSingleObject", &RecordWait);
    std::map<std::string, WholePhase> measured;
    std::vector<std::string> order;
    const int repetitions = options.quick ? 1 : 5;
    for (int r = 0; r < repetitions; ++r) {
        PopulatedMachine machine;
        PlaceStandInFilters(machine.app());
        PlaceStandInAnalyzer(machine.app());
        // Host order: each operation's phases from the session's opening to its close.
        for (InstallMode mode : {Install, Reinstall, Uninstall}) {
            for (EntryMode entry : {SessionOpen, PreSystemCheck, PrePayload, PostPayload, SessionClose}) {
                for (const PhaseFacts& phase : AllPhases()) {
                    if (phase.mode != mode || phase.entry != entry) {
                        continue;
                    }
                    g_pauses.clear();
                    g_children.clear();
                    const double wall = TimeMilliseconds([&] { hook.Run(machine.properties(), phase); });
                    if (g_pauses.empty() && g_children.empty()) {
                        continue;
                    }
                    WholePhase& whole = measured[PhaseName(phase)];
                    if (whole.wall.empty() && r == 0) {
                        order.push_back(PhaseName(phase));
                    }
                    double paused = 0;
                    for (DWORD pause : g_pauses) {
                        paused += pause;
                    }
                    double children = 0;
                    for (const Child& child : g_children) {
                        children += child.end - child.start;
                    }
                    whole.wall.push_back(wall);
                    whole.pauses.push_back(paused);
                    whole.children.push_back(children);
                }
            }
        }
        TakeLineCount();
    }
    for (const std::string& name : order) {
        const WholePhase& whole = measured[name];
        const Figures wall = Summarise(whole.wall);
        std::vector<double> waits;
        for (size_t i = 0; i < whole.wall.size(); ++i) {
            waits.push_back(whole.pauses[i] + whole.children[i]);
        }
        const Figures floor = Summarise(waits);
        char text[96];
        snprintf(text, sizeof(text), "%.0f ms = pauses %.0f + children %.0f", floor.median,
                 Summarise(whole.pauses).median, Summarise(whole.children).median);
        const double ratio = wall.median / floor.median;
        char hook[64];
        snprintf(hook, sizeof(hook), "%.0f ms (%.0f-%.0f)", wall.median, wall.low, wall.high);
        std::string verdict = Verdict(ratio <= kTargetRatio);
        const auto own = floors.find(name);
        if (ratio > kTargetRatio && own != floors.end()) {
            // What lies beyond the waits is the phase's own work, whose
            // floor the first part measured.
            verdict += " (+" + Amount(wall.median - floor.median) + "; the phase's own floor is " +
                       Amount(own->second) + ")";
        }
        table->Add(Row{name, hook, text, ratio, "<= 1.02x", verdict});
    }
}
