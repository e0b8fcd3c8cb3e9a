// The companion analyzer stopped in the reinstall and uninstall SessionOpen
// phases: a stand-in program placed as FablioAutoAnalyzer15.exe records its
// command line and exits with a chosen code.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/support/environment.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/process_recorder.h"
#include "tests/support/property_map.h"
#include "tests/support/sandbox.h"

namespace {

std::vector<DWORD> g_sleeps;
VOID WINAPI RecordSleep(DWORD milliseconds) {
    g_sleeps.push_back(milliseconds);
}

class AnalyzerTest : public testing::TestWithParam<int32_t> {
protected:
    void SetUp() override {
        installDir = sandbox / L"Apps";
        app = installDir + L"\\Kestrune Montavo Fablio 15";
        analyzer = app + L"\\FablioAutoAnalyzer15.exe";
        ASSERT_TRUE(MakeFolders(app));
        ASSERT_TRUE(CopyFileW(BesideTests(L"vlx_child.exe").c_str(), analyzer.c_str(), FALSE));
        record = sandbox / L"analyzer.txt";
        SetEnvironmentVariableW(L"VLX_CHILD_RECORD", record.c_str());
        properties = ProductProperties(ToUtf8(installDir));
        g_sleeps.clear();
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"VLX_CHILD_RECORD", nullptr);
        SetEnvironmentVariableW(L"VLX_CHILD_EXIT", nullptr);
        SetEnvironmentVariableW(L"VLX_CHILD_SLEEP", nullptr);
    }
    std::string Recorded() const {
        HANDLE file = CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        std::string text;
        if (file != INVALID_HANDLE_VALUE) {
            char buffer[4096];
            DWORD got = 0;
            while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
                text.append(buffer, got);
            }
            CloseHandle(file);
        }
        return text;
    }
    std::vector<LogLine> Lines(const std::string& returnCode) const {
        const std::string command = "\"" + ToUtf8(analyzer) + "\" -uninstall";
        return {L4("VLX: Start of StopCAHeadlessService"), L4("Extracting INSTALLDIR..."),
                L4(ToUtf8(installDir)), L4("InstallDir: " + ToUtf8(app)),
                L4("Commandline: " + command), L4("Return Code: " + returnCode),
                L4("VLX: End of StopCAHeadlessService")};
    }

    SandboxFolder sandbox;
    HookDll hook;
    ImportPatch sleep{hook.module(), "kernel32.dll", "Sleep", &RecordSleep};
    std::wstring installDir;
    std::wstring app;
    std::wstring analyzer;
    std::wstring record;
    PropertyMapBuilder properties;
};

TEST_P(AnalyzerTest, RunsAnalyzerWithUninstallSwitchThenPauses) {
    SetEnvironmentVariableW(L"VLX_CHILD_EXIT", L"7");
    const char* entry = GetParam() == 1 ? "In ReinstallSessionOpenProc" : "In UninstallSessionOpenProc";
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), 3, GetParam()), 0);
    std::vector<LogLine> expected = {L4(entry)};
    for (const LogLine& line : Lines("7")) {
        expected.push_back(line);
    }
    EXPECT_EQ(capture.lines(), expected);
    EXPECT_EQ(Recorded(), "\"" + ToUtf8(analyzer) + "\" -uninstall\n");
    EXPECT_EQ(g_sleeps, std::vector<DWORD>{5000}) << "the pause follows the analyzer";
}

TEST_P(AnalyzerTest, AbsentAnalyzerIsLoggedWithReturnCodeZero) {
    DeleteFileW(analyzer.c_str());
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), 3, GetParam()), 0);
    EXPECT_EQ(capture.Between("VLX: Start of StopCAHeadlessService", "VLX: End of StopCAHeadlessService"),
              Lines("0"));
    EXPECT_EQ(g_sleeps, std::vector<DWORD>{5000});
}

INSTANTIATE_TEST_SUITE_P(Modes, AnalyzerTest, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int32_t>& info) {
                             return std::string(info.param == 1 ? "Reinstall" : "Uninstall");
                         });

TEST_F(AnalyzerTest, InstallSessionOpenNeitherStopsNorPauses) {
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), 3, 0), 0);
    EXPECT_EQ(capture.lines(), std::vector<LogLine>{L4("In InstallSessionOpenProc")});
    EXPECT_EQ(Recorded(), "");
    EXPECT_TRUE(g_sleeps.empty());
}

TEST_F(AnalyzerTest, NoInstallFolderStartsNoAnalyzer) {
    CreateProcessRecorder recorder(hook.module(), false);
    PropertyMapBuilder noInstallDir = ProductWithoutInstallDir();
    LogCapture capture;
    EXPECT_EQ(hook.Proc(noInstallDir.map(), 3, 2), 0);
    EXPECT_EQ(capture.lines(),
              (std::vector<LogLine>{L4("In UninstallSessionOpenProc"),
                                    L4("VLX: Start of StopCAHeadlessService"),
                                    L4("Extracting INSTALLDIR..."),
                                    L4("VLX: INSTALLDIR not found. Install folder not available."),
                                    L4("VLX: End of StopCAHeadlessService")}));
    EXPECT_TRUE(recorder.calls().empty());
    EXPECT_EQ(g_sleeps, std::vector<DWORD>{5000});
}

TEST_F(AnalyzerTest, WithoutCallbackTheAnalyzerStillRuns) {
    hook.Proc(properties.map(), 3, 2, nullptr);
    EXPECT_EQ(Recorded(), "\"" + ToUtf8(analyzer) + "\" -uninstall\n");
}

// An analyzer still running after 30 seconds is logged with 259 and left
// running; the test then ends it itself.
TEST_F(AnalyzerTest, AnalyzerOutlivingTimeoutIsLeftRunning) {
    SetEnvironmentVariableW(L"VLX_CHILD_SLEEP", L"45000");
    CreateProcessRecorder recorder(hook.module(), true);
    LogCapture capture;
    const double start = NowMilliseconds();
    EXPECT_EQ(hook.Proc(properties.map(), 3, 2), 0);
    const double elapsed = NowMilliseconds() - start;
    EXPECT_EQ(capture.Between("VLX: Start of StopCAHeadlessService", "VLX: End of StopCAHeadlessService"),
              Lines("259"));
    EXPECT_GE(elapsed, 29900.0);
    ASSERT_EQ(recorder.calls().size(), 1u);
    const HANDLE child = recorder.calls()[0].process;
    EXPECT_EQ(WaitForSingleObject(child, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "still running";
    TerminateProcess(child, 1);
    WaitForSingleObject(child, 10000);
}

}  // namespace
