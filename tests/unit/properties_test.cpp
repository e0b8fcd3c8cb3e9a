#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "hook/product.h"
#include "hook/properties.h"
#include "tests/support/context.h"
#include "tests/support/environment.h"
#include "tests/support/iat_patch.h"
#include "tests/support/property_map.h"

namespace {

const char kUnset[] = "unset";

struct LookupCase {
    const char* name;
    std::function<void(PropertyMapBuilder&)> fill;
    const char* lookup;
    bool found;
    std::string value;
};

class GetPropertyTest : public testing::TestWithParam<LookupCase> {};

TEST_P(GetPropertyTest, FindsExactNameFirstMatchAndLogsNothing) {
    const LookupCase& c = GetParam();
    PropertyMapBuilder builder;
    c.fill(builder);
    const HookContext context = TestContext(builder.map());
    LogCapture capture;
    const char* value = kUnset;

    EXPECT_EQ(GetProperty(&context, c.lookup, &value), c.found);
    EXPECT_EQ(std::string(value), c.found ? c.value : std::string(kUnset));
    EXPECT_TRUE(capture.lines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Maps, GetPropertyTest,
    testing::Values(
        LookupCase{"EmptyMap", [](PropertyMapBuilder&) {}, "INSTALLDIR", false, ""},
        LookupCase{"FirstOfTwoWins",
                   [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "C:\\A").Set("INSTALLDIR", "C:\\B"); },
                   "INSTALLDIR", true, "C:\\A"},
        LookupCase{"LowerCaseMatchesNothing",
                   [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "C:\\A"); }, "installdir", false, ""},
        LookupCase{"TrailingBlankMatchesNothing",
                   [](PropertyMapBuilder& b) { b.Set("INSTALLDIR ", "C:\\A"); }, "INSTALLDIR", false, ""},
        LookupCase{"PrefixMatchesNothing",
                   [](PropertyMapBuilder& b) { b.Set("INSTALLDIRX", "C:\\A"); }, "INSTALLDIR", false, ""},
        LookupCase{"LastEntryFound",
                   [](PropertyMapBuilder& b) {
                       b.Set("A", "1").Set("B", "2").Set("ProductName", VLX_PRODUCT_NAME);
                   },
                   "ProductName", true, VLX_PRODUCT_NAME}),
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
    EXPECT_EQ(capture.lines(), (std::vector<LogLine>{L4("NULL pointer passed as property name."),
                                                     L4("NULL pointer passed for property name."),
                                                     L4("Property map is not initialized."),
                                                     L4("Property map is not initialized.")}));
}

// INSTALLDIR as the host gives it -> the install folder and the log lines.
struct InstallDirCase {
    const char* name;
    std::function<void(PropertyMapBuilder&)> fill;
    bool nullMap;
    bool available;
    std::wstring folder;
    std::vector<LogLine> lines;
};

class GetInstallDirTest : public testing::TestWithParam<InstallDirCase> {};

std::vector<LogLine> NotFullPath(const std::string& value) {
    return {L4("Extracting INSTALLDIR..."), L4(value),
            L4("VLX: INSTALLDIR is not a full path. Install folder not available.")};
}

TEST_P(GetInstallDirTest, BuildsApplicationFolder) {
    const InstallDirCase& c = GetParam();
    PropertyMapBuilder builder;
    c.fill(builder);
    const HookContext context = TestContext(c.nullMap ? nullptr : builder.map());
    LogCapture capture;
    wchar_t folder[kPathChars];
    wcscpy(folder, L"previous");

    EXPECT_EQ(GetInstallDir(&context, folder), c.available);
    EXPECT_EQ(std::wstring(folder), c.folder);
    EXPECT_EQ(capture.lines(), c.lines);
}

const std::string k232 = "C:\\" + std::string(229, 'p');  // a folder of 232 characters

