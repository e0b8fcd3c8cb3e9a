// The install pre-check: the 32-bit installer of this product is refused on
// 64-bit Windows (the win64 prefix) and let through on 32-bit Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/property_map.h"

namespace {

const char kEntry[] = "In InstallPreSystemCheckProc";

TEST(PreCheckTest, ThisProductIsRefusedOnlyOn64BitWindows) {
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;
    const int32_t result = hook.Proc(properties.map(), PreSystemCheck, Install);
    EXPECT_EQ(result, InWin64Prefix() ? 6 : 0);
    EXPECT_EQ(capture.lines(), InWin64Prefix() ? RefusedOn64BitLines() : AllowedOn32BitLines());
}

TEST(PreCheckTest, NullCallbackStillRefusesOn64BitWindows) {
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), PreSystemCheck, Install, nullptr), InWin64Prefix() ? 6 : 0);
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
    EXPECT_EQ(hook.Proc(c.nullMap ? nullptr : properties.map(), PreSystemCheck, Install), 0);
    EXPECT_EQ(capture.lines(), c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PreCheckOtherProductTest,
    testing::Values(
        OtherProductCase{"LetterCase",
                         [](PropertyMapBuilder& b) { b.Set("ProductName", "kestrune montavo fablio 15"); },
                         false, {L4(kEntry)}},
        OtherProductCase{"TrailingBlank",
                         [](PropertyMapBuilder& b) { b.Set("ProductName", VLX_PRODUCT_NAME " "); },
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
class PreCheckOtherModesTest : public testing::TestWithParam<InstallMode> {};

TEST_P(PreCheckOtherModesTest, AlwaysZero) {
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), PreSystemCheck, GetParam()), 0);
    EXPECT_EQ(capture.lines().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Modes, PreCheckOtherModesTest, testing::Values(Reinstall, Uninstall),
                         [](const testing::TestParamInfo<InstallMode>& info) {
                             return std::string(info.param == Reinstall ? "Reinstall" : "Uninstall");
                         });

BOOL WINAPI FailIsWow64Process(HANDLE, PBOOL) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST(PreCheckTest, FailingWow64QueryLetsThrough) {
    HookDll hook;
    ImportPatch<decltype(IsWow64Process)> patch(hook.module(), "kernel32.dll", "IsWow64Process",
                                                &FailIsWow64Process);
    ASSERT_TRUE(patch.applied());
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), PreSystemCheck, Install), 0);
    EXPECT_EQ(capture.lines(), AllowedOn32BitLines());
}

TEST(PrefixTest, Wow64MatchesThePrefix) {
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64 != FALSE, InWin64Prefix());
}

}  // namespace
