// The install pre-check: the 32-bit installer of this product is refused on
// 64-bit Windows (the win64 prefix) and let through on 32-bit Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "tests/support/environment.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/property_map.h"

namespace {

const char kEntry[] = "In InstallPreSystemCheckProc";
const char kRunning[] = "VLX: 32 bit installer running";
const char kOn64[] = "VLX: 32 installer running on Win7 and above 64 bit machine";
const char kUserMessage[] =
    "This installer does not support installation on a 64-Bit Windows operating system. "
    "Please download the 64-Bit version of Montavo Fablio.";

std::vector<LogLine> RefusalLines() {
    return {L4(kEntry), L4(kRunning), L4(kOn64), LogLine{2, kUserMessage}};
}

TEST(PreCheckTest, ThisProductIsRefusedOnlyOn64BitWindows) {
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;
    const int32_t result = hook.Proc(properties.map(), 0, 0);
    if (InWin64Prefix()) {
        EXPECT_EQ(result, 6);
        EXPECT_EQ(capture.lines(), RefusalLines());
    } else {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(capture.lines(), (std::vector<LogLine>{L4(kEntry), L4(kRunning)}));
    }
}

TEST(PreCheckTest, NullCallbackStillRefusesOn64BitWindows) {
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), 0, 0, nullptr), InWin64Prefix() ? 6 : 0);
    EXPECT_TRUE(capture.lines().empty());
}

// Anything but the exact product name is another product: result 0 and the
// entry line alone, on every Windows.
struct OtherProductCase {
    const char* name;
    std::function<void(PropertyMapBuilder&)> fill;
    bool nullMap;
    std::vector<LogLine> lines;
};

class PreCheckOtherProductTest : public testing::TestWithParam<OtherProductCase> {};

TEST_P(PreCheckOtherProductTest, LetsThrough) {
    const OtherProductCase& c = GetParam();
    HookDll hook;
    PropertyMapBuilder properties;
    c.fill(properties);
    LogCapture capture;
    EXPECT_EQ(hook.Proc(c.nullMap ? nullptr : properties.map(), 0, 0), 0);
    EXPECT_EQ(capture.lines(), c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PreCheckOtherProductTest,
    testing::Values(
        OtherProductCase{"LetterCase",
                         [](PropertyMapBuilder& b) { b.Set("ProductName", "kestrune montavo fablio 15"); },
                         false, {L4(kEntry)}},
        OtherProductCase{"TrailingBlank",
                         [](PropertyMapBuilder& b) { b.Set("ProductName", "Kestrune Montavo Fablio 15 "); },
                         false, {L4(kEntry)}},
        OtherProductCase{"OtherVersion",
                         [](PropertyMapBuilder& b) { b.Set("ProductName", "Kestrune Montavo Fablio 16"); },
                         false, {L4(kEntry)}},
        OtherProductCase{"Missing", [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "C:\\A"); }, false,
                         {L4(kEntry)}},
        OtherProductCase{"NullValue", [](PropertyMapBuilder& b) { b.SetNull("ProductName"); }, false,
                         {L4(kEntry)}},
        OtherProductCase{"NullMap", [](PropertyMapBuilder&) {}, true,
                         {L4(kEntry), L4("Property map is not initialized.")}}),
    [](const testing::TestParamInfo<OtherProductCase>& info) { return std::string(info.param.name); });

// Reinstall and uninstall check nothing, even for this product on 64-bit.
class PreCheckOtherModesTest : public testing::TestWithParam<int32_t> {};

TEST_P(PreCheckOtherModesTest, AlwaysZero) {
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), 0, GetParam()), 0);
    EXPECT_EQ(capture.lines().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Modes, PreCheckOtherModesTest, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int32_t>& info) {
                             return std::string(info.param == 1 ? "Reinstall" : "Uninstall");
                         });

BOOL WINAPI FailIsWow64Process(HANDLE, PBOOL) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST(PreCheckTest, FailingWow64QueryLetsThrough) {
    HookDll hook;
    ImportPatch patch(hook.module(), "kernel32.dll", "IsWow64Process", &FailIsWow64Process);
    ASSERT_TRUE(patch.applied());
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), 0, 0), 0);
    EXPECT_EQ(capture.lines(), (std::vector<LogLine>{L4(kEntry), L4(kRunning)}));
}

TEST(PrefixTest, Wow64MatchesThePrefix) {
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64 != FALSE, InWin64Prefix());
}

}  // namespace
