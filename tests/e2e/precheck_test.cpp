// The install pre-check: the 32-bit installer of this product is refused on
// 64-bit Windows (the win64 prefix) and let through on 32-bit Windows; any
// other product, or a failing 64-bit query, is let through everywhere.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"

namespace {

const char kEntry[] = "In InstallPreSystemCheckProc";

struct PreCheckCase {
    const char* name;
    const char* productName;  // null: no ProductName at all
    bool nullValue;
    bool nullMap;
    bool callback;
    bool wow64Fails;
};

class PreCheckTest : public testing::TestWithParam<PreCheckCase> {};

TEST_P(PreCheckTest, RefusesThisProductOnlyOn64BitWindows) {
    const PreCheckCase& c = GetParam();
    HookDll hook;
    ImportPatch<decltype(IsWow64Process)> wow64(hook.module(), "IsWow64Process", [&](auto process, auto answer) {
        if (!c.wow64Fails) {
            return wow64.original()(process, answer);
        }
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    });
    PropertyMapBuilder properties;
    if (c.nullValue) {
        properties.SetNull("ProductName");
    } else if (c.productName != nullptr) {
        properties.Set("ProductName", c.productName);
    }
    const bool thisProduct = c.productName != nullptr && std::string(c.productName) == VLX_PRODUCT_NAME;
    const bool refused = thisProduct && InWin64Prefix() && !c.wow64Fails;
    LogCapture capture;

    EXPECT_EQ(hook.Proc(c.nullMap ? nullptr : properties.map(), PreSystemCheck, Install,
                        c.callback ? LogCapture::Callback : nullptr),
              refused ? 6 : 0);
    const Lines expected = refused       ? RefusedOn64BitLines()
                           : thisProduct ? AllowedOn32BitLines()
                           : c.nullMap   ? L4s({kEntry, "Property map is not initialized."})
                                         : L4s({kEntry});
    EXPECT_EQ(capture.lines(), c.callback ? expected : Lines{});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PreCheckTest,
    testing::Values(PreCheckCase{"ThisProduct", VLX_PRODUCT_NAME, false, false, true, false},
                    PreCheckCase{"ThisProductNoCallback", VLX_PRODUCT_NAME, false, false, false, false},
                    PreCheckCase{"FailingWow64Query", VLX_PRODUCT_NAME, false, false, true, true},
                    PreCheckCase{"LetterCase", "kestrune montavo fablio 15", false, false, true, false},
                    PreCheckCase{"TrailingBlank", VLX_PRODUCT_NAME " ", false, false, true, false},
                    PreCheckCase{"OtherVersion", "Kestrune Montavo Fablio 16", false, false, true, false},
                    PreCheckCase{"Missing", nullptr, false, false, true, false},
                    PreCheckCase{"NullValue", nullptr, true, false, true, false},
                    PreCheckCase{"NullMap", nullptr, false, true, true, false}),
    [](const testing::TestParamInfo<PreCheckCase>& info) { return std::string(info.param.name); });

}  // namespace
