#include "tests/proof/harness.h"

#include <windows.h>

#include <iostream>

#include "tests/support/environment.h"
#include "tests/support/processes.h"
#include "tests/support/windows10_deletion.h"

ProofHook::ProofHook() {
    PrepareFinishedChild();
    for (const ImportedFunction& function : ImportedFunctions(dll_.module())) {
        const StandIn* standIn = FindStandIn(function.name);
        if (standIn == nullptr) {
            unknown_.push_back(function.dll + "!" + function.name);
            continue;
        }
        if (standIn->function == nullptr) {
            continue;
        }
        SetOriginal(standIn->id, patches_.Add({function.name.c_str(), standIn->function}));
        standIns_.push_back(standIn);
    }
    PassCallsTo("Sleep", reinterpret_cast<const void*>(&NoPause));
    PassCallsTo("CreateProcessW", reinterpret_cast<const void*>(&StartNothing));
    PassCallsTo("CoCreateInstance", reinterpret_cast<const void*>(&CreateWindowsLikeObject));
    PassCallsTo("CreateFileW", reinterpret_cast<const void*>(&CreateFileWindowsLike));
}

namespace {

DWORD HandleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

}  // namespace

PhaseOutcome RunPhaseChecked(const ProofHook& hook, const PropertyMap* properties,
                             const PhaseFacts& phase, const Places& places, const MachineState& before,
                             int32_t expectedResult, const FaultPlan& plan) {
    PhaseOutcome outcome;
    const DWORD handles = HandleCount();
    {
        LogCapture capture;
        ResetCalls();
        OpenBooks();
        SetFaultPlan(plan);
        outcome.result = hook.dll().Proc(properties, phase.entry, phase.mode);
        SetFaultPlan(FaultPlan());
        outcome.problems = CloseBooks();
        outcome.lines = capture.lines();
    }
    const DWORD handlesAfter = HandleCount();
    if (handlesAfter != handles) {
        outcome.problems.push_back("handle count " + std::to_string(handles) + " before, " +
                                   std::to_string(handlesAfter) + " after");
    }
    if (outcome.result != expectedResult) {
        outcome.problems.push_back("result " + std::to_string(outcome.result) + ", expected " +
                                   std::to_string(expectedResult));
    }
    const testing::AssertionResult frames = FramesInOrder(outcome.lines, phase);
    if (!frames) {
        outcome.problems.push_back(frames.message());
    }
    // The machine as the run left it, whatever the run called.
    outcome.after = TakeState(places);
    for (const std::string& change : ForbiddenChanges(before, outcome.after, phase, places)) {
        outcome.problems.push_back(change);
    }
    return outcome;
}

std::string PhaseOutcome::Told() const {
    return testing::PrintToString(problems) + "\nthe log:\n" + testing::PrintToString(lines);
}

ProofMachine::ProofMachine() : machine_(new PopulatedMachine) {
    places_ = Places{machine_->sandbox().path(), machine_->app(), machine_->organizer(), kMachineStartMenuTop};
    pristine_ = TakeState(places_);
}

PhaseOutcome ProofMachine::Run(const ProofHook& hook, const PhaseFacts& phase, int32_t expectedResult,
                               const FaultPlan& plan) {
    PhaseOutcome outcome =
        RunPhaseChecked(hook, machine_->properties(), phase, places_, pristine_, expectedResult, plan);
    Restore(outcome.after);
    return outcome;
}

void ProofMachine::Restore(const MachineState& after) {
    if (after.registry != pristine_.registry) {
        machine_->LayOutRegistry();
    }
    RestoreFiles(pristine_.files, after.files, machine_->contents());
}

ProofReport::ProofReport(const char* run, const char* suite, bool replay)
    : run_(run),
      suite_(suite),
      seed_(EnvironmentNumber("VLX_PROOF_SEED", GetTickCount())),
      step_(replay || MsvcAbiRun() || !EnvironmentText("VLX_PROOF_FULL").empty() ? 1 : 5),
      offset_(static_cast<unsigned>(seed_ % step_)) {}

std::string ProofReport::Replay(const std::string& settings) const {
    return std::string("replay: VLX_WINE_ARCH=") + (InWin64Prefix() ? "win64" : "win32") +
           " VLX_DELETION_WAY=" + DeletionWaySetting() + (settings.empty() ? "" : " " + settings) +
           " build/wine/run build/" + (MsvcAbiRun() ? "bin-msvc-abi" : "bin") +
           "/vlx_proof.exe --gtest_filter=" + suite_ + ".*";
}

void ProofReport::Count(bool failed, const std::string& what, const std::string& settings) {
    ++cases_;
    if (failed) {
        ++failed_;
        ADD_FAILURE() << what << "\n" << Replay(settings);
    }
}

void ProofReport::Figures(const std::string& figures, size_t total) const {
    std::string line = std::string(InWin64Prefix() ? "win64 " : "win32 ") + run_ + " (" + DeletionWayName() +
                       "): " + figures;
    if (step_ > 1) {
        line += " (one in " + std::to_string(step_) + " of " + std::to_string(total) + ", from offset " +
                std::to_string(offset_) + ", seed " + std::to_string(seed_) + ")";
    }
    std::cout << line << std::endl;
    // The two prefixes' runs write at once. The C runtime's append seeks to
    // the end and then writes, so one line could overwrite the other's (seen:
    // a run's figures missing); a handle for appending only adds each write
    // whole at the end.
    line += "\n";
    const Handle file(CreateFileW(BesideTests(L"proof-summary.txt").c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
