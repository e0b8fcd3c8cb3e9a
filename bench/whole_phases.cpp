// Whole phases with their real pauses and child processes (Wine's
// Regsvr32 on the stand-in filter, a quick stand-in analyzer), run in host
// order through an install, a reinstall and an uninstall: wall time against
// the sum of the pauses the phase asks for and of its children's own run
// times, each timed from its start to the end of the hook's wait for it.
#include <map>

#include "bench/bench.h"
#include "tests/support/environment.h"
#include "tests/support/machine.h"
#include "tests/support/payload.h"
#include "tests/support/phases.h"

namespace {

double g_waited = 0;
std::map<HANDLE, double> g_started;  // children by process, with their start

VOID WINAPI RecordPause(DWORD milliseconds) {
    g_waited += milliseconds;
    Sleep(milliseconds);
}

BOOL WINAPI RecordStart(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                        LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags, LPVOID environment,
                        LPCWSTR folder, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information) {
    const double start = NowMilliseconds();
    const BOOL started = CreateProcessW(application, commandLine, processAttributes, threadAttributes, inherit,
                                        flags, environment, folder, startup, information);
    if (started) {
        g_started[information->hProcess] = start;
    }
    return started;
}

DWORD WINAPI RecordWait(HANDLE object, DWORD milliseconds) {
    const DWORD result = WaitForSingleObject(object, milliseconds);
    const auto child = g_started.find(object);
    if (child != g_started.end()) {
        g_waited += NowMilliseconds() - child->second;
        g_started.erase(child);
    }
    return result;
}

}  // namespace

void MeasureWholePhases(const BenchOptions& options, Table* table) {
    table->Section("Whole phases with their real pauses and children: wall time against pauses + children");
    const BenchHook hook(options.dll, BenchHook::kReal);
    const HMODULE module = hook.dll().module();
    const ImportPatch<decltype(Sleep)> pauses(module, "Sleep", &RecordPause);
    const ImportPatch<decltype(CreateProcessW)> starts(module, "CreateProcessW", &RecordStart);
    const ImportPatch<decltype(WaitForSingleObject)> waits(module, "WaitForSingleObject", &RecordWait);
    // The phases that wait, in host order, with their wall times and waits.
    std::vector<const PhaseFacts*> order;
    std::map<const PhaseFacts*, std::pair<std::vector<double>, std::vector<double>>> measured;
    for (int r = 0; r < (options.quick ? 1 : 5); ++r) {
        PopulatedMachine machine;
        PlaceStandInFilters(machine.app());
        PlaceStandInAnalyzer(machine.app());
        for (InstallMode mode : {Install, Reinstall, Uninstall}) {
            for (EntryMode entry : {SessionOpen, PreSystemCheck, PrePayload, PostPayload, SessionClose}) {
                const PhaseFacts* phase = &AllPhases()[static_cast<size_t>(mode) * 5 + entry];
                g_waited = 0;
                const double wall = TimeMilliseconds([&] { hook.Run(machine.properties(), mode, entry); });
                if (g_waited == 0) {
                    continue;
                }
                if (measured.find(phase) == measured.end()) {
                    order.push_back(phase);
                }
                measured[phase].first.push_back(wall);
                measured[phase].second.push_back(g_waited);
            }
        }
    }
    for (const PhaseFacts* phase : order) {
        const Figures wall = Summarise(measured[phase].first);
        const Figures waited = Summarise(measured[phase].second);
        const double ratio = wall.median / waited.median;
        table->Add(Row{phase->name, Duration(wall), Duration(waited) + " waited", ratio, "<= 1.02x", ratio <= 1.02,
                       false});
    }
}
