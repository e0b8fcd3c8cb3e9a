#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "shortcuts/pinned_shortcuts.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/iat_patch.h"
#include "tests/support/log_capture.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

const Lines kSweepLines = L4s({"VLX: Start DeletePinnedShortcut", "VLX: End DeletePinnedShortcut"});

// Profiles added to the machine's profile list for one test, each with a
// folder in the sandbox.
class ProfileSweepTest : public testing::Test {
protected:
    void AddProfile(const std::wstring& sid, const std::wstring& imagePath) {
        profiles.push_back(std::unique_ptr<ScopedRegistryKey>(
            new ScopedRegistryKey(HKEY_LOCAL_MACHINE, std::wstring(kProfileListKey) + L"\\" + sid)));
        if (!imagePath.empty()) {
            ASSERT_TRUE(profiles.back()->SetString(L"ProfileImagePath", imagePath, REG_EXPAND_SZ));
        } else {
            ASSERT_TRUE(profiles.back()->Create());
        }
    }
    // Puts a pinned link below folder\relative and returns its path.
    std::wstring PinIn(const std::wstring& folder, const std::wstring& relative = L"AppData\\Roaming") {
        const std::wstring link =
            folder + (relative.empty() ? L"" : L"\\" + relative) + kPinnedLinkBelowAppData;
        EXPECT_TRUE(WriteTextFile(link, "lnk"));
        return link;
    }
    void Sweep(const std::vector<LogLine>& expected = kSweepLines) {
        LogCapture capture;
        const HookContext context = TestContext();
        DeletePinnedShortcut(&context);
        EXPECT_EQ(capture.lines(), expected);
    }

    SandboxFolder sandbox;
    ScopedRegistryValue defaultProfile{HKEY_LOCAL_MACHINE, kProfileListKey, L"Default"};
    ScopedRegistryValue appData{HKEY_USERS, kDefaultUserShellFolders, L"AppData"};
    std::vector<std::unique_ptr<ScopedRegistryKey>> profiles;
};

// The default profile's folder as it is stored (expandable), and every
// listed profile's, with or without a trailing backslash.
TEST_F(ProfileSweepTest, DeletesPinnedLinkInDefaultAndEveryListedProfile) {
    ASSERT_TRUE(appData.Set(L"%USERPROFILE%\\AppData\\Roaming", REG_EXPAND_SZ));
    SetEnvironmentVariableW(L"VLX_PROFILES", sandbox.path().c_str());
    ASSERT_TRUE(defaultProfile.Set(L"%VLX_PROFILES%\\Default", REG_EXPAND_SZ));
    std::vector<std::wstring> links = {PinIn(sandbox / L"Default")};
    for (const wchar_t* user : {L"Ann", L"Bob\\", L"Cid"}) {
        AddProfile(std::wstring(L"S-1-5-21-9-9-9-") + user[0], sandbox / user);
        links.push_back(PinIn(sandbox / user));
    }
    const std::wstring other = sandbox / L"Ann\\AppData\\Roaming\\Microsoft\\Internet Explorer\\"
                                         L"Quick Launch\\User Pinned\\TaskBar\\Other.lnk";
    ASSERT_TRUE(WriteTextFile(other, "lnk"));

    Sweep();
    SetEnvironmentVariableW(L"VLX_PROFILES", nullptr);
    for (const std::wstring& link : links) {
        EXPECT_FALSE(PathExists(link)) << ToUtf8(link);
    }
    EXPECT_TRUE(PathExists(other)) << "another pinned link stays";
}

// A read-only pinned copy is refused, as DeleteFileW refuses it, and says so.
TEST_F(ProfileSweepTest, ReadOnlyPinnedCopyStaysWithItsError) {
    AddProfile(L"S-1-5-21-9-9-9-Ro", sandbox / L"Ro");
    const std::wstring link = PinIn(sandbox / L"Ro");
    ASSERT_TRUE(SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_READONLY));
    Sweep({kSweepLines[0], L4(CouldNotDeleteLine(5)), kSweepLines[1]});
    EXPECT_TRUE(PathExists(link));
    SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_NORMAL);
}

