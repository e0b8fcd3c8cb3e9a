// The data folder opened to Everyone when an install or reinstall session
// closes. Wine keeps access lists as mode bits and pushes nothing down a
// tree: what the hook reads is made to say what a case needs, and what it
// hands to the platform (the entry's trustee, mask and inheritance, each
// list written) is recorded through the import table.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <string>

#include "tests/e2e/permission_fixture.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/links.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

TEST_F(PermissionTest, MissingFolderLogsOnlyTheStartAndChangesNothing) {
    int calls = 0;
    ImportPatch<decltype(GetSecurityInfo)> patch(hook.module(), "GetSecurityInfo", [&](auto...) {
        ++calls;
        return DWORD{ERROR_ACCESS_DENIED};
    });
    EXPECT_EQ(Run(), L4s({"In InstallSessionCloseProc", kFixPermissionFrame.first}));
    EXPECT_EQ(calls, 0);
}

// The base's trailing backslash is removed before the data folder is
// appended; without a base nothing is changed, never below the drive root.
TEST_F(PermissionTest, CommonApplicationDataFolderAsTheShellGivesIt) {
    folder = L"C:\\ProgramData" + std::wstring(kDataFolderBelowCommonAppData);
    ASSERT_TRUE(MakeFolders(folder));
    {
        ImportPatch<decltype(SHGetSpecialFolderPathW)> patch(hook.module(), "SHGetSpecialFolderPathW",
                                                             [](auto, auto path, auto, auto) {
            wcscpy(path, L"C:\\ProgramData\\");
            return TRUE;
        });
        EXPECT_EQ(Run(), Granted("In InstallSessionCloseProc", 0));
    }
    ImportPatch<decltype(SHGetSpecialFolderPathW)> patch(hook.module(), "SHGetSpecialFolderPathW",
                                                         [](auto, auto path, auto, auto) {
        path[0] = L'\0';
        return FALSE;
    });
    EXPECT_EQ(Run(), L4s({"In InstallSessionCloseProc", kFixPermissionFrame.first,
                          "VLX: Common application data folder not found. Permission not changed."}));
}

}  // namespace
