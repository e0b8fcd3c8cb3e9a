// Codec filter registration through the real Regsvr32.exe: a stand-in COM
// module is laid out under the filter file names in the install folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

#include "tests/support/environment.h"
#include "tests/support/hook_dll.h"
#include "tests/support/process_recorder.h"
#include "tests/support/property_map.h"
#include "tests/support/sandbox.h"

namespace {

const wchar_t* const kAllFilters[] = {
    L"\\mc_dec_amr_ds.ax",     L"\\mc_dec_dd_ds.ax",       L"\\mc_dec_mp2v_ds.ax",
    L"\\mc_dec_mp4v_ds.ax",    L"\\mc_dec_mpa_ds.ax",      L"\\mc_demux_mp4_ds.ax",
    L"\\32\\mc_dec_amr_ds.ax", L"\\32\\mc_dec_dd_ds.ax",   L"\\32\\mc_dec_mp2v_ds.ax",
    L"\\32\\mc_dec_mp4v_ds.ax", L"\\32\\mc_dec_mpa_ds.ax", L"\\32\\mc_demux_mp4_ds.ax",
};
const wchar_t* const kDolby[] = {L"\\mc_dec_dd_ds.ax", L"\\32\\mc_dec_dd_ds.ax"};

const char kRegisterBegin[] = "VLX: BEGIN - Register Main Concept Filters";
const char kRegisterEnd[] = "VLX: END - Register Main Concept Filters";
const char kUnregisterBegin[] = "VLX: BEGIN - UnRegister Main Concept Filters";
const char kUnregisterEnd[] = "VLX: END - UnRegister Main Concept Filters";

const wchar_t kCallsKey[] = L"Software\\VLXTests\\FilterCalls";

std::wstring Tool() {
    return WindowsFolder() + L"\\System32\\Regsvr32.exe";
}

// Module path -> "registered" / "unregistered", as the stand-in module left it.
std::map<std::wstring, std::wstring> FilterCalls() {
    std::map<std::wstring, std::wstring> calls;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kCallsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return calls;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[1024];
        wchar_t data[64];
        DWORD nameChars = 1024;
        DWORD dataBytes = sizeof(data);
        if (RegEnumValueW(key, i, name, &nameChars, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                          &dataBytes) != ERROR_SUCCESS) {
            break;
        }
        calls[name] = data;
    }
    RegCloseKey(key);
    return calls;
}

class CodecFiltersTest : public testing::Test {
protected:
    void SetUp() override {
        installDir = sandbox.path() + L"\\Program Files";
        app = installDir + L"\\Kestrune Montavo Fablio 15";
        ASSERT_TRUE(MakeFolders(app + L"\\32"));
        for (const wchar_t* entry : kAllFilters) {
            ASSERT_TRUE(CopyFileW(BesideTests(L"test_filter.dll").c_str(), (app + entry).c_str(), FALSE));
        }
        properties = ProductProperties(ToUtf8(installDir));
    }

    // The action's lines within its phase.
    std::vector<LogLine> Lines(const char* begin, const char* end, const wchar_t* const* entries,
                               size_t count) {
        std::vector<LogLine> lines = {L4(begin), L4("Extracting INSTALLDIR..."),
                                      L4(ToUtf8(installDir))};
        for (size_t i = 0; i < count; ++i) {
            lines.push_back(L4(ToUtf8(entries[i])));
        }
        lines.push_back(L4(end));
        return lines;
    }

    std::vector<std::wstring> Commands(const wchar_t* switches, const wchar_t* const* entries,
                                       size_t count) {
        std::vector<std::wstring> commands;
        for (size_t i = 0; i < count; ++i) {
            commands.push_back(Tool() + switches + L"\"" + app + entries[i] + L"\"");
        }
        return commands;
    }

    SandboxFolder sandbox;
    ScopedRegistryKey calls{HKEY_CURRENT_USER, kCallsKey};
    std::wstring installDir;
    std::wstring app;
    PropertyMapBuilder properties;
    HookDll hook;
};

TEST_F(CodecFiltersTest, InstallPostPayloadRegistersDolbyDecoderInBothFolders) {
    CreateProcessRecorder recorder(hook.module(), true);
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), 2, 0), 0);

    EXPECT_EQ(capture.Between(kRegisterBegin, kRegisterEnd),
              Lines(kRegisterBegin, kRegisterEnd, kDolby, 2));
    EXPECT_EQ(recorder.commandLines(), Commands(L" /s ", kDolby, 2));
    EXPECT_EQ(FilterCalls(), (std::map<std::wstring, std::wstring>{
                                 {app + L"\\mc_dec_dd_ds.ax", L"registered"},
                                 {app + L"\\32\\mc_dec_dd_ds.ax", L"registered"}}));
}

