#include "bench/setup.h"

#include <fstream>
#include <iterator>

#include "tests/support/environment.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"
#include "tests/support/short_circuit.h"

namespace {

size_t g_lines = 0;

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

void __cdecl CountLine(const char*, int32_t) {
    ++g_lines;
}

size_t TakeLineCount() {
    const size_t lines = g_lines;
    g_lines = 0;
    return lines;
}

BenchHook::BenchHook(const std::wstring& path, Waits waits) : dll_(path) {
    if (waits == kShortCircuited) {
        PrepareFinishedChild();
        sleep_.reset(new ImportPatch<decltype(Sleep)>(dll_.module(), "kernel32.dll", "Sleep", &NoPause));
        start_.reset(new ImportPatch<decltype(CreateProcessW)>(dll_.module(), "kernel32.dll", "CreateProcessW",
                                                               &StartNothing));
    }
}

BenchMachine::BenchMachine(const BenchHook& hook) : machine_(new PopulatedMachine) {
    places_ = Places{machine_->sandbox().path(), machine_->app(), machine_->organizer(), kMachineStartMenuTop};
    laidOut_ = Take();
    for (const PhaseFacts& phase : AllPhases()) {
        if (phase.mode == Install && phase.entry == PostPayload) {
            hook.Run(machine_->properties(), phase);
        }
    }
    TakeLineCount();
    installed_ = Take();
    contents_ = machine_->contents();
    const std::wstring desktopLink = CommonDesktop() + L"\\" + kLinkFile;
    const std::wstring programsLink = CommonPrograms() + L"\\" + kMachineStartMenuLocation + L"\\" + kLinkFile;
    contents_[desktopLink] = ReadBytes(desktopLink);
    linkBytes_ = contents_[programsLink] = ReadBytes(programsLink);
    pin_ = ReadPin().text();
}

FloorPlaces BenchMachine::floorPlaces() const {
    return FloorPlaces{ToUtf8(machine_->installDir()), machine_->app(), machine_->organizer(),
                       kMachineStartMenuLocation};
}

void BenchMachine::Restore(Stage stage) {
    Restore(stage, Take());
}

void BenchMachine::Restore(Stage stage, const MachineState& now) {
    const MachineState& target = state(stage);
    if (now.registry != target.registry) {
        machine_->LayOutRegistry();
        if (stage == Stage::kInstalled) {
            WritePin(pin_);
        }
    }
    RestoreFiles(target.files, now.files, contents_);
}

Stage StageOf(const PhaseFacts& phase) {
    return phase.mode == Install ? Stage::kLaidOut : Stage::kInstalled;
}
