// The installer option key removed in the uninstall PostPayload phase.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <functional>
#include <string>

#include "tests/support/hook_dll.h"
#include "tests/support/property_map.h"
#include "tests/support/sandbox.h"

namespace {

const wchar_t kParent[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VEXOUninstallOptions";
const wchar_t kKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VEXOUninstallOptions\\VLX";
const char kStart[] = "VLX: Start of DeleteInstallerRegistries";
const char kEnd[] = "VLX: End of DeleteInstallerRegistries";
const char kMissingLine[] =
    "Registry doesnt exists = HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
    "Uninstall\\VEXOUninstallOptions\\VLX";

bool KeyExists(const std::wstring& subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool ValueExists(const std::wstring& subKey, const wchar_t* name) {
    return RegGetValueW(HKEY_LOCAL_MACHINE, subKey.c_str(), name, RRF_RT_ANY, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
}

// Makes a key readable but not writable for everyone, or writable again.
void SetKeyReadOnly(const std::wstring& subKey, bool readOnly) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, WRITE_DAC | READ_CONTROL, &key),
              ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        readOnly ? L"D:P(A;OICI;KR;;;WD)" : L"D:(A;OICI;KA;;;WD)", SDDL_REVISION_1, &descriptor,
        nullptr));
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
    LocalFree(descriptor);
    RegCloseKey(key);
}

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

    EXPECT_EQ(hook.Proc(properties.map(), 2, 2), 0);

    std::vector<LogLine> expected = {L4("VLX: Start of DeleteInstallerRegistries")};
    if (c.missingLine) {
        expected.push_back(L4(kMissingLine));
    }
    expected.push_back(L4("VLX: End of DeleteInstallerRegistries"));
    EXPECT_EQ(capture.Between(kStart, kEnd), expected);
    EXPECT_EQ(KeyExists(kKey), c.keyRemains);
    EXPECT_EQ(KeyExists(kParent), c.parentRemains);
    for (const wchar_t* option : {L"NODESKTOPICON", L"STARTMENULOCATION", L"PINWSTOTASKBAR"}) {
        EXPECT_FALSE(ValueExists(kKey, option)) << option;
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
    SetKeyReadOnly(kKey, true);
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    LogCapture capture;

    EXPECT_EQ(hook.Proc(properties.map(), 2, 2), 0);
    SetKeyReadOnly(kKey, false);

    EXPECT_EQ(capture.Between(kStart, kEnd), (std::vector<LogLine>{L4(kStart), L4(kEnd)}));
    EXPECT_TRUE(KeyExists(kKey));
    for (const wchar_t* option : {L"NODESKTOPICON", L"STARTMENULOCATION", L"PINWSTOTASKBAR"}) {
        EXPECT_TRUE(ValueExists(kKey, option)) << option;
    }
}

}  // namespace
