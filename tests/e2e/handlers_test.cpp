// The fifteen phase handlers reached through the exported dispatcher.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/hook_dll.h"
#include "tests/support/phases.h"
#include "tests/support/processes.h"

namespace {

class HandlerTest : public testing::TestWithParam<PhaseFacts> {};

// Every handler logs its entry line before any line of its actions and
// returns 0 (the install pre-check 6 on 64-bit Windows: the reinstall and
// uninstall pre-checks check nothing); only the reinstall and uninstall
// SessionOpen handlers pause, for 5000 ms.
TEST_P(HandlerTest, LogsEntryLineFirstAndReturnsItsResult) {
    const PhaseFacts& phase = GetParam();
    HookDll hook;
    const PauseRecorder pauses(hook.module());
    // No install folder, so that no action touches files or runs programs.
    PropertyMapBuilder properties = ProductWithoutInstallDir();
    const Lines lines = hook.Logged(properties.map(), phase.entry, phase.mode, ExpectedResult(phase));
    EXPECT_TRUE(FramesInOrder(lines, phase));
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_NE(lines[i].text.rfind("In ", 0), 0u) << "second entry line: " << lines[i].text;
        EXPECT_NE(lines[i].text.rfind("VLX: In ", 0), 0u) << "second entry line: " << lines[i].text;
    }
    EXPECT_EQ(pauses.pauses(), phase.pauseMilliseconds ? std::vector<DWORD>{phase.pauseMilliseconds}
                                                       : std::vector<DWORD>{});
}

INSTANTIATE_TEST_SUITE_P(AllPhases, HandlerTest, testing::ValuesIn(AllPhases()),
                         [](const testing::TestParamInfo<PhaseFacts>& info) { return std::string(info.param.name); });

}  // namespace
