// The exported entry points of the built DLL, as the installer host calls them.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/hook_dll.h"
#include "tests/support/processes.h"
#include "tests/support/shell.h"

namespace {

// Modes that name no phase, passed to the export as the host would.
struct RefusalCase {
    const char* name;
    int32_t installMode;
    uint32_t entryMode;
    int32_t result;
    const char* line;
};

class UnsupportedModeTest : public testing::TestWithParam<RefusalCase> {};

// One line with a callback, nothing without one; the same code either way.
TEST_P(UnsupportedModeTest, ReturnsCodeWithOneLine) {
    const RefusalCase& c = GetParam();
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    for (const LogCallback callback : {LogCallback(LogCapture::Callback), LogCallback(nullptr)}) {
        LogCapture capture;
        EXPECT_EQ(hook.ProcV2()(properties.map(), c.entryMode, c.installMode, 0, callback), c.result);
        EXPECT_EQ(capture.lines(), callback != nullptr ? std::vector<LogLine>{L4(c.line)} : std::vector<LogLine>{});
    }
}

const char kBadInstallMode[] = "Unsupported install mode specified.";
const char kBadEntryMode[] = "Unsupported entry mode specified.";

INSTANTIATE_TEST_SUITE_P(
    Modes, UnsupportedModeTest,
    testing::Values(RefusalCase{"InstallMode3", 3, PreSystemCheck, 3, kBadInstallMode},
                    RefusalCase{"InstallModeMinus1", -1, PostPayload, 3, kBadInstallMode},
                    RefusalCase{"InstallModeCheckedFirst", 9, 9, 3, kBadInstallMode},
                    RefusalCase{"EntryMode5", Install, 5, 4, kBadEntryMode},
                    RefusalCase{"EntryModeAllOnes", Install, 0xFFFFFFFFu, 4, kBadEntryMode},
                    RefusalCase{"UninstallEntryMode5", Uninstall, 5, 4, kBadEntryMode}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST(SessionExportsTest, InitAndCloseReturnZeroEveryTime) {
    HookDll hook;
    LogCapture capture;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(hook.CloseSession(), 0);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(hook.InitSession(), 0);
    }
    EXPECT_TRUE(capture.lines().empty());
}

TEST(HostValueTest, HasNoEffectOnResultOrLines) {
    ShortcutState state;
    HookDll hook;
    CreateProcessRecorder noTools(hook.module(), Children::kRefuse);
    PropertyMapBuilder properties = ProductProperties();
    for (uint32_t entryMode : {0u, 1u, 2u, 4u, 7u}) {
        SCOPED_TRACE(entryMode);
        std::vector<LogLine> first;
        int32_t firstResult = 0;
        {
            LogCapture capture;
            firstResult = hook.ProcV2()(properties.map(), entryMode, Install, 0, LogCapture::Callback);
            first = capture.lines();
        }
        LogCapture capture;
        EXPECT_EQ(hook.ProcV2()(properties.map(), entryMode, Install, 0xDEADBEEF, LogCapture::Callback),
                  firstResult);
        EXPECT_EQ(capture.lines(), first);
    }
}

}  // namespace
