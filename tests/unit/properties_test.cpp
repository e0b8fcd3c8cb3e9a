#include <gtest/gtest.h>

#include <windows.h>

#include <utility>
#include <vector>
#include <string>

#include "hook/product.h"
#include "hook/properties.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/log_capture.h"

namespace {

const char kUnset[] = "unset";

struct LookupCase {
    const char* name;
    std::vector<std::pair<const char*, const char*>> entries;
    const char* lookup;
    const char* value;  // null: not found
};

class GetPropertyTest : public testing::TestWithParam<LookupCase> {};

TEST_P(GetPropertyTest, FindsExactNameFirstMatchAndLogsNothing) {
    const LookupCase& c = GetParam();
    PropertyMapBuilder builder;
    for (const auto& entry : c.entries) {
        builder.Set(entry.first, entry.second);
    }
    const HookContext context = TestContext(builder.map());
    LogCapture capture;
    const char* value = kUnset;

    EXPECT_EQ(GetProperty(&context, c.lookup, &value), c.value != nullptr);
    EXPECT_STREQ(value, c.value != nullptr ? c.value : kUnset);
    EXPECT_TRUE(capture.lines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Maps, GetPropertyTest,
    testing::Values(
        LookupCase{"EmptyMap", {}, "INSTALLDIR", nullptr},
        LookupCase{"FirstOfTwoWins", {{"INSTALLDIR", "C:\\A"}, {"INSTALLDIR", "C:\\B"}}, "INSTALLDIR", "C:\\A"},
        LookupCase{"LowerCaseMatchesNothing", {{"INSTALLDIR", "C:\\A"}}, "installdir", nullptr},
        LookupCase{"TrailingBlankMatchesNothing", {{"INSTALLDIR ", "C:\\A"}}, "INSTALLDIR", nullptr},
        LookupCase{"PrefixMatchesNothing", {{"INSTALLDIRX", "C:\\A"}}, "INSTALLDIR", nullptr},
        LookupCase{"LastEntryFound", {{"A", "1"}, {"B", "2"}, {"ProductName", VLX_PRODUCT_NAME}}, "ProductName",
                   VLX_PRODUCT_NAME}),
    [](const testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.name); });

TEST(GetPropertyTest, ArgumentAndMapChecksLogTheirMessage) {
    LogCapture capture;
    PropertyMapBuilder builder;
    builder.Set("INSTALLDIR", "C:\\A");
    const HookContext withMap = TestContext(builder.map());
    const HookContext noMap = TestContext(nullptr);
    const char* value = kUnset;

    EXPECT_FALSE(GetProperty(&withMap, nullptr, &value));
    EXPECT_FALSE(GetProperty(&withMap, "INSTALLDIR", nullptr));
    EXPECT_FALSE(GetProperty(&noMap, "INSTALLDIR", &value));
    EXPECT_FALSE(GetProperty(&noMap, "INSTALLDIR", &value));
    EXPECT_STREQ(value, kUnset);
    EXPECT_EQ(capture.lines(), L4s({"NULL pointer passed as property name.", "NULL pointer passed for property name.",
                                    "Property map is not initialized.", "Property map is not initialized."}));
}

// INSTALLDIR as the host gives it -> the install folder, or the line that
// says why there is none. The lookup's lines come first: "Extracting
// INSTALLDIR..." and the value itself.
struct InstallDirCase {
    const char* name;
    std::string value;     // "<missing>", "<null>", "<no map>": no value at all
    std::wstring folder;   // empty: not available
    const char* why;       // the line that says why not
};

class GetInstallDirTest : public testing::TestWithParam<InstallDirCase> {};

const char kNotFull[] = "VLX: INSTALLDIR is not a full path. Install folder not available.";
const char kTooLong[] = "VLX: INSTALLDIR is too long. Install folder not available.";
const char kNotFound[] = "VLX: INSTALLDIR not found. Install folder not available.";

TEST_P(GetInstallDirTest, BuildsApplicationFolder) {
    const InstallDirCase& c = GetParam();
    PropertyMapBuilder builder;
    const bool noValue = c.value[0] == '<';
    if (c.value == "<null>") {
        builder.SetNull("INSTALLDIR");
    } else if (!noValue) {
        builder.Set("INSTALLDIR", c.value);
    }
    const HookContext context = TestContext(c.value == "<no map>" ? nullptr : builder.map());
    LogCapture capture;
    wchar_t folder[kPathChars];
    wcscpy(folder, L"previous");

    EXPECT_EQ(GetInstallDir(&context, folder), !c.folder.empty());
    EXPECT_EQ(std::wstring(folder), c.folder);
    Lines expected = c.value == "<no map>" ? L4s({"Property map is not initialized."}) : Lines{};
    expected = expected + L4s({"Extracting INSTALLDIR..."}) + (noValue ? Lines{} : L4s({c.value}));
    EXPECT_EQ(capture.lines(), c.why != nullptr ? expected + L4s({c.why}) : expected);
}

const std::string k232 = "C:\\" + std::string(229, 'p');  // a folder of 232 characters
const std::wstring kApp = L"\\" VLX_PRODUCT_NAME;

INSTANTIATE_TEST_SUITE_P(
    Values, GetInstallDirTest,
    testing::Values(
        InstallDirCase{"Plain", "C:\\Apps", L"C:\\Apps" + kApp, nullptr},
        InstallDirCase{"TrailingBackslashRemoved", "C:\\Apps\\", L"C:\\Apps" + kApp, nullptr},
        InstallDirCase{"OnlyOneOfTwoBackslashesRemoved", "C:\\Apps\\\\", L"C:\\Apps\\" + kApp, nullptr},
        InstallDirCase{"DriveRootKeepsBackslash", "D:\\", L"D:\\" + kApp, nullptr},
        InstallDirCase{"NonAsciiFromUtf8", "C:\\Programme\\K\xC3\xBChn \xE6\x97\xA5\xE6\x9C\xAC",
                       L"C:\\Programme\\K\u00fchn \u65e5\u672c" + kApp, nullptr},
        InstallDirCase{"UncShare", "\\\\srv\\apps", L"\\\\srv\\apps" + kApp, nullptr},
        InstallDirCase{"Longest232Fits", k232, FromUtf8(k232) + kApp, nullptr},
        InstallDirCase{"Longest232WithBackslashFits", k232 + "\\", FromUtf8(k232) + kApp, nullptr},
        InstallDirCase{"TooLong233", k232 + "q", L"", kTooLong},
        InstallDirCase{"TooLongForTheCopy", std::string(600, 'r'), L"", kTooLong},
        InstallDirCase{"Relative", "Apps", L"", kNotFull},
        InstallDirCase{"RootOnly", "\\", L"", kNotFull},
        InstallDirCase{"RootRelative", "\\Apps", L"", kNotFull},
        InstallDirCase{"DriveRelative", "C:Apps", L"", kNotFull},
        InstallDirCase{"UncWithoutShare", "\\\\srv\\", L"", kNotFull},
        // Characters Windows refuses in a name, and device paths: a
        // quotation mark would put switches onto the registration tool's
        // command line.
        InstallDirCase{"QuotationMark", "C:\\Apps\" /u /s \"x", L"", kNotFull},
        InstallDirCase{"Angles", "C:\\A<b>", L"", kNotFull},
        InstallDirCase{"Pipe", "C:\\A|b", L"", kNotFull},
        InstallDirCase{"Wildcards", "C:\\A*?", L"", kNotFull},
        InstallDirCase{"ControlCharacter", "C:\\A\tb", L"", kNotFull},
        InstallDirCase{"StreamColon", "C:\\Apps:stream", L"", kNotFull},
        InstallDirCase{"ColonInShare", "\\\\srv\\share:x", L"", kNotFull},
        InstallDirCase{"DevicePath", "\\\\.\\C:\\Apps", L"", kNotFull},
        InstallDirCase{"DeviceWithoutColon", "\\\\.\\pipe\\x", L"", kNotFull},
        InstallDirCase{"LiteralPath", "\\\\?\\C:\\Apps", L"", kNotFull},
        InstallDirCase{"LiteralUncPath", "\\\\?\\UNC\\srv\\share", L"", kNotFull},
        InstallDirCase{"Empty", "", L"", "VLX: INSTALLDIR is empty. Install folder not available."},
        InstallDirCase{"Missing", "<missing>", L"", kNotFound},
        InstallDirCase{"NullValue", "<null>", L"", kNotFound},
        InstallDirCase{"NullMap", "<no map>", L"", kNotFound}),
    [](const testing::TestParamInfo<InstallDirCase>& info) { return std::string(info.param.name); });

std::wstring Converted(const char* text, Conversion expected) {
    HeapArray<wchar_t> wide;
    EXPECT_EQ(Utf8ToWide(text, &wide), expected) << text;
    return wide.valid() ? std::wstring(wide.get()) : std::wstring(L"<none>");
}

TEST(Utf8ToWideTest, ConvertsAndReplacesInvalidBytes) {
    EXPECT_EQ(Converted("", Conversion::kEmpty), L"<none>");
    EXPECT_EQ(Converted("C:\\K\xC3\xBChn", Conversion::kConverted), L"C:\\K\u00fchn");
    EXPECT_EQ(Converted("a\xFF" "b", Conversion::kConverted), L"a\uFFFDb");
}

// A failed conversion is not an empty INSTALLDIR: it says so, and no folder
// is made from it.
TEST(Utf8ToWideTest, FailedConversionLeavesNoInstallFolder) {
    ImportPatch<decltype(MultiByteToWideChar)> patch(GetModuleHandleW(nullptr), "MultiByteToWideChar", [](auto...) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    });
    EXPECT_EQ(Converted("C:\\Apps", Conversion::kFailed), L"<none>");
    PropertyMapBuilder builder;
    builder.Set("INSTALLDIR", "C:\\Apps");
    const HookContext context = TestContext(builder.map());
    LogCapture capture;
    wchar_t folder[kPathChars] = L"previous";
    EXPECT_FALSE(GetInstallDir(&context, folder));
    EXPECT_EQ(std::wstring(folder), L"");
    EXPECT_EQ(capture.lines(), L4s({"Extracting INSTALLDIR...", "C:\\Apps",
                                    "VLX: INSTALLDIR could not be converted. Install folder not available."}));
}

}  // namespace
