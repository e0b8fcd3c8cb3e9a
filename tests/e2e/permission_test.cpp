// Where the grant looks for the data folder, and nothing done without it.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include "tests/e2e/permission_fixture.h"
#include "tests/support/iat_patch.h"

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
