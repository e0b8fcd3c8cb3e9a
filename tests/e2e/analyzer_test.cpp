// The companion analyzer stopped in the reinstall and uninstall SessionOpen
// phases: a stand-in program placed as the analyzer records its command line
// and exits with a chosen code. Waits are recorded, not slept.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/guards.h"
#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/payload.h"
#include "tests/support/processes.h"
#include "tests/support/sandbox.h"

namespace {

class AnalyzerTest : public testing::Test {
protected:
    void SetUp() override {
        installDir = sandbox / L"Apps";
        app = installDir + L"\\" + FromUtf8(VLX_PRODUCT_NAME);
        analyzer = app + FromUtf8(VLX_ANALYZER);
        ASSERT_TRUE(MakeFolders(app));
        ASSERT_TRUE(PlaceStandInAnalyzer(app));
        record = sandbox / L"analyzer.txt";
        SetEnvironmentVariableW(L"VLX_CHILD_RECORD", record.c_str());
        properties = ProductProperties(ToUtf8(installDir));
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"VLX_CHILD_RECORD", nullptr);
        SetEnvironmentVariableW(L"VLX_CHILD_EXIT", nullptr);
    }
    std::string Recorded() const {
        const FileHandle file(CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        std::string text;
        if (file.valid()) {
            ReadAll(file.get(), &text);
        }
        return text;
    }
    Lines Analyzer(const std::string& code) const {
        return AnalyzerLines(ToUtf8(installDir), app, code);
    }
    std::string CommandLine() const { return "\"" + ToUtf8(analyzer) + "\" -uninstall\n"; }

    SandboxFolder sandbox;
    HookDll hook;
    PauseRecorder pauses{hook.module()};
    // The time-out asked for is recorded; the wait itself is the platform's.
    std::vector<DWORD> waits;
    ImportPatch<decltype(WaitForSingleObject)> wait{hook.module(), "WaitForSingleObject", [this](auto object, auto ms) {
        waits.push_back(ms);
        return wait.original()(object, ms);
    }};
    std::wstring installDir;
    std::wstring app;
    std::wstring analyzer;
    std::wstring record;
    PropertyMapBuilder properties;
};

struct StopCase {
    const char* name;
    InstallMode mode;
    bool present;
};

class AnalyzerStopTest : public AnalyzerTest, public testing::WithParamInterface<StopCase> {};

// The analyzer run with its switch and logged with its exit code, then the
// pause; an absent one is logged with 0 and nothing is waited for.
TEST_P(AnalyzerStopTest, RunsAnalyzerWithUninstallSwitchThenPauses) {
    const StopCase& c = GetParam();
    if (c.present) {
        SetEnvironmentVariableW(L"VLX_CHILD_EXIT", L"7");
    } else {
        DeleteFileW(analyzer.c_str());
    }
    const char* entry = c.mode == Reinstall ? "In ReinstallSessionOpenProc" : "In UninstallSessionOpenProc";
    EXPECT_EQ(hook.Logged(properties.map(), SessionOpen, c.mode), L4s({entry}) + Analyzer(c.present ? "7" : "0"));
    EXPECT_EQ(Recorded(), c.present ? CommandLine() : "");
    EXPECT_EQ(waits, c.present ? std::vector<DWORD>{30000} : std::vector<DWORD>{}) << "30 seconds for it";
    EXPECT_EQ(pauses.pauses(), std::vector<DWORD>{5000}) << "the pause follows the analyzer";
}

INSTANTIATE_TEST_SUITE_P(Modes, AnalyzerStopTest,
                         testing::Values(StopCase{"Reinstall", Reinstall, true},
                                         StopCase{"Uninstall", Uninstall, true},
                                         StopCase{"AnalyzerAbsent", Uninstall, false}),
                         [](const testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

TEST_F(AnalyzerTest, InstallSessionOpenNeitherStopsNorPauses) {
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), SessionOpen, Install), 0);
    EXPECT_EQ(capture.lines(), L4s({"In InstallSessionOpenProc"}));
    EXPECT_EQ(Recorded(), "");
    EXPECT_TRUE(pauses.pauses().empty());
}

TEST_F(AnalyzerTest, NoInstallFolderStartsNoAnalyzer) {
    CreateProcessRecorder recorder(hook.module(), Children::kRefuse);
    PropertyMapBuilder noInstallDir = ProductWithoutInstallDir();
    LogCapture capture;
    EXPECT_EQ(hook.Proc(noInstallDir.map(), SessionOpen, Uninstall), 0);
    EXPECT_EQ(capture.lines(), L4s({"In UninstallSessionOpenProc", kStopAnalyzerFrame.first}) +
                                   NoInstallDirLines() + L4s({kStopAnalyzerFrame.last}));
    EXPECT_TRUE(recorder.calls().empty());
    EXPECT_EQ(pauses.pauses(), std::vector<DWORD>{5000});
}

TEST_F(AnalyzerTest, WithoutCallbackTheAnalyzerStillRuns) {
    hook.Proc(properties.map(), SessionOpen, Uninstall, nullptr);
    EXPECT_EQ(Recorded(), CommandLine());
}

// An analyzer still running when its wait ends is logged with 259 and left
// running; the test then ends it itself. (The real 30-second wait is proven
// once, among the proof runs.)

TEST_F(AnalyzerTest, AnalyzerOutlivingTimeoutIsLeftRunning) {
    SetEnvironmentVariableW(L"VLX_CHILD_SLEEP", L"45000");
    ImportPatch<decltype(WaitForSingleObject)> timesOut(hook.module(), "WaitForSingleObject", [&](HANDLE, DWORD ms) {
        waits.push_back(ms);
        return DWORD{WAIT_TIMEOUT};
    });
    CreateProcessRecorder recorder(hook.module(), Children::kStart);
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), SessionOpen, Uninstall), 0);
    SetEnvironmentVariableW(L"VLX_CHILD_SLEEP", nullptr);
    EXPECT_EQ(ActionLines(capture.lines(), kStopAnalyzerFrame), Analyzer("259"));
    EXPECT_EQ(waits, std::vector<DWORD>{30000});
    ASSERT_EQ(recorder.calls().size(), 1u);
    EXPECT_TRUE(EndIfRunning(recorder.calls()[0].process)) << "still running";
}

}  // namespace
