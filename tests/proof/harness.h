// What the proof runs share: the hook DLL with every import replaced by its
// stand-in (where Wine is more lenient than Windows, behaving as Windows
// does), one phase run with every invariant checked, and a populated machine
// for many runs, with its state as the runs see it (the files below the
// sandbox drive, the shell folders and the hook's registry keys in both
// views) and the rules of what each phase may change in it.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <stdint.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/proof/stand_ins.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/machine.h"
#include "tests/support/phases.h"
#include "tests/support/snapshot.h"

// Run as root, Wine opens a read-only file for writing and lets the
// shell-link object save over a read-only shortcut; Windows refuses both.
// CoCreateInstance as the hook gets it in the proof runs: the shell-link
// object refuses to save over a read-only file (E_ACCESSDENIED); everything
// else is the real object.
HRESULT WINAPI CreateWindowsLikeObject(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                       LPVOID* object);

// Calls before() before each save of such a shell-link object (null: nothing).
void CallBeforeSave(void (*before)());

// CreateFileW as on Windows: opening a read-only file for writing its data
// fails with ERROR_ACCESS_DENIED.
HANDLE WINAPI CreateFileWindowsLike(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                    DWORD disposition, DWORD flags, HANDLE templateFile);

// Where the hook works on a machine, for the rules of what it may change.
struct Places {
    std::wstring sandbox;            // files of the machine: payload, organizer, profiles
    std::wstring app;                // the application's folder
    std::wstring organizer;          // the companion organizer's folder
    std::wstring startMenuFolder;    // the custom Start-menu folder's top, or empty
};

// The files and registry keys the hook may touch, and everything around them.
struct MachineState {
    FileSnapshot files;
    RegistrySnapshot registry;
};
MachineState TakeState(const Places& places);
// The same for the registry alone, and for the shell folders alone.
void TakeRegistryState(MachineState* state);
void TakeShellFolderState(MachineState* state);

// The entries in which two states differ, one line each ("<how> <what>"),
// but for those allowed to change; and those that the phase may not change.
std::vector<std::string> ChangeLines(const MachineState& before, const MachineState& after,
                                     const std::function<bool(const std::wstring&)>& allowed = nullptr);
std::vector<std::string> ForbiddenChanges(const MachineState& before, const MachineState& after,
                                          const PhaseFacts& phase, const Places& places);

// Puts files back from their state now to the target state: what differs is
// written anew from contents (by full path) or made as a folder, what is new
// is removed.
void RestoreFiles(const FileSnapshot& target, const FileSnapshot& now,
                  const std::map<std::wstring, std::string>& contents);

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
    // The problems and the log, for a failure's message.
    std::string Told() const;
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

// One proof run's report. Every run is whole for the DLL that ships (the
// MSVC-ABI one), in a replay and with VLX_PROOF_FULL=1; the gcc DLL's run
// takes one case in five, from an offset that VLX_PROOF_SEED (otherwise the
// clock) chooses. The figures are one line, printed and appended to
// proof-summary.txt beside the tests for the test command; a failure prints
// the line that replays it.
class ProofReport {
public:
    // run: as the figures name it ("fault matrix"); suite: its GoogleTest suite.
    ProofReport(const char* run, const char* suite, bool replay);
    // Whether the case numbered index (from 0) runs here.
    bool Samples(size_t index) const { return (index + offset_) % step_ == 0; }
    bool whole() const { return step_ == 1; }
    // "replay: VLX_WINE_ARCH=win64 VLX_DELETION_WAY=wine <settings> build/wine/run
    // build/bin/vlx_proof.exe --gtest_filter=<suite>.*", for the build that runs.
    std::string Replay(const std::string& settings) const;
    // "<prefix> <run> (<way>): <figures>", and for a sample of total cases
    // " (one in 5 of <total>, from offset <k>, seed <seed>)".
    void Figures(const std::string& figures, size_t total) const;
    // Counts a case; a failed one fails the test with what it was and the
    // line that replays it (settings as for Replay).
    void Count(bool failed, const std::string& what, const std::string& settings);
    // Figures of the cases counted: "<cases> <unit>, <failed> failed".
    void Tally(const std::string& unit, size_t total) const {
        Figures(std::to_string(cases_) + " " + unit + ", " + std::to_string(failed_) + " failed", total);
    }

private:
    std::string run_;
    std::string suite_;
    uint64_t seed_;
    unsigned step_;
    unsigned offset_;
    unsigned cases_ = 0;
    unsigned failed_ = 0;
};
