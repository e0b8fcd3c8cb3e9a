// The installer option key removed in the uninstall PostPayload phase.
#include <gtest/gtest.h>

#include <windows.h>

#include <utility>
#include <vector>
#include <string>

#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

bool KeyExists(const std::wstring& subKey) {
    return RegistryKeyExists(HKEY_LOCAL_MACHINE, subKey);
}

bool ValueExists(const std::wstring& subKey, const wchar_t* name) {
    return RegGetValueW(HKEY_LOCAL_MACHINE, subKey.c_str(), name, RRF_RT_ANY, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
}

const wchar_t* const kOptions[] = {L"NODESKTOPICON", L"STARTMENULOCATION", L"PINWSTOTASKBAR"};
const std::vector<std::pair<const wchar_t*, const wchar_t*>> kThree = {
    {L"NODESKTOPICON", L"1"}, {L"STARTMENULOCATION", L"Media\\Video"}, {L"PINWSTOTASKBAR", L"1"}};

// What the option key and its parent hold before the uninstall removes the
// options: the options, and what else keeps either key.
struct OptionKeyCase {
    const char* name;
    std::vector<std::pair<const wchar_t*, const wchar_t*>> options;  // name, value
    const wchar_t* keepsKey;     // another value, or "\\Child" for a sub-key
    const wchar_t* keepsParent;  // another value of the parent, or "" for the parent alone
    bool keyRemains;
    bool parentRemains;
};

class DeleteInstallerRegistriesTest : public testing::TestWithParam<OptionKeyCase> {
protected:
    ScopedRegistryKey parent{HKEY_LOCAL_MACHINE, kOptionParentKey};
    ScopedRegistryKey key{HKEY_LOCAL_MACHINE, kOptionKey};
};

TEST_P(DeleteInstallerRegistriesTest, RemovesOptionsAndEmptyKeys) {
    const OptionKeyCase& c = GetParam();
    for (const auto& option : c.options) {
        ASSERT_TRUE(option.first != nullptr ? key.SetString(option.first, option.second) : key.Create());
    }
    if (c.keepsKey != nullptr) {
        ASSERT_TRUE(c.keepsKey[0] == L'\\' ? CreateRegistryKey(HKEY_LOCAL_MACHINE, kOptionKey + std::wstring(c.keepsKey))
                                             : key.SetString(c.keepsKey, L"someone"));
    }
    if (c.keepsParent != nullptr) {
        ASSERT_TRUE(*c.keepsParent != L'\0' ? parent.SetString(c.keepsParent, L"product") : parent.Create());
    }
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    const bool missing = c.options.empty();
    EXPECT_EQ(ActionLines(hook.Logged(properties.map(), PostPayload, Uninstall), kDeleteOptionKeyFrame),
              missing ? MissingOptionKeyLines() : OptionKeyRemovalLines());
    EXPECT_EQ(KeyExists(kOptionKey), c.keyRemains);
    EXPECT_EQ(KeyExists(kOptionParentKey), c.parentRemains);
    for (const wchar_t* option : kOptions) {
        EXPECT_FALSE(ValueExists(kOptionKey, option)) << ToUtf8(option);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DeleteInstallerRegistriesTest,
    testing::Values(
        OptionKeyCase{"ThreeOptions", kThree, nullptr, nullptr, false, false},
        OptionKeyCase{"SomeOptionsMissing", {{L"PINWSTOTASKBAR", L"0"}}, nullptr, nullptr, false, false},
        OptionKeyCase{"EmptyKey", {{nullptr, nullptr}}, nullptr, nullptr, false, false},
        OptionKeyCase{"ExtraValueKeepsKeyAndParent", kThree, L"InstalledBy", nullptr, true, true},
        OptionKeyCase{"SubKeyKeepsKeyAndParent", kThree, L"\\Child", nullptr, true, true},
        OptionKeyCase{"ParentKeepsItsOtherContent", kThree, nullptr, L"Other", false, true},
        OptionKeyCase{"MissingKey", {}, nullptr, nullptr, false, false},
        // A run ended between the key and its parent: the next one removes the emptied parent.
        OptionKeyCase{"MissingKeyEmptyParentGoes", {}, nullptr, L"", false, false},
        OptionKeyCase{"MissingKeyParentKeepsItsOtherContent", {}, nullptr, L"Other", false, true}),
    [](const testing::TestParamInfo<OptionKeyCase>& info) { return std::string(info.param.name); });

TEST(DeleteInstallerRegistriesReadOnlyTest, ReadOnlyKeyKeepsEverythingSilently) {
    ScopedRegistryKey parent(HKEY_LOCAL_MACHINE, kOptionParentKey);
    ScopedRegistryKey key(HKEY_LOCAL_MACHINE, kOptionKey);
    for (const auto& option : kThree) {
        ASSERT_TRUE(key.SetString(option.first, option.second));
    }
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;
    {
        const ScopedReadOnlyKey readOnly(HKEY_LOCAL_MACHINE, kOptionKey);
        ASSERT_TRUE(readOnly.applied());
        EXPECT_EQ(hook.Proc(properties.map(), PostPayload, Uninstall), 0);
    }
    EXPECT_EQ(ActionLines(capture.lines(), kDeleteOptionKeyFrame), OptionKeyRemovalLines());
    EXPECT_TRUE(KeyExists(kOptionKey));
    for (const wchar_t* option : kOptions) {
        EXPECT_TRUE(ValueExists(kOptionKey, option)) << ToUtf8(option);
    }
}

}  // namespace
