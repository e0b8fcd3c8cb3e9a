// The installer option key removed in the uninstall PostPayload phase.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/property_map.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

const wchar_t* const kParent = kOptionParentKey;
const wchar_t* const kKey = kOptionKey;

bool KeyExists(const std::wstring& subKey) {
    return RegistryKeyExists(HKEY_LOCAL_MACHINE, subKey);
}

bool ValueExists(const std::wstring& subKey, const wchar_t* name) {
    return RegGetValueW(HKEY_LOCAL_MACHINE, subKey.c_str(), name, RRF_RT_ANY, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
}

const wchar_t* const kOptions[] = {L"NODESKTOPICON", L"STARTMENULOCATION", L"PINWSTOTASKBAR"};

struct OptionKeyCase {
    const char* name;
    std::function<void(const ScopedRegistryKey& key, const ScopedRegistryKey& parent)> fill;
    bool keyRemains;
    bool parentRemains;
    bool missingLine;
};

class DeleteInstallerRegistriesTest : public testing::TestWithParam<OptionKeyCase> {
protected:
    ScopedRegistryKey parent{HKEY_LOCAL_MACHINE, kParent};
    ScopedRegistryKey key{HKEY_LOCAL_MACHINE, kKey};
};

void ThreeOptions(const ScopedRegistryKey& key) {
    ASSERT_TRUE(key.SetString(L"NODESKTOPICON", L"1"));
    ASSERT_TRUE(key.SetString(L"STARTMENULOCATION", L"Media\\Video"));
    ASSERT_TRUE(key.SetString(L"PINWSTOTASKBAR", L"1"));
}

TEST_P(DeleteInstallerRegistriesTest, RemovesOptionsAndEmptyKeys) {
    const OptionKeyCase& c = GetParam();
    c.fill(key, parent);
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;

    EXPECT_EQ(hook.Proc(properties.map(), PostPayload, Uninstall), 0);

    EXPECT_EQ(ActionLines(capture.lines(), kDeleteOptionKeyFrame),
              c.missingLine ? MissingOptionKeyLines() : OptionKeyRemovalLines());
    EXPECT_EQ(KeyExists(kKey), c.keyRemains);
    EXPECT_EQ(KeyExists(kParent), c.parentRemains);
    for (const wchar_t* option : kOptions) {
        EXPECT_FALSE(ValueExists(kKey, option)) << ToUtf8(option);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DeleteInstallerRegistriesTest,
    testing::Values(
        OptionKeyCase{"ThreeOptions",
                      [](const ScopedRegistryKey& key, const ScopedRegistryKey&) { ThreeOptions(key); },
                      false, false, false},
        OptionKeyCase{"SomeOptionsMissing",
                      [](const ScopedRegistryKey& key, const ScopedRegistryKey&) {
                          ASSERT_TRUE(key.SetString(L"PINWSTOTASKBAR", L"0"));
                      },
                      false, false, false},
        OptionKeyCase{"EmptyKey",
                      [](const ScopedRegistryKey& key, const ScopedRegistryKey&) {
                          ASSERT_TRUE(key.Create());
                      },
                      false, false, false},
        OptionKeyCase{"ExtraValueKeepsKeyAndParent",
                      [](const ScopedRegistryKey& key, const ScopedRegistryKey&) {
                          ThreeOptions(key);
                          ASSERT_TRUE(key.SetString(L"InstalledBy", L"someone"));
                      },
                      true, true, false},
        OptionKeyCase{"SubKeyKeepsKeyAndParent",
                      [](const ScopedRegistryKey& key, const ScopedRegistryKey&) {
                          ThreeOptions(key);
                          ASSERT_TRUE(CreateRegistryKey(HKEY_LOCAL_MACHINE,
                                                        std::wstring(kKey) + L"\\Child"));
                      },
                      true, true, false},
        OptionKeyCase{"ParentKeepsItsOtherContent",
                      [](const ScopedRegistryKey& key, const ScopedRegistryKey& parent) {
                          ThreeOptions(key);
                          ASSERT_TRUE(parent.SetString(L"Other", L"product"));
                      },
                      false, true, false},
        OptionKeyCase{"MissingKey", [](const ScopedRegistryKey&, const ScopedRegistryKey&) {}, false,
                      false, true},
        OptionKeyCase{"MissingKeyLeavesParent",
                      [](const ScopedRegistryKey&, const ScopedRegistryKey& parent) {
                          ASSERT_TRUE(parent.Create());
                      },
                      false, true, true}),
    [](const testing::TestParamInfo<OptionKeyCase>& info) { return std::string(info.param.name); });

TEST(DeleteInstallerRegistriesReadOnlyTest, ReadOnlyKeyKeepsEverythingSilently) {
    ScopedRegistryKey parent(HKEY_LOCAL_MACHINE, kParent);
    ScopedRegistryKey key(HKEY_LOCAL_MACHINE, kKey);
    ThreeOptions(key);
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;
    {
        const ScopedReadOnlyKey readOnly(HKEY_LOCAL_MACHINE, kKey);
        ASSERT_TRUE(readOnly.applied());
        EXPECT_EQ(hook.Proc(properties.map(), PostPayload, Uninstall), 0);
    }
    EXPECT_EQ(ActionLines(capture.lines(), kDeleteOptionKeyFrame), OptionKeyRemovalLines());
    EXPECT_TRUE(KeyExists(kKey));
    for (const wchar_t* option : kOptions) {
        EXPECT_TRUE(ValueExists(kKey, option)) << ToUtf8(option);
    }
}

}  // namespace
