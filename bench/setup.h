// What the benchmark measures on: the DLL as it ships, loaded as the host
// loads it (its pauses and child processes short-circuited through its
// import table, or left real), and the tests' populated machine, put back
// after each run into the state a phase starts from.
#pragma once

#include <stdint.h>

#include <map>
#include <memory>
#include <string>

#include "bench/floor.h"
#include "tests/proof/harness.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/machine.h"
#include "tests/support/phases.h"

// The host's log callback in the benchmark: it counts lines.
void __cdecl CountLine(const char* text, int32_t level);
// The lines counted since the last call.
size_t TakeLineCount();

class BenchHook {
public:
    enum Waits { kShortCircuited, kReal };
    BenchHook(const std::wstring& path, Waits waits);

    const HookDll& dll() const { return dll_; }
    int32_t Run(const PropertyMap* properties, const PhaseFacts& phase) const {
        return dll_.Proc(properties, phase.entry, phase.mode, CountLine);
    }

private:
    HookDll dll_;
    std::unique_ptr<ImportPatch<decltype(Sleep)>> sleep_;
    std::unique_ptr<ImportPatch<decltype(CreateProcessW)>> start_;
};

// Where a phase starts: the machine as laid out before the install, or as
// the install leaves it (shortcuts and pin made).
enum class Stage { kLaidOut, kInstalled };

class BenchMachine {
public:
    // Lays the machine out and installs once through the hook to learn the
    // installed state.
    explicit BenchMachine(const BenchHook& hook);

    PopulatedMachine& machine() { return *machine_; }
    const Places& places() const { return places_; }
    FloorPlaces floorPlaces() const;
    MachineState Take() const { return TakeState(places_); }
    // Puts the machine into stage from the state it is in now.
    void Restore(Stage stage);
    void Restore(Stage stage, const MachineState& now);
    const MachineState& state(Stage stage) const { return stage == Stage::kLaidOut ? laidOut_ : installed_; }
    // The Start-menu shortcut's file as the hook writes it.
    const std::string& linkBytes() const { return linkBytes_; }

private:
    std::unique_ptr<PopulatedMachine> machine_;
    Places places_;
    MachineState laidOut_;
    MachineState installed_;
    std::map<std::wstring, std::string> contents_;  // the machine's files and the shortcuts
    std::wstring pin_;
    std::string linkBytes_;
};

// The stage a phase of this mode starts from.
Stage StageOf(const PhaseFacts& phase);
