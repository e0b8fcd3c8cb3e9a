#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/guards.h"
#include "shortcuts/create_shortcuts.h"
#include "shortcuts/pinned_shortcuts.h"
#include "shortcuts/shortcut_options.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/log_capture.h"
#include "tests/support/sandbox.h"

namespace {

struct ExpandCase {
    const char* name;
    std::wstring path;
    bool fits;
    std::wstring expected;
};

class ExpandPathVariablesTest : public testing::TestWithParam<ExpandCase> {
protected:
    void SetUp() override {
        SetEnvironmentVariableW(L"VLX_DRIVE", L"C:");
        SetEnvironmentVariableW(L"VLX_LONG", std::wstring(250, L'L').c_str());
        SetEnvironmentVariableW(L"VLX_UNSET", nullptr);
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"VLX_DRIVE", nullptr);
        SetEnvironmentVariableW(L"VLX_LONG", nullptr);
    }
};

TEST_P(ExpandPathVariablesTest, ReplacesVariableComponents) {
    const ExpandCase& c = GetParam();
    wchar_t path[kPathChars];
    wcscpy(path, c.path.c_str());
    EXPECT_EQ(ExpandPathVariables(path), c.fits);
    EXPECT_EQ(std::wstring(path), c.fits ? c.expected : c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExpandPathVariablesTest,
    testing::Values(
        ExpandCase{"Drive", L"%VLX_DRIVE%\\Users\\Default", true, L"C:\\Users\\Default"},
        ExpandCase{"NameWithoutCase", L"%systemroot%\\system32\\config\\systemprofile", true,
                   WindowsFolder() + L"\\system32\\config\\systemprofile"},
        ExpandCase{"NoVariables", L"C:\\users\\Owner\\", true, L"C:\\users\\Owner\\"},
        ExpandCase{"UnsetVariableLeftAlone", L"%VLX_UNSET%\\Users", true, L"%VLX_UNSET%\\Users"},
        ExpandCase{"NoSecondPercent", L"C:\\100%\\Users", true, L"C:\\100%\\Users"},
        ExpandCase{"WholeComponentReplaced", L"x%VLX_DRIVE%y\\Users", true, L"C:\\Users"},
        ExpandCase{"DoubledBackslashKept", L"%VLX_DRIVE%\\\\Users", true, L"C:\\\\Users"},
        ExpandCase{"ResultTooLong", L"%VLX_LONG%\\Users\\Someone", false, L""}),
    [](const testing::TestParamInfo<ExpandCase>& info) { return std::string(info.param.name); });

struct LocationCase {
    const char* name;
    const wchar_t* location;
    const wchar_t* accepted;  // the relative folder path it names; null: refused
};

class StartMenuLocationTest : public testing::TestWithParam<LocationCase> {};

// Read from an option key as both shortcut actions read it.
TEST_P(StartMenuLocationTest, OnlyFoldersBelowTheProgramsFolder) {
    const LocationCase& c = GetParam();
    ScopedRegistryKey options(HKEY_CURRENT_USER, L"Software\\VLXTests\\Options");
    ASSERT_TRUE(options.SetString(L"STARTMENULOCATION", c.location));
    RegKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\VLXTests\\Options", 0, KEY_READ, key.put()),
              ERROR_SUCCESS);
    LogCapture capture;
    const HookContext context = TestContext();
    wchar_t location[kPathChars];
    EXPECT_EQ(QueryStartMenuLocation(&context, key.get(), location), c.accepted != nullptr);
    EXPECT_EQ(std::wstring(location), c.accepted != nullptr ? c.accepted : L"");
    EXPECT_EQ(capture.lines(), L4s({"VLX: Query STARTMENULOCATION Success"}) +
                                   (c.accepted != nullptr ? Lines{} : L4s({kRefusedLocationLine})));
}

INSTANTIATE_TEST_SUITE_P(
    Locations, StartMenuLocationTest,
    testing::Values(LocationCase{"OneLevel", L"Kestrune", L"Kestrune"},
                    LocationCase{"TwoLevels", L"Media\\Video", L"Media\\Video"},
                    LocationCase{"TrailingBackslash", L"Media\\Video\\", L"Media\\Video\\"},
                    LocationCase{"DottedName", L"Kestrune 15.0", L"Kestrune 15.0"},
                    LocationCase{"LeadingBackslashIsBelowPrograms", L"\\Kestrune\\Video",
                                 L"Kestrune\\Video"},
                    LocationCase{"SlashesAreBackslashes", L"/Kestrune/Video", L"Kestrune\\Video"},
                    LocationCase{"Drive", L"C:\\Windows", nullptr},
                    LocationCase{"DriveRelative", L"C:Windows", nullptr},
                    LocationCase{"DriveAfterBackslash", L"\\C:\\Windows", nullptr},
                    LocationCase{"Unc", L"\\\\server\\share", nullptr},
                    LocationCase{"Parent", L"..\\..\\Desktop", nullptr},
                    LocationCase{"ParentAfterBackslash", L"\\..\\Desktop", nullptr},
                    LocationCase{"ParentInside", L"Media\\..\\..\\x", nullptr},
                    LocationCase{"ParentWithSlash", L"Media/../../x", nullptr},
                    LocationCase{"CurrentFolder", L"Media\\.\\Video", nullptr},
                    LocationCase{"OnlyDots", L"...", nullptr},
                    LocationCase{"TrailingBlankInName", L"Media \\Video", nullptr},
                    LocationCase{"TrailingDotInName", L"Media\\Video.", nullptr},
                    LocationCase{"LeadingBlankKept", L" Media", L" Media"},
                    LocationCase{"EmptyComponent", L"Media\\\\Video", nullptr},
                    LocationCase{"OnlyBackslash", L"\\", nullptr}),
    [](const testing::TestParamInfo<LocationCase>& info) { return std::string(info.param.name); });

// Missing folders are made below existing ones; an existing file counts as
// existing on the way (and fails) and as the path itself (and does not).
TEST(CreateDirectoryPathTest, CreatesMissingFoldersBelowExistingOnes) {
    SandboxFolder sandbox;
    ASSERT_TRUE(MakeFolders(sandbox / L"Top") && WriteTextFile(sandbox / L"File", "x"));
    EXPECT_TRUE(CreateDirectoryPath((sandbox / L"Top\\Mid\\Low").c_str()));
    EXPECT_TRUE(PathExists(sandbox / L"Top\\Mid\\Low"));
    EXPECT_TRUE(CreateDirectoryPath((sandbox / L"Top\\Mid\\Low").c_str())) << "already there";
    EXPECT_TRUE(CreateDirectoryPath((sandbox / L"New\\").c_str()));
    EXPECT_TRUE(PathExists(sandbox / L"New"));
    EXPECT_FALSE(CreateDirectoryPath((sandbox / L"File\\Sub").c_str()));
    EXPECT_FALSE(PathExists(sandbox / L"File\\Sub"));
    EXPECT_TRUE(CreateDirectoryPath((sandbox / L"File").c_str()));
    EXPECT_FALSE(CreateDirectoryPath(std::wstring(1100, L'x').c_str()));
}

}  // namespace
