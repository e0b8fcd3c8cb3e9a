// The data folder opened to Everyone when an install or reinstall session
// closes, as the installer host runs it (the SessionClose phases of the
// built DLL, the data folder laid out anew for each test): what both test
// files share.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

class PermissionTest : public testing::Test {
protected:
    void SetUp() override {
        RemoveTree(VendorDataFolder());
        folder = DataFolder();
    }
    void TearDown() override { RemoveTree(VendorDataFolder()); }

    Lines Run(InstallMode mode = Install) { return hook.Logged(properties.map(), SessionClose, mode); }
    Lines Granted(const char* entry, int code) const { return L4s({entry}) + FixPermissionLines(folder, code); }

    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    std::wstring folder;
};
