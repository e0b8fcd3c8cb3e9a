#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "registry/reg_util.h"
#include "tests/support/environment.h"
#include "tests/support/sandbox.h"

namespace {

const wchar_t kSandboxSubKey[] = L"Software\\VLXTests\\RegUtil";
const std::wstring kSandboxPath = L"HKEY_CURRENT_USER\\Software\\VLXTests\\RegUtil";

struct RootCase {
    const char* name;
    const wchar_t* path;
    HKEY root;
    const wchar_t* subKey;
};

class ParseTest : public testing::TestWithParam<RootCase> {};

TEST_P(ParseTest, SplitsAtFirstBackslash) {
    const RootCase& c = GetParam();
    RegUtil registry;
    EXPECT_EQ(registry.ParseRootKey(c.path), c.root);
    wchar_t subKey[kPathChars];
    wcscpy(subKey, L"sentinel");
    EXPECT_TRUE(registry.ParseSubKey(c.path, subKey));
    EXPECT_STREQ(subKey, c.subKey);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ParseTest,
    testing::Values(
        RootCase{"ClassesRoot", L"HKEY_CLASSES_ROOT\\.txt", HKEY_CLASSES_ROOT, L".txt"},
        RootCase{"CurrentUser", L"HKEY_CURRENT_USER\\Software\\X", HKEY_CURRENT_USER, L"Software\\X"},
        RootCase{"LocalMachine", L"HKEY_LOCAL_MACHINE\\SOFTWARE", HKEY_LOCAL_MACHINE, L"SOFTWARE"},
        RootCase{"Users", L"HKEY_USERS\\.DEFAULT\\Software", HKEY_USERS, L".DEFAULT\\Software"},
        RootCase{"CurrentConfig", L"HKEY_CURRENT_CONFIG\\System", HKEY_CURRENT_CONFIG, L"System"},
        RootCase{"DynData", L"HKEY_DYN_DATA\\X", HKEY_DYN_DATA, L"X"},
        RootCase{"PerformanceData", L"HKEY_PERFORMANCE_DATA\\X", HKEY_PERFORMANCE_DATA, L"X"},
        RootCase{"LowerCaseIsLocalMachine", L"hkey_users\\.DEFAULT", HKEY_LOCAL_MACHINE, L".DEFAULT"},
        RootCase{"AbbreviationIsLocalMachine", L"HKCU\\Software", HKEY_LOCAL_MACHINE, L"Software"},
        RootCase{"PrefixOfNameIsLocalMachine", L"HKEY_USER\\X", HKEY_LOCAL_MACHINE, L"X"},
        RootCase{"LeadingBackslash", L"\\SOFTWARE\\X", HKEY_LOCAL_MACHINE, L"SOFTWARE\\X"},
        RootCase{"RootAlone", L"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE, L""},
        RootCase{"NoBackslash", L"HKEY_USERS", HKEY_USERS, L""}),
    [](const testing::TestParamInfo<RootCase>& info) { return std::string(info.param.name); });

TEST(ParseTest, OverlongSubKeyIsRefusedNotCut) {
    RegUtil registry;
    const std::wstring path = L"HKEY_LOCAL_MACHINE\\" + std::wstring(260, L'k');
    wchar_t subKey[kPathChars];
    wcscpy(subKey, L"sentinel");
    EXPECT_FALSE(registry.ParseSubKey(path.c_str(), subKey));
    EXPECT_STREQ(subKey, L"sentinel");
}

class RegUtilTest : public testing::Test {
protected:
    ScopedRegistryKey sandbox{HKEY_CURRENT_USER, kSandboxSubKey};
    RegUtil registry;

    static std::wstring Path(const std::wstring& relative = L"") {
        return relative.empty() ? kSandboxPath : kSandboxPath + L"\\" + relative;
    }
    // Sets a value with exactly the given bytes of data.
    void SetRaw(const std::wstring& name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSandboxSubKey, name.c_str(), type, data, size), ERROR_SUCCESS);
    }
    std::wstring Query(const std::wstring& name) {
        wchar_t text[kPathChars + 1];
        text[kPathChars] = L'#';
        wcscpy(text, L"abc");
        registry.QueryStringValue(Path().c_str(), name.c_str(), text);
        EXPECT_EQ(text[kPathChars], L'#') << "wrote past the buffer";
        return text;
    }
};

TEST_F(RegUtilTest, KeyExistsAndDeleteValue) {
    ASSERT_TRUE(sandbox.SetString(L"Gone", L"1"));
    EXPECT_TRUE(registry.KeyExists(Path().c_str()));
    EXPECT_FALSE(registry.KeyExists(Path(L"Missing").c_str()));
    EXPECT_FALSE(registry.KeyExists((Path() + L"\\" + std::wstring(260, L'x')).c_str()));
    EXPECT_TRUE(registry.DeleteValue(Path().c_str(), L"Gone"));
    EXPECT_FALSE(registry.DeleteValue(Path().c_str(), L"Gone"));
    EXPECT_FALSE(registry.DeleteValue(Path(L"Missing").c_str(), L"Gone"));
}

