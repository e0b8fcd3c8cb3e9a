// Codec filter registration through the real Regsvr32.exe: a stand-in COM
// module is laid out under the filter file names in the install folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

#include "base/guards.h"
#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/payload.h"
#include "tests/support/processes.h"
#include "tests/support/sandbox.h"

namespace {

const wchar_t kCallsKey[] = L"Software\\VLXTests\\FilterCalls";

// Module path -> "registered" / "unregistered", as the stand-in module left it.
std::map<std::wstring, std::wstring> FilterCalls() {
    std::map<std::wstring, std::wstring> calls;
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kCallsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return calls;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[1024];
        wchar_t data[64];
        DWORD nameChars = 1024;
        DWORD dataBytes = sizeof(data);
        if (RegEnumValueW(key.get(), i, name, &nameChars, nullptr, nullptr,
                          reinterpret_cast<BYTE*>(data), &dataBytes) != ERROR_SUCCESS) {
            break;
        }
        calls[name] = data;
    }
    return calls;
}

class CodecFiltersTest : public testing::Test {
protected:
    void SetUp() override {
        installDir = sandbox.path() + L"\\Program Files";
        app = installDir + L"\\" + FromUtf8(VLX_PRODUCT_NAME);
        ASSERT_TRUE(MakeFolders(app + L"\\32"));
        ASSERT_TRUE(PlaceStandInFilters(app));
        properties = ProductProperties(ToUtf8(installDir));
    }

    // The tool's command line for each entry.
    std::vector<std::wstring> Commands(const wchar_t* switches,
                                       const std::vector<const wchar_t*>& entries) const {
        std::vector<std::wstring> commands;
        for (const wchar_t* entry : entries) {
            commands.push_back(WindowsFolder() + L"\\System32\\Regsvr32.exe" + switches + L"\"" + app +
                               entry + L"\"");
        }
        return commands;
    }
    Lines Run(EntryMode entry, InstallMode mode) { return hook.Logged(properties.map(), entry, mode); }

    SandboxFolder sandbox;
    ScopedRegistryKey calls{HKEY_CURRENT_USER, kCallsKey};
    std::wstring installDir;
    std::wstring app;
    PropertyMapBuilder properties;
    HookDll hook;
};

struct RegistrationCase {
    const char* name;
    EntryMode entry;
    InstallMode mode;
    const ActionFrame* frame;
    Lines (*lines)(const std::string& installDir);
    const wchar_t* switches;
    const std::vector<const wchar_t*>* entries;
    const wchar_t* mark;  // what the stand-in module records for each entry
};

class FilterRegistrationTest : public CodecFiltersTest,
                               public testing::WithParamInterface<RegistrationCase> {};

// Install registers the Dolby decoder filter in both folders; uninstall
// unregisters all six in both.
TEST_P(FilterRegistrationTest, RunsTheToolOncePerEntry) {
    const RegistrationCase& c = GetParam();
    CreateProcessRecorder recorder(hook.module(), Children::kStart);
    EXPECT_EQ(ActionLines(Run(c.entry, c.mode), *c.frame), c.lines(ToUtf8(installDir)));
    EXPECT_EQ(recorder.commandLines(), Commands(c.switches, *c.entries));
    std::map<std::wstring, std::wstring> expected;
    for (const wchar_t* entry : *c.entries) {
        expected[app + entry] = c.mark;
    }
    EXPECT_EQ(FilterCalls(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Phases, FilterRegistrationTest,
    testing::Values(RegistrationCase{"InstallPostPayload", PostPayload, Install, &kRegisterFiltersFrame,
                                     &RegisterFiltersLines, L" /s ", &kFiltersToRegister, L"registered"},
                    RegistrationCase{"UninstallPrePayload", PrePayload, Uninstall,
                                     &kUnregisterFiltersFrame, &UnregisterFiltersLines, L" /s /u ",
                                     &kFiltersToUnregister, L"unregistered"}),
    [](const testing::TestParamInfo<RegistrationCase>& info) { return std::string(info.param.name); });

TEST_F(CodecFiltersTest, ReinstallUnregistersBeforeAndRegistersAfterPayload) {
    CreateProcessRecorder recorder(hook.module(), Children::kStart);
    // The whole phase: the catalog database removal after it logs nothing.
    EXPECT_EQ(Run(PrePayload, Reinstall),
              L4s({"In PrePayloadReinstallProc"}) + UnregisterFiltersLines(ToUtf8(installDir)));
    EXPECT_EQ(ActionLines(Run(PostPayload, Reinstall), kRegisterFiltersFrame),
              RegisterFiltersLines(ToUtf8(installDir)));
    std::vector<std::wstring> expected = Commands(L" /s /u ", kFiltersToUnregister);
    for (const std::wstring& command : Commands(L" /s ", kFiltersToRegister)) {
        expected.push_back(command);
    }
    EXPECT_EQ(recorder.commandLines(), expected);
    EXPECT_EQ(FilterCalls()[app + L"\\mc_dec_dd_ds.ax"], L"registered");
    EXPECT_EQ(FilterCalls()[app + L"\\mc_dec_amr_ds.ax"], L"unregistered");
}

// Missing files and folders are still handed to the tool, with or without a
// callback; INSTALLDIR's trailing backslash gives the same paths.
TEST_F(CodecFiltersTest, EveryEntryGoesToTheToolWhateverIsThere) {
    RemoveTree(app + L"\\32");
    PropertyMapBuilder withBackslash = ProductProperties(ToUtf8(installDir) + "\\");
    CreateProcessRecorder recorder(hook.module(), Children::kStart);
    hook.Proc(withBackslash.map(), PostPayload, Install, nullptr);
    EXPECT_EQ(recorder.commandLines(), Commands(L" /s ", kFiltersToRegister));
    EXPECT_EQ(FilterCalls().size(), 1u);
}

// No install folder: nothing is run at all, rather than at a drive root.
TEST_F(CodecFiltersTest, MissingInstallDirRunsNoTool) {
    CreateProcessRecorder recorder(hook.module(), Children::kRefuse);
    PropertyMapBuilder noInstallDir = ProductWithoutInstallDir();
    LogCapture capture;
    EXPECT_EQ(hook.Proc(noInstallDir.map(), PrePayload, Uninstall), 0);
    EXPECT_EQ(ActionLines(capture.lines(), kUnregisterFiltersFrame),
              L4s({kUnregisterFiltersFrame.first}) + NoInstallDirLines() +
                  L4s({kUnregisterFiltersFrame.last}));
    EXPECT_TRUE(recorder.calls().empty());
}

// An install folder that leaves no room for an entry: that entry is skipped,
// never cut into another path.
TEST_F(CodecFiltersTest, PathTooLongIsSkipped) {
    CreateProcessRecorder recorder(hook.module(), Children::kRefuse);
    const std::string tooLong = "S:\\" + std::string(214, 'a');  // folder of 244 characters
    PropertyMapBuilder tooLongDir = ProductProperties(tooLong);
    LogCapture capture;
    EXPECT_EQ(hook.Proc(tooLongDir.map(), PostPayload, Install), 0);
    Lines expected = L4s({kRegisterFiltersFrame.first}) + InstallDirLines(tooLong);
    for (const wchar_t* entry : kFiltersToRegister) {
        expected = expected + L4s({ToUtf8(entry), kPathTooLongLine});
    }
    EXPECT_EQ(ActionLines(capture.lines(), kRegisterFiltersFrame),
              expected + L4s({kRegisterFiltersFrame.last}));
    EXPECT_TRUE(recorder.calls().empty());
}

}  // namespace
