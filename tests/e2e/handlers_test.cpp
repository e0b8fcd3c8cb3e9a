// The fifteen phase handlers reached through the exported dispatcher.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/environment.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/property_map.h"

namespace {

std::vector<DWORD> g_sleeps;

VOID WINAPI RecordSleep(DWORD milliseconds) {
    g_sleeps.push_back(milliseconds);
}

struct HandlerCase {
    const char* name;
    int32_t installMode;
    uint32_t entryMode;
    const char* entryLine;
    std::vector<DWORD> sleeps;
};

class HandlerTest : public testing::TestWithParam<HandlerCase> {};

// Every handler logs its entry line before any line of its actions, and
// returns 0; only the reinstall and uninstall SessionOpen handlers pause, for
// 5000 ms.
TEST_P(HandlerTest, LogsEntryLineAndReturnsZero) {
    const HandlerCase& c = GetParam();
    HookDll hook;
    ImportPatch sleep(hook.module(), "kernel32.dll", "Sleep", &RecordSleep);
    ASSERT_TRUE(sleep.applied());
    g_sleeps.clear();
    // Another product, so that the install pre-check checks nothing further;
    // no install folder, so that no action touches files or runs programs.
    PropertyMapBuilder properties;
    properties.Set("ProductName", "Another Product");
    LogCapture capture;

    EXPECT_EQ(hook.Proc(properties.map(), c.entryMode, c.installMode), 0);
    ASSERT_FALSE(capture.lines().empty());
    EXPECT_EQ(capture.lines().front(), L4(c.entryLine));
    for (size_t i = 1; i < capture.lines().size(); ++i) {
        EXPECT_NE(capture.lines()[i].text.find("In "), 0u) << "second entry line";
        EXPECT_EQ(capture.lines()[i].text.find("VLX: In "), std::string::npos) << "second entry line";
    }
    EXPECT_EQ(g_sleeps, c.sleeps);
}

const std::vector<DWORD> kNoPause;
const std::vector<DWORD> kSettlePause = {5000};

INSTANTIATE_TEST_SUITE_P(
    AllPhases, HandlerTest,
    testing::Values(
        HandlerCase{"InstallPreSystemCheck", 0, 0, "In InstallPreSystemCheckProc", kNoPause},
        HandlerCase{"InstallPrePayload", 0, 1, "In PrePayloadInstallProc", kNoPause},
        HandlerCase{"InstallPostPayload", 0, 2, "VLX: In PostPayloadInstallProc", kNoPause},
        HandlerCase{"InstallSessionOpen", 0, 3, "In InstallSessionOpenProc", kNoPause},
        HandlerCase{"InstallSessionClose", 0, 4, "In InstallSessionCloseProc", kNoPause},
        HandlerCase{"ReinstallPreSystemCheck", 1, 0, "In ReinstallPreSystemCheckProc", kNoPause},
        HandlerCase{"ReinstallPrePayload", 1, 1, "In PrePayloadReinstallProc", kNoPause},
        HandlerCase{"ReinstallPostPayload", 1, 2, "In PostPayloadReinstallProc", kNoPause},
        HandlerCase{"ReinstallSessionOpen", 1, 3, "In ReinstallSessionOpenProc", kSettlePause},
        HandlerCase{"ReinstallSessionClose", 1, 4, "In ReinstallSessionCloseProc", kNoPause},
        HandlerCase{"UninstallPreSystemCheck", 2, 0, "In UninstallPreSystemCheckProc", kNoPause},
        HandlerCase{"UninstallPrePayload", 2, 1, "VLX: In PrePayloadUninstallProc", kNoPause},
        HandlerCase{"UninstallPostPayload", 2, 2, "In PostPayloadUninstallProc", kNoPause},
        HandlerCase{"UninstallSessionOpen", 2, 3, "In UninstallSessionOpenProc", kSettlePause},
        HandlerCase{"UninstallSessionClose", 2, 4, "In UninstallSessionCloseProc", kNoPause}),
    [](const testing::TestParamInfo<HandlerCase>& info) { return std::string(info.param.name); });

// The pause is real: measured from outside, with the platform's own Sleep.
class SessionOpenPauseTest : public testing::TestWithParam<int32_t> {};

TEST_P(SessionOpenPauseTest, ReturnsNoEarlierThan5000Ms) {
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;
    const double start = NowMilliseconds();
    EXPECT_EQ(hook.Proc(properties.map(), 3, GetParam()), 0);
    const double elapsed = NowMilliseconds() - start;
    // Sleep may end up to a clock tick early on some systems.
    EXPECT_GE(elapsed, 4984.0);
    EXPECT_LT(elapsed, 7000.0);
}

INSTANTIATE_TEST_SUITE_P(Modes, SessionOpenPauseTest, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int32_t>& info) {
                             return std::string(info.param == 1 ? "Reinstall" : "Uninstall");
                         });

}  // namespace
