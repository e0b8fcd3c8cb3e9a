// The kill matrix: every phase that changes the machine is ended by the
// system just before its N-th changing call, and then run again in full; the
// machine must end as after one uninterrupted run from the same start. Each
// round starts from an installed machine with some of its files held open by
// this program, as another program would hold them, so that the old
// deletion's way for a held file runs too. The phase runs in a child (this
// program again, with VLX_KILL_* set), which ends itself through
// TerminateProcess from its import-table wrappers.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "base/guards.h"
#include "tests/proof/harness.h"
#include "tests/support/environment.h"
#include "tests/support/processes.h"
#include "tests/support/shell.h"
#include "tests/support/windows10_deletion.h"

namespace {

const UINT kKilledExitCode = 77;

// The child's count of changing calls, and the one it does not live to make.
unsigned g_changes = 0;
unsigned g_killAt = 0;

void BeforeChange() {
    if (++g_changes == g_killAt) {
        TerminateProcess(GetCurrentProcess(), kKilledExitCode);
    }
}

TEST(ProofKillMatrix, DISABLED_Child) {
    const auto phase = std::find_if(AllPhases().begin(), AllPhases().end(), [](const PhaseFacts& p) {
        return EnvironmentText("VLX_KILL_PHASE") == p.name;
    });
    ASSERT_NE(phase, AllPhases().end());
    g_killAt = static_cast<unsigned>(EnvironmentNumber("VLX_KILL_AT", 0));
    ProofHook hook;
    // Wine refuses POSIX-semantics deletion (class 21): such a call changes nothing.
    const ImportPatch<decltype(SetFileInformationByHandle)> setInformation(
        hook.dll().module(), "SetFileInformationByHandle", [&](auto file, auto kind, auto information, auto size) {
        if (kind != static_cast<FILE_INFO_BY_HANDLE_CLASS>(21) || Windows10DeletionWay()) {
            BeforeChange();
        }
        return setInformation.original()(file, kind, information, size);
    });
    CallBeforeEach(&StandIn::changes, &BeforeChange);
    CallBeforeSave(&BeforeChange);
    PropertyMapBuilder properties = ProductProperties(EnvironmentText("VLX_KILL_INSTALLDIR"));
    const int32_t result = hook.dll().Proc(properties.map(), phase->entry, phase->mode);
    CallBeforeEach(&StandIn::changes, nullptr);
    CallBeforeSave(nullptr);
    std::cout << "changing calls: " << g_changes << std::endl;
    EXPECT_EQ(result, ExpectedResult(*phase));
}

// The parent's side: the installed machine each round starts from.
class KillRounds {
public:
    KillRounds() {
        const std::wstring app = machine_.places().app;
        marked_ = {{app + L"\\Settings\\Info\\TeamNames", FILE_ATTRIBUTE_READONLY},
                   {app + L"\\Settings\\Info\\About.xst", FILE_ATTRIBUTE_HIDDEN},
                   {app + L"\\ols_config.xml", FILE_ATTRIBUTE_SYSTEM},
                   {app + L"\\MediaIO\\codecs\\Dolby.vca", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
                   {app + L"\\Settings", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
                   {machine_.machine().profile() + L"\\" + kPinnedLinkBelowProfile, FILE_ATTRIBUTE_READONLY}};
        // Held as another program holds a file: sharing everything.
        held_ = {CommonDesktop() + L"\\" + kLinkFile, app + L"\\Settings\\Info\\About.xst",
                 app + L"\\MediaIO\\codecs\\Dolby.vca", CatalogDatabase(),
                 machine_.machine().organizer() + L"\\CAHeadless\\mc_dec_dd.dll",
                 machine_.machine().profile() + L"\\" + kPinnedLinkBelowProfile};
    }

    // Lays out the installed machine and holds its files.
    void Start() {
        for (const auto& mark : marked_) {
            SetFileAttributesW(mark.first.c_str(), 0);
        }
        machine_.Restore(TakeState(machine_.places()));
        for (EntryMode entry : {PostPayload, SessionClose}) {
            hook_.dll().Proc(machine_.machine().properties(), entry, Install);
        }
        for (const auto& mark : marked_) {
            SetFileAttributesW(mark.first.c_str(), mark.second);
        }
        for (const std::wstring& path : held_) {
            holds_.emplace_back(new Handle(CreateFileW(path.c_str(), FILE_READ_DATA, FILE_SHARE_READ |
                                                       FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                       OPEN_EXISTING, 0, nullptr)));
        }
    }

    // Runs the phase in a child that is killed before its killAt-th changing
    // call (0: none): the child's exit code, and its count of changing calls.
    DWORD Child(const std::string& phase, unsigned killAt, unsigned* changes = nullptr) {
        SetEnvironmentVariableA("VLX_KILL_PHASE", phase.c_str());
        SetEnvironmentVariableA("VLX_KILL_AT", std::to_string(killAt).c_str());
        SetEnvironmentVariableW(L"VLX_KILL_INSTALLDIR", machine_.machine().installDir().c_str());
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        const ProcessResult run = RunAndCapture(std::wstring(L"\"") + self +
                                                L"\" --gtest_filter=ProofKillMatrix.DISABLED_Child"
                                                L" --gtest_also_run_disabled_tests", 60000);
        const size_t at = run.out.find("changing calls: ");
        if (changes != nullptr && at != std::string::npos) {
            *changes = strtoul(run.out.c_str() + at + 16, nullptr, 10);
        }
        if (run.exitCode != 0 && run.exitCode != kKilledExitCode) {
            ADD_FAILURE() << "the child of " << phase << " failed:\n" << run.out << run.err;
        }
        return run.exitCode;
    }

    // Lets the held files go, and tells the machine's state.
    MachineState Finish() {
        holds_.clear();
        return TakeState(machine_.places());
    }

private:
    ProofHook hook_;
    ProofMachine machine_;
    std::vector<std::pair<std::wstring, DWORD>> marked_;
    std::vector<std::wstring> held_;
    std::vector<std::unique_ptr<Handle>> holds_;
};

TEST(ProofKillMatrix, KilledBeforeAnyChangingCallThenRunAgainEndsAsOneRun) {
    ProofReport report("kill matrix", "ProofKillMatrix", !EnvironmentText("VLX_KILL_AT").empty());
    KillRounds rounds;
    // One uninterrupted run of each phase with actions: its end state and its kill points.
    std::vector<std::pair<std::string, unsigned>> points;
    std::vector<MachineState> ends;
    for (const PhaseFacts& facts : AllPhases()) {
        const std::string phase = facts.name;
        if (facts.actions.empty() ||
            (!EnvironmentText("VLX_KILL_PHASE").empty() && EnvironmentText("VLX_KILL_PHASE") != phase)) {
            continue;
        }
        unsigned changes = 0;
        rounds.Start();
        EXPECT_EQ(rounds.Child(phase, 0, &changes), 0u) << phase;
        ends.push_back(rounds.Finish());
        for (unsigned n = 1; n <= changes; ++n) {
            points.emplace_back(phase, n);
        }
        std::cout << phase << ": " << changes << " kill points" << std::endl;
    }
    const size_t total = points.size();
    if (!EnvironmentText("VLX_KILL_AT").empty()) {
        points = {{EnvironmentText("VLX_KILL_PHASE"), static_cast<unsigned>(EnvironmentNumber("VLX_KILL_AT", 0))}};
    }
    size_t end = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        end += i > 0 && points[i].first != points[i - 1].first ? 1 : 0;
        if (!report.Samples(i)) {
            continue;
        }
        const std::string& phase = points[i].first;
        const unsigned n = points[i].second;
        rounds.Start();
        const DWORD killed = rounds.Child(phase, n);
        const DWORD again = rounds.Child(phase, 0);
        const MachineState state = rounds.Finish();
        report.Count(killed != kKilledExitCode || again != 0 || state.files != ends[end].files ||
                         state.registry != ends[end].registry,
                     phase + " killed before changing call " + std::to_string(n) + ", exit codes " +
                         std::to_string(killed) + " and " + std::to_string(again) + ":\n" +
                         Difference(ends[end].files, state.files) + Difference(ends[end].registry, state.registry),
                     "VLX_KILL_PHASE=" + phase + " VLX_KILL_AT=" + std::to_string(n));
    }
    report.Tally("kill points", total);
}

}  // namespace
