// Blast radius and idempotence: on a machine populated as a real one is,
// install, reinstall and uninstall (each twice in a row) change only what the
// hook documents, the second run of each changes nothing more, and after the
// uninstall nothing that the install made is left.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "hook/product.h"
#include "tests/proof/harness.h"
#include "tests/support/environment.h"
#include "tests/support/links.h"
#include "tests/support/shell.h"

namespace {

// What else a real machine holds around the product: other programs'
// shortcuts and Start-menu folders, other pinned links and pin values,
// other options beside the product's, and files named like the product's at
// the drive root, in other folders and behind links in its own folders.
class RealMachine {
public:
    explicit RealMachine(PopulatedMachine& machine) : machine_(machine) {
        const std::wstring sandbox = machine.sandbox().path();
        for (const std::wstring& file : std::vector<std::wstring>{CommonDesktop() + L"\\Other App.lnk", CommonPrograms() + L"\\Other App.lnk",
              CommonPrograms() + L"\\Other Vendor\\Other App.lnk",
              machine.profile() + L"\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\"
                                  L"User Pinned\\TaskBar\\Other App.lnk",
              L"C:\\" VLX_LINK_FILE, L"C:\\Repository2_0.db", L"C:\\ols_config.xml",
              sandbox + L"\\Other\\Settings\\Info\\CustomCredits", sandbox + L"\\Other\\ols_config.xml",
              sandbox + L"\\Other\\CAHeadless\\mc_dec_dd.dll", sandbox + L"\\Other\\" VLX_LINK_FILE,
              sandbox + L"\\Decoys\\Dolby.vca", sandbox + L"\\Decoys\\mc_dec_amr.dll",
              sandbox + L"\\Decoys\\Empty\\.keep"}) {
            WriteTextFile(file, "someone else's");
            made_.push_back(file);
        }
        MakeFolders(sandbox + L"\\Decoys\\Empty Folder");
        links_.emplace_back(new ScopedLink(machine.app() + L"\\MediaIO\\codecs\\Linked", sandbox + L"\\Decoys"));
        links_.emplace_back(new ScopedLink(machine.organizer() + L"\\CAHeadless\\Linked", sandbox + L"\\Decoys"));
        ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, kPinKey, L"OtherPin",
                                       CommonPrograms() + L"\\Other App.lnk", REG_EXPAND_SZ, KEY_WOW64_64KEY);
        ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, std::wstring(kOptionParentKey) + L"\\Other",
                                       L"NODESKTOPICON", L"1", REG_SZ, 0);
        ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, kOptionParentKey, L"Installed", L"elsewhere",
                                       REG_SZ, 0);
    }
    ~RealMachine() {
        links_.clear();
        for (const std::wstring& file : made_) {
            DeleteFileW(file.c_str());
        }
        RemoveTree(CommonPrograms() + L"\\Other Vendor");
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kPinKey, KEY_WOW64_64KEY);
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kOptionParentKey);
    }
    bool linked() const { return links_[0]->made() && links_[1]->made(); }
    // The decoys outside the folders a state covers (at the drive root).
    std::vector<std::wstring> uncovered() const {
        std::vector<std::wstring> files;
        for (const std::wstring& file : made_) {
            if (file.compare(0, 3, L"C:\\") == 0 && file.find(L'\\', 3) == std::wstring::npos) {
                files.push_back(file);
            }
        }
        return files;
    }

private:
    PopulatedMachine& machine_;
    std::vector<std::wstring> made_;
    std::vector<std::unique_ptr<ScopedLink>> links_;
};

// The operations follow from one another: every run is whole (a second).
TEST(ProofBlastRadius, InstallReinstallUninstallTouchOnlyWhatTheyDocument) {
    ProofReport report("blast radius", "ProofBlastRadius", true);
    ProofHook hook;
    ASSERT_TRUE(hook.unknownImports().empty());
    PopulatedMachine machine;
    RealMachine real(machine);
    ASSERT_TRUE(real.linked());
    const Places places{machine.sandbox().path(), machine.app(), machine.organizer(), kMachineStartMenuTop};
    const MachineState installed = TakeState(places);

    MachineState state = installed;
    for (InstallMode mode : {Install, Reinstall, Uninstall}) {
        for (int run = 1; run <= 2; ++run) {
            const std::string what = std::string(mode == Install ? "install" : mode == Reinstall ? "reinstall" : "uninstall") +
                                     " (run " + std::to_string(run) + ")";
            SCOPED_TRACE(what);
            const MachineState before = state;
            std::vector<std::string> problems;
            // The phases in host order; the host stops at the first that
            // does not return 0. Each phase is checked on its own: what it
            // may change, nothing left open, its result and its frames.
            for (EntryMode entry : {SessionOpen, PreSystemCheck, PrePayload, PostPayload, SessionClose}) {
                const PhaseFacts& phase = AllPhases()[static_cast<size_t>(mode) * 5 + entry];
                const PhaseOutcome outcome =
                    RunPhaseChecked(hook, machine.properties(), phase, places, state, ExpectedResult(phase));
                for (const std::string& problem : outcome.problems) {
                    problems.push_back(std::string(phase.name) + ": " + problem);
                }
                state = outcome.after;
                if (outcome.result != 0) {
                    break;
                }
            }
            if (run == 2) {
                for (const std::string& change : ChangeLines(before, state)) {
                    problems.push_back("the second run changed more: " + change);
                }
            }
            report.Count(!problems.empty(), testing::PrintToString(problems), "");
        }
    }
    // After the uninstall nothing the install made is left: against the
    // machine as the installer left it, only the payload's removals and the
    // data folder's access and its items' (never taken back) differ.
    for (const std::string& change : ChangeLines(installed, state)) {
        const bool removal = change.compare(0, 8, "removed ") == 0;
        const std::string data = "changed " + ToUtf8(DataFolder());
        const bool dataFolder = change.compare(0, data.size(), data) == 0 &&
                                (change.size() == data.size() || change[data.size()] == '\\');
        EXPECT_TRUE(removal || dataFolder) << "left by install: " << change;
    }
    for (const std::wstring& decoy : real.uncovered()) {
        EXPECT_TRUE(PathExists(decoy)) << ToUtf8(decoy);
    }
    report.Tally("operations diffed", 6);
}

}  // namespace
