// The fault matrix: every function the hook DLL imports, failing in every
// phase that calls it, on a populated machine: at every call, and, where the
// phase calls it more than once, at each single call in turn.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
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

std::string Describe(const PhaseFacts& phase, const StandIn& failing, unsigned call) {
    std::ostringstream text;
    text << phase.name << " with " << failing.name << " failing "
         << (call == 0 ? std::string("at every call") : "at call " + std::to_string(call));
    return text.str();
}

TEST(ProofFaultMatrix, EveryImportFailingInEveryPhaseThatCallsIt) {
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

    unsigned cases = 0;
    unsigned failed = 0;
    for (size_t p = 0; p < AllPhases().size(); ++p) {
        const PhaseFacts& phase = AllPhases()[p];
        for (const auto& entry : called[p]) {
            const StandIn& failing = *entry.first;
            std::vector<unsigned> calls = {0};
            for (unsigned call = 1; entry.second > 1 && call <= entry.second; ++call) {
                calls.push_back(call);
            }
            for (unsigned call : calls) {
                const std::string what = Describe(phase, failing, call);
                SCOPED_TRACE(what);
                const PhaseOutcome outcome =
                    machine.Run(hook, phase, ExpectedUnderFault(phase, failing), FaultPlan{failing.id, call});
                ++cases;
                if (!outcome.problems.empty()) {
                    ++failed;
                    ADD_FAILURE() << testing::PrintToString(outcome.problems) << "\nthe log:\n"
                                  << testing::PrintToString(outcome.lines);
                }
            }
        }
    }
    const std::string summary = SummaryHead("fault matrix") +
                                std::to_string(cases) + " cases, " + std::to_string(failed) + " failed";
    std::cout << summary << std::endl;
    WriteSummary(summary);
}

}  // namespace