TEST_F(RegUtilTest, QueryStringValue) {
    ASSERT_TRUE(sandbox.SetString(L"Text", L"C:\\users\\Owner"));
    ASSERT_TRUE(sandbox.SetString(L"Expand", L"%USERPROFILE%\\AppData\\Roaming", REG_EXPAND_SZ));
    ASSERT_TRUE(sandbox.SetString(L"Longest", std::wstring(259, L'L')));
    ASSERT_TRUE(sandbox.SetString(L"TooLong", std::wstring(260, L'T')));
    const std::wstring unterminated = L"xyz";
    SetRaw(L"Unterminated", REG_BINARY, unterminated.data(), 6);
    const std::wstring full(260, L'F');
    SetRaw(L"Unterminated520", REG_BINARY, full.data(), 520);
    SetRaw(L"OddSize", REG_BINARY, "a\0b", 3);

    EXPECT_EQ(Query(L"Text"), L"C:\\users\\Owner");
    EXPECT_EQ(Query(L"Expand"), L"%USERPROFILE%\\AppData\\Roaming") << "no expansion";
    EXPECT_EQ(Query(L"Longest"), std::wstring(259, L'L'));
    EXPECT_EQ(Query(L"Unterminated"), L"xyz");
    EXPECT_EQ(Query(L"OddSize"), L"a");
    // Left untouched:
    EXPECT_EQ(Query(L"TooLong"), L"abc");
    EXPECT_EQ(Query(L"Unterminated520"), L"abc");
    EXPECT_EQ(Query(L"Missing"), L"abc");
}

TEST_F(RegUtilTest, EnumSubKeyWalksAndStartsOver) {
    for (const wchar_t* name : {L"Alpha", L"Beta"}) {
        ASSERT_TRUE(CreateRegistryKey(HKEY_CURRENT_USER, std::wstring(kSandboxSubKey) + L"\\" + name));
    }
    wchar_t name[kPathChars] = {};
    EXPECT_EQ(registry.EnumSubKey(Path().c_str(), name), 0);
    EXPECT_STREQ(name, L"Alpha");
    EXPECT_EQ(registry.EnumSubKey(Path().c_str(), name), 0);
    EXPECT_STREQ(name, L"Beta");
    EXPECT_EQ(registry.EnumSubKey(Path().c_str(), name), ERROR_NO_MORE_ITEMS);
    EXPECT_STREQ(name, L"ERROR_NO_MORE_ITEMS");
    EXPECT_EQ(registry.enumIndex, 0u);
    EXPECT_EQ(registry.EnumSubKey(Path().c_str(), name), 0);
    EXPECT_STREQ(name, L"Alpha");
}

TEST_F(RegUtilTest, EnumSubKeyOfMissingKeyChangesNothing) {
    registry.enumIndex = 5;
    wchar_t name[kPathChars];
    wcscpy(name, L"untouched");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(registry.EnumSubKey(Path(L"Missing").c_str(), name), ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(registry.enumIndex, 5u);
    EXPECT_STREQ(name, L"untouched");
    const std::wstring tooLong = Path() + L"\\" + std::wstring(260, L'x');
    EXPECT_EQ(registry.EnumSubKey(tooLong.c_str(), name), kRegPathTooLong);
    EXPECT_EQ(registry.enumIndex, 5u);
}

TEST_F(RegUtilTest, DeleteEmptyKeyOnlyDeletesEmptyKeys) {
    const std::wstring base = kSandboxSubKey;
    ScopedRegistryKey withValue(HKEY_CURRENT_USER, base + L"\\WithValue");
    ScopedRegistryKey withDefault(HKEY_CURRENT_USER, base + L"\\WithDefault");
    ScopedRegistryKey withChild(HKEY_CURRENT_USER, base + L"\\WithChild\\Child");
    ASSERT_TRUE(withValue.SetString(L"keep", L"me"));
    ASSERT_TRUE(withDefault.SetString(L"", L"me"));
    ASSERT_TRUE(withChild.SetString(L"x", L"y"));
    ASSERT_TRUE(CreateRegistryKey(HKEY_CURRENT_USER, base + L"\\Empty"));

    EXPECT_FALSE(registry.DeleteEmptyKey(Path(L"WithValue").c_str()));
    EXPECT_TRUE(withValue.Exists());
    EXPECT_FALSE(registry.DeleteEmptyKey(Path(L"WithDefault").c_str()));
    EXPECT_TRUE(withDefault.Exists());
    EXPECT_FALSE(registry.DeleteEmptyKey(Path(L"WithChild").c_str()));
    EXPECT_TRUE(registry.KeyExists(Path(L"WithChild").c_str()));
    EXPECT_TRUE(registry.DeleteEmptyKey(Path(L"Empty").c_str()));
    EXPECT_FALSE(registry.KeyExists(Path(L"Empty").c_str()));
    EXPECT_FALSE(registry.DeleteEmptyKey(Path(L"Missing").c_str()));
    EXPECT_FALSE(registry.DeleteEmptyKey(L"HKEY_CURRENT_USER\\"));
}

// Machine keys are reached in the process's own view: the 32-bit view under
// WoW64, where a 32-bit installer's keys live.
TEST(RegUtilViewTest, LocalMachineKeysAreInOwnView) {
    ScopedRegistryKey own(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VLXTests\\View");
    ASSERT_TRUE(own.SetString(L"v", L"1"));
    ScopedRegistryKey native(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VLXTests\\NativeOnly", KEY_WOW64_64KEY);
    ASSERT_TRUE(native.SetString(L"v", L"1"));
    RegUtil registry;
    EXPECT_TRUE(registry.KeyExists(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\VLXTests\\View"));
    // On a 32-bit system both flags name the one view there is.
    EXPECT_EQ(registry.KeyExists(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\VLXTests\\NativeOnly"),
              !InWin64Prefix());
}

}  // namespace