struct AppDataCase {
    const char* name;
    std::wstring appData;
    std::wstring searched;      // relative folder that is swept
    std::wstring notSearched;   // relative folder left alone
};

class ProfileAppDataTest : public ProfileSweepTest, public testing::WithParamInterface<AppDataCase> {};

TEST_P(ProfileAppDataTest, RelativeFolderComesFromDefaultUser) {
    const AppDataCase& c = GetParam();
    if (c.appData.empty()) {
        appData.Delete();
    } else {
        ASSERT_TRUE(appData.Set(c.appData, REG_EXPAND_SZ));
    }
    AddProfile(L"S-1-5-21-9-9-9-Dee", sandbox / L"Dee");
    const std::wstring swept = PinIn(sandbox / L"Dee", c.searched);
    const std::wstring kept = c.notSearched.empty() ? L"" : PinIn(sandbox / L"Dee", c.notSearched);
    Sweep();
    EXPECT_FALSE(PathExists(swept));
    if (!kept.empty()) {
        EXPECT_TRUE(PathExists(kept));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileAppDataTest,
    testing::Values(
        AppDataCase{"ApplicationData", L"%USERPROFILE%\\Application Data", L"Application Data",
                    L"AppData\\Roaming"},
        AppDataCase{"LowerCaseTokenFallsBack", L"%userprofile%\\Application Data", L"AppData\\Roaming",
                    L"Application Data"},
        AppDataCase{"AbsoluteFallsBack", L"D:\\Roaming", L"AppData\\Roaming", L""},
        AppDataCase{"MissingFallsBack", L"", L"AppData\\Roaming", L""},
        AppDataCase{"TokenAloneIsProfileFolder", L"%USERPROFILE%", L"", L"AppData\\Roaming"}),
    [](const testing::TestParamInfo<AppDataCase>& info) { return std::string(info.param.name); });

// A profile without a folder value is skipped, not swept once more in the
// folder read before it; the profiles after it are still swept.
TEST_F(ProfileSweepTest, ProfileWithoutFolderIsSkipped) {
    ASSERT_TRUE(appData.Set(L"%USERPROFILE%\\AppData\\Roaming", REG_EXPAND_SZ));
    AddProfile(L"S-1-5-21-9-9-9-A", sandbox / L"A");
    AddProfile(L"S-1-5-21-9-9-9-B", L"");
    AddProfile(L"S-1-5-21-9-9-9-C", sandbox / L"C");
    const std::wstring first = PinIn(sandbox / L"A");
    const std::wstring last = PinIn(sandbox / L"C");
    std::vector<std::wstring> probed;
    ImportPatch<decltype(PathFileExistsW)> probes(GetModuleHandleW(nullptr), "PathFileExistsW", [&](LPCWSTR path) {
        probed.push_back(path);
        return probes.original()(path);
    });
    Sweep();
    EXPECT_FALSE(PathExists(first));
    EXPECT_FALSE(PathExists(last));
    std::sort(probed.begin(), probed.end());
    EXPECT_EQ(std::adjacent_find(probed.begin(), probed.end()), probed.end())
        << "a folder swept twice: the profile without a folder reused the one before it";
}

TEST_F(ProfileSweepTest, OverlongProfileFolderIsSkippedWithOneLine) {
    ASSERT_TRUE(appData.Set(L"%USERPROFILE%\\AppData\\Roaming", REG_EXPAND_SZ));
    AddProfile(L"S-1-5-21-9-9-9-Long", L"S:\\" + std::wstring(200, L'l'));
    Sweep({kSweepLines[0], L4("VLX: Path too long. Skipped."), kSweepLines[1]});
}

// An enumeration that fails ends the walk instead of repeating for ever.
TEST_F(ProfileSweepTest, FailingEnumerationEndsTheWalk) {
    int calls = 0;
    ImportPatch<decltype(RegEnumKeyW)> patch(GetModuleHandleW(nullptr), "RegEnumKeyW", [&](HKEY, DWORD, LPWSTR, DWORD) {
        ++calls;
        return LONG{ERROR_ACCESS_DENIED};
    });
    Sweep();
    EXPECT_EQ(calls, 1);
}

}  // namespace