INSTANTIATE_TEST_SUITE_P(
    Values, GetInstallDirTest,
    testing::Values(
        InstallDirCase{"Plain", [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "C:\\Apps"); }, false,
                       true, L"C:\\Apps\\" VLX_PRODUCT_NAME,
                       {L4("Extracting INSTALLDIR..."), L4("C:\\Apps")}},
        InstallDirCase{"TrailingBackslashRemoved",
                       [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "C:\\Apps\\"); }, false, true,
                       L"C:\\Apps\\" VLX_PRODUCT_NAME,
                       {L4("Extracting INSTALLDIR..."), L4("C:\\Apps\\")}},
        InstallDirCase{"OnlyOneOfTwoBackslashesRemoved",
                       [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "C:\\Apps\\\\"); }, false, true,
                       L"C:\\Apps\\\\" VLX_PRODUCT_NAME,
                       {L4("Extracting INSTALLDIR..."), L4("C:\\Apps\\\\")}},
        InstallDirCase{"DriveRootKeepsBackslash",
                       [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "D:\\"); }, false, true,
                       L"D:\\\\" VLX_PRODUCT_NAME,
                       {L4("Extracting INSTALLDIR..."), L4("D:\\")}},
        InstallDirCase{"NonAsciiFromUtf8",
                       [](PropertyMapBuilder& b) {
                           b.Set("INSTALLDIR", "C:\\Programme\\K\xC3\xBChn \xE6\x97\xA5\xE6\x9C\xAC");
                       },
                       false, true, L"C:\\Programme\\K\u00fchn \u65e5\u672c\\" VLX_PRODUCT_NAME,
                       {L4("Extracting INSTALLDIR..."),
                        L4("C:\\Programme\\K\xC3\xBChn \xE6\x97\xA5\xE6\x9C\xAC")}},
        InstallDirCase{"Longest232Fits",
                       [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", k232); }, false, true,
                       L"C:\\" + std::wstring(229, L'p') + L"\\" VLX_PRODUCT_NAME,
                       {L4("Extracting INSTALLDIR..."), L4(k232)}},
        InstallDirCase{"Longest232WithBackslashFits",
                       [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", k232 + "\\"); }, false,
                       true, L"C:\\" + std::wstring(229, L'p') + L"\\" VLX_PRODUCT_NAME,
                       {L4("Extracting INSTALLDIR..."), L4(k232 + "\\")}},
        InstallDirCase{"TooLong233",
                       [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", k232 + "q"); }, false,
                       false, L"",
                       {L4("Extracting INSTALLDIR..."), L4(k232 + "q"),
                        L4("VLX: INSTALLDIR is too long. Install folder not available.")}},
        InstallDirCase{"TooLongForTheCopy",
                       [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", std::string(600, 'r')); },
                       false, false, L"",
                       {L4("Extracting INSTALLDIR..."), L4(std::string(600, 'r')),
                        L4("VLX: INSTALLDIR is too long. Install folder not available.")}},
        InstallDirCase{"UncShare", [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "\\\\srv\\apps"); },
                       false, true, L"\\\\srv\\apps\\" VLX_PRODUCT_NAME,
                       {L4("Extracting INSTALLDIR..."), L4("\\\\srv\\apps")}},
        InstallDirCase{"Relative", [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "Apps"); }, false,
                       false, L"", NotFullPath("Apps")},
        InstallDirCase{"RootOnly", [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "\\"); }, false,
                       false, L"", NotFullPath("\\")},
        InstallDirCase{"RootRelative", [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "\\Apps"); },
                       false, false, L"", NotFullPath("\\Apps")},
        InstallDirCase{"DriveRelative", [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "C:Apps"); },
                       false, false, L"", NotFullPath("C:Apps")},
        InstallDirCase{"UncWithoutShare",
                       [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", "\\\\srv\\"); }, false,
                       false, L"", NotFullPath("\\\\srv\\")},
        InstallDirCase{"Empty", [](PropertyMapBuilder& b) { b.Set("INSTALLDIR", ""); }, false, false,
                       L"",
                       {L4("Extracting INSTALLDIR..."), L4(""),
                        L4("VLX: INSTALLDIR is empty. Install folder not available.")}},
        InstallDirCase{"Missing", [](PropertyMapBuilder& b) { b.Set("ProductName", "X"); }, false,
                       false, L"",
                       {L4("Extracting INSTALLDIR..."),
                        L4("VLX: INSTALLDIR not found. Install folder not available.")}},
        InstallDirCase{"NullValue", [](PropertyMapBuilder& b) { b.SetNull("INSTALLDIR"); }, false,
                       false, L"",
                       {L4("Extracting INSTALLDIR..."),
                        L4("VLX: INSTALLDIR not found. Install folder not available.")}},
        InstallDirCase{"NullMap", [](PropertyMapBuilder&) {}, true, false, L"",
                       {L4("Property map is not initialized."), L4("Extracting INSTALLDIR..."),
                        L4("VLX: INSTALLDIR not found. Install folder not available.")}}),
    [](const testing::TestParamInfo<InstallDirCase>& info) { return std::string(info.param.name); });

// A path Windows would refuse is no install folder: a quotation mark would
// put switches onto the registration tool's command line, and a device path
// is no folder of the file system.
TEST(GetInstallDirTest, PathsWindowsWouldRefuseAreNotFullPaths) {
    for (const std::string value :
         {"C:\\Apps\" /i:x \"C:\\y", "C:\\A<b", "C:\\A>b", "C:\\A|b", "C:\\A*", "C:\\A?", "C:\\A\tb",
          "C:\\Apps:stream", "\\\\srv\\share:x", "\\\\.\\C:\\Apps", "\\\\.\\pipe\\x", "\\\\?\\C:\\Apps",
          "\\\\?\\UNC\\srv\\share"}) {
        SCOPED_TRACE(value);
        PropertyMapBuilder builder;
        builder.Set("INSTALLDIR", value);
        const HookContext context = TestContext(builder.map());
        LogCapture capture;
        wchar_t folder[kPathChars] = L"previous";
        EXPECT_FALSE(GetInstallDir(&context, folder));
        EXPECT_EQ(std::wstring(folder), L"");
        EXPECT_EQ(capture.lines(), NotFullPath(value));
    }
}

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

int WINAPI FailMultiByteToWideChar(UINT, DWORD, LPCCH, int, LPWSTR, int) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
}

// A failed conversion is not an empty INSTALLDIR: it says so, and no folder
// is made from it.
TEST(Utf8ToWideTest, FailedConversionLeavesNoInstallFolder) {
    ImportPatch<decltype(MultiByteToWideChar)> patch(GetModuleHandleW(nullptr), "kernel32.dll",
                                                     "MultiByteToWideChar",
                      &FailMultiByteToWideChar);
    ASSERT_TRUE(patch.applied());
    EXPECT_EQ(Converted("C:\\Apps", Conversion::kFailed), L"<none>");
    PropertyMapBuilder builder;
    builder.Set("INSTALLDIR", "C:\\Apps");
    const HookContext context = TestContext(builder.map());
    LogCapture capture;
    wchar_t folder[kPathChars] = L"previous";
    EXPECT_FALSE(GetInstallDir(&context, folder));
    EXPECT_EQ(std::wstring(folder), L"");
    EXPECT_EQ(capture.lines(),
              (std::vector<LogLine>{L4("Extracting INSTALLDIR..."), L4("C:\\Apps"),
                                    L4("VLX: INSTALLDIR could not be converted. Install folder not available.")}));
}

}  // namespace
