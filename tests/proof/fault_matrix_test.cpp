// The fault matrix: every function the hook DLL imports, failing in every
// phase that calls it, on a populated machine: at every call, and, where the
// phase calls it more than once, at each single call in turn.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/proof/harness.h"
#include "tests/support/environment.h"
#include "tests/support/machine.h"

namespace {

// A failing IsWow64Process leaves the 64-bit flag false, as documented: the
// pre-check then lets the installer through.
int32_t ExpectedUnderFault(const PhaseFacts& phase, const StandIn& failing) {
    return failing.name == "IsWow64Process" ? 0 : ExpectedResult(phase);
}

TEST(ProofFaultMatrix, EveryImportFailingInEveryPhaseThatCallsIt) {
    // A replay runs the one case its settings name.
    const std::string onlyPhase = EnvironmentText("VLX_FAULT_PHASE");
    const std::string onlyImport = EnvironmentText("VLX_FAULT_IMPORT");
    const uint64_t onlyCall = EnvironmentNumber("VLX_FAULT_CALL", 0);
    ProofReport report("fault matrix", "ProofFaultMatrix", !onlyPhase.empty());
    ProofHook hook;
    ASSERT_TRUE(hook.unknownImports().empty())
        << "imports without a stand-in: " << testing::PrintToString(hook.unknownImports());

    // Which stand-ins each phase calls, and how often, with nothing failing.
    ProofMachine machine;
    std::vector<std::map<const StandIn*, unsigned>> called(AllPhases().size());
    for (size_t p = 0; p < AllPhases().size(); ++p) {
        const PhaseFacts& phase = AllPhases()[p];
        SCOPED_TRACE(phase.name);
        const PhaseOutcome outcome = machine.Run(hook, phase, ExpectedResult(phase));
        EXPECT_EQ(outcome.problems, std::vector<std::string>{}) << "without any fault";
        for (const StandIn* standIn : hook.standIns()) {
            const bool failable = standIn->kind == FaultKind::kFails || standIn->kind == FaultKind::kReleases;
            if (failable && CallsOf(standIn->id) > 0) {
                called[p][standIn] = CallsOf(standIn->id);
            }
        }
    }

    size_t total = 0;
    for (size_t p = 0; p < AllPhases().size(); ++p) {
        const PhaseFacts& phase = AllPhases()[p];
        for (const auto& entry : called[p]) {
            const StandIn& failing = *entry.first;
            // At every call (0), and where the phase calls it more than once, at each call in turn.
            for (unsigned call = 0; call <= (entry.second > 1 ? entry.second : 0); ++call) {
                const bool named = onlyPhase == phase.name && onlyImport == failing.name && onlyCall == call;
                if (!report.Samples(total++) || (!onlyPhase.empty() && !named)) {
                    continue;
                }
                const PhaseOutcome outcome =
                    machine.Run(hook, phase, ExpectedUnderFault(phase, failing), FaultPlan{failing.id, call});
                report.Count(!outcome.problems.empty(),
                             phase.name + (" with " + failing.name) + " failing " +
                                 (call == 0 ? std::string("at every call") : "at call " + std::to_string(call)) +
                                 ": " + outcome.Told(),
                             std::string("VLX_FAULT_PHASE=") + phase.name + " VLX_FAULT_IMPORT=" + failing.name +
                                 " VLX_FAULT_CALL=" + std::to_string(call));
            }
        }
    }
    report.Tally("cases", total);
}

}  // namespace