TEST_F(CodecFiltersTest, UninstallPrePayloadUnregistersAllSixInBothFolders) {
    CreateProcessRecorder recorder(hook.module(), true);
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), 1, 2), 0);

    EXPECT_EQ(capture.Between(kUnregisterBegin, kUnregisterEnd),
              Lines(kUnregisterBegin, kUnregisterEnd, kAllFilters, 12));
    EXPECT_EQ(recorder.commandLines(), Commands(L" /s /u ", kAllFilters, 12));
    std::map<std::wstring, std::wstring> expected;
    for (const wchar_t* entry : kAllFilters) {
        expected[app + entry] = L"unregistered";
    }
    EXPECT_EQ(FilterCalls(), expected);
}

TEST_F(CodecFiltersTest, ReinstallUnregistersBeforeAndRegistersAfterPayload) {
    CreateProcessRecorder recorder(hook.module(), true);
    {
        // The whole phase: the catalog database removal after it logs nothing.
        LogCapture capture;
        EXPECT_EQ(hook.Proc(properties.map(), 1, 1), 0);
        std::vector<LogLine> expected = {L4("In PrePayloadReinstallProc")};
        for (const LogLine& line : Lines(kUnregisterBegin, kUnregisterEnd, kAllFilters, 12)) {
            expected.push_back(line);
        }
        EXPECT_EQ(capture.lines(), expected);
    }
    {
        LogCapture capture;
        EXPECT_EQ(hook.Proc(properties.map(), 2, 1), 0);
        EXPECT_EQ(capture.Between(kRegisterBegin, kRegisterEnd),
                  Lines(kRegisterBegin, kRegisterEnd, kDolby, 2));
    }
    std::vector<std::wstring> expected = Commands(L" /s /u ", kAllFilters, 12);
    for (const std::wstring& command : Commands(L" /s ", kDolby, 2)) {
        expected.push_back(command);
    }
    EXPECT_EQ(recorder.commandLines(), expected);
    EXPECT_EQ(FilterCalls()[app + L"\\mc_dec_dd_ds.ax"], L"registered");
    EXPECT_EQ(FilterCalls()[app + L"\\mc_dec_amr_ds.ax"], L"unregistered");
}

TEST_F(CodecFiltersTest, MissingFilesAndFolderAreStillHandedToTheTool) {
    RemoveTree(app + L"\\32");
    CreateProcessRecorder recorder(hook.module(), true);
    hook.Proc(properties.map(), 2, 0, nullptr);
    EXPECT_EQ(recorder.commandLines(), Commands(L" /s ", kDolby, 2)) << "no callback, same runs";
    EXPECT_EQ(FilterCalls().size(), 1u);
}

TEST_F(CodecFiltersTest, TrailingBackslashGivesSamePaths) {
    PropertyMapBuilder withBackslash = ProductProperties(ToUtf8(installDir) + "\\");
    CreateProcessRecorder recorder(hook.module(), false);
    hook.Proc(withBackslash.map(), 2, 0, nullptr);
    EXPECT_EQ(recorder.commandLines(), Commands(L" /s ", kDolby, 2));
}

// No install folder: nothing is run at all, rather than at a drive root.
TEST(CodecFiltersNoFolderTest, MissingInstallDirRunsNoTool) {
    HookDll hook;
    CreateProcessRecorder recorder(hook.module(), false);
    PropertyMapBuilder properties = ProductWithoutInstallDir();
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), 1, 2), 0);
    EXPECT_EQ(capture.Between(kUnregisterBegin, kUnregisterEnd),
              (std::vector<LogLine>{L4(kUnregisterBegin), L4("Extracting INSTALLDIR..."),
                                    L4("VLX: INSTALLDIR not found. Install folder not available."),
                                    L4(kUnregisterEnd)}));
    EXPECT_TRUE(recorder.calls().empty());
}

// An install folder that leaves no room for an entry: that entry is skipped,
// never cut into another path.
TEST(CodecFiltersNoFolderTest, PathTooLongIsSkipped) {
    HookDll hook;
    CreateProcessRecorder recorder(hook.module(), false);
    const std::string installDir = "S:\\" + std::string(214, 'a');  // folder of 244 characters
    PropertyMapBuilder properties = ProductProperties(installDir);
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), 2, 0), 0);
    EXPECT_EQ(capture.Between(kRegisterBegin, kRegisterEnd),
              (std::vector<LogLine>{L4(kRegisterBegin), L4("Extracting INSTALLDIR..."), L4(installDir),
                                    L4("\\mc_dec_dd_ds.ax"), L4("VLX: Path too long. Skipped."),
                                    L4("\\32\\mc_dec_dd_ds.ax"), L4("VLX: Path too long. Skipped."),
                                    L4(kRegisterEnd)}));
    EXPECT_TRUE(recorder.calls().empty());
}

}  // namespace
