// What the proof runs share: the hook DLL with every import replaced by its
// stand-in, one phase run with every invariant checked, and a populated
// machine for many runs (its state and rules: machine_state.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/proof/machine_state.h"
#include "tests/proof/stand_ins.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/machine.h"
#include "tests/support/phases.h"

// The hook DLL as the proof runs load it: every import goes through its
// stand-in; pauses return at once and child processes are not started (a
// child that has already ended stands in for each); the shell-link object
// refuses to save over a read-only file, as on Windows.
class ProofHook {
public:
    ProofHook();
    ProofHook(const ProofHook&) = delete;
    ProofHook& operator=(const ProofHook&) = delete;

    const HookDll& dll() const { return dll_; }
    // Imports of the DLL that the stand-in table does not know.
    const std::vector<std::string>& unknownImports() const { return unknown_; }
    // The stand-ins in place, one per import.
    const std::vector<const StandIn*>& standIns() const { return standIns_; }

private:
    HookDll dll_;
    ImportPatches patches_{dll_.module()};
    std::vector<const StandIn*> standIns_;
    std::vector<std::string> unknown_;
};

// One phase run with every invariant checked: no crash (the run returns),
// the result, the frame lines of every action in order, nothing changed
// that the phase may not change (before is the state it starts from), and
// nothing left open (the handle count and the leak books). The plan says
// which import fails.
struct PhaseOutcome {
    int32_t result = 0;
    Lines lines;
    MachineState after;
    std::vector<std::string> problems;
};
PhaseOutcome RunPhaseChecked(const ProofHook& hook, const PropertyMap* properties,
                             const PhaseFacts& phase, const Places& places, const MachineState& before,
                             int32_t expectedResult, const FaultPlan& plan = FaultPlan());

// A populated machine for many runs: laid out once, and after each run put
// back as it was wherever the run changed it.
class ProofMachine {
public:
    ProofMachine();
    ProofMachine(const ProofMachine&) = delete;
    ProofMachine& operator=(const ProofMachine&) = delete;

    PopulatedMachine& machine() { return *machine_; }
    const Places& places() const { return places_; }
    // The machine's state as laid out.
    const MachineState& pristine() const { return pristine_; }
    // Runs a phase from the laid-out state, and puts the machine back.
    PhaseOutcome Run(const ProofHook& hook, const PhaseFacts& phase, int32_t expectedResult,
                     const FaultPlan& plan = FaultPlan());
    // Puts back what a run changed, as its state after shows it.
    void Restore(const MachineState& after);

private:
    std::unique_ptr<PopulatedMachine> machine_;
    Places places_;
    MachineState pristine_;
};

// The head of a proof run's summary line: the prefix, the run and the way of
// deletion, e.g. "win64 fault matrix (Windows 10 deletion): ".
std::string SummaryHead(const std::string& run);

// Appends a summary line for test.sh to print (build tree: proof-summary.txt).
void WriteSummary(const std::string& line);
