// The fifteen phase handlers reached through the exported dispatcher.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/environment.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/phases.h"
#include "tests/support/property_map.h"

namespace {

std::vector<DWORD> g_sleeps;

VOID WINAPI RecordSleep(DWORD milliseconds) {
    g_sleeps.push_back(milliseconds);
}

class HandlerTest : public testing::TestWithParam<PhaseFacts> {};

// Every handler logs its entry line before any line of its actions, and
// returns 0; only the reinstall and uninstall SessionOpen handlers pause, for
// 5000 ms.
TEST_P(HandlerTest, LogsEntryLineAndReturnsZero) {
    const PhaseFacts& phase = GetParam();
    HookDll hook;
    ImportPatch<decltype(Sleep)> sleep(hook.module(), "kernel32.dll", "Sleep", &RecordSleep);
    ASSERT_TRUE(sleep.applied());
    g_sleeps.clear();
    // Another product, so that the install pre-check checks nothing further;
    // no install folder, so that no action touches files or runs programs.
    PropertyMapBuilder properties;
    properties.Set("ProductName", "Another Product");
    LogCapture capture;

    EXPECT_EQ(hook.Proc(properties.map(), phase.entry, phase.mode), 0);
    EXPECT_TRUE(FramesInOrder(capture.lines(), phase));
    for (size_t i = 1; i < capture.lines().size(); ++i) {
        SCOPED_TRACE(capture.lines()[i].text);
        EXPECT_NE(capture.lines()[i].text.find("In "), 0u) << "second entry line";
        EXPECT_EQ(capture.lines()[i].text.find("VLX: In "), std::string::npos) << "second entry line";
    }
    EXPECT_EQ(g_sleeps, phase.pauseMilliseconds ? std::vector<DWORD>{phase.pauseMilliseconds}
                                                : std::vector<DWORD>{});
}

INSTANTIATE_TEST_SUITE_P(AllPhases, HandlerTest, testing::ValuesIn(AllPhases()),
                         [](const testing::TestParamInfo<PhaseFacts>& info) {
                             return std::string(info.param.name);
                         });

// The pause is real: measured from outside, with the platform's own Sleep.
// The other tests record it.
TEST(SessionOpenPauseTest, ReturnsNoEarlierThan5000Ms) {
    HookDll hook;
    PropertyMapBuilder properties = ProductWithoutInstallDir();
    LogCapture capture;
    const double start = NowMilliseconds();
    EXPECT_EQ(hook.Proc(properties.map(), SessionOpen, Uninstall), 0);
    const double elapsed = NowMilliseconds() - start;
    // Sleep may end up to a clock tick early on some systems.
    EXPECT_GE(elapsed, 4984.0);
    EXPECT_LT(elapsed, 7000.0);
}

}  // namespace
