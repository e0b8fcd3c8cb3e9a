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

#include <functional>
#include <memory>
#include <string>

#include "tests/e2e/permission_fixture.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/links.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"


namespace {

int g_securityCalls = 0;
DWORD WINAPI CountGetSecurityInfo(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                  PSECURITY_DESCRIPTOR*) {
    ++g_securityCalls;
    return ERROR_ACCESS_DENIED;
}

TEST_F(PermissionTest, MissingFolderLogsOnlyTheStartAndChangesNothing) {
    ImportPatch<decltype(GetSecurityInfo)> patch(hook.module(), "advapi32.dll", "GetSecurityInfo",
                                                 &CountGetSecurityInfo);
    g_securityCalls = 0;
    EXPECT_EQ(Run(), L4s({"In InstallSessionCloseProc", kFixPermissionFrame.first}));
    EXPECT_EQ(g_securityCalls, 0);
}

BOOL WINAPI BaseWithBackslash(HWND, LPWSTR path, int, BOOL) {
    wcscpy(path, L"C:\\ProgramData\\");
    return TRUE;
}

BOOL WINAPI NoBase(HWND, LPWSTR path, int, BOOL) {
    path[0] = L'\0';
    return FALSE;
}

// The base's trailing backslash is removed before the data folder is
// appended; without a base nothing is changed, never below the drive root.
TEST_F(PermissionTest, CommonApplicationDataFolderAsTheShellGivesIt) {
    folder = L"C:\\ProgramData" + std::wstring(kDataFolderBelowCommonAppData);
    ASSERT_TRUE(MakeFolders(folder));
    {
        ImportPatch<decltype(SHGetSpecialFolderPathW)> patch(hook.module(), "shell32.dll",
                                                             "SHGetSpecialFolderPathW", &BaseWithBackslash);
        EXPECT_EQ(Run(), Granted("In InstallSessionCloseProc", 0));
    }
    ImportPatch<decltype(SHGetSpecialFolderPathW)> patch(hook.module(), "shell32.dll", "SHGetSpecialFolderPathW",
                                                         &NoBase);
    EXPECT_EQ(Run(), L4s({"In InstallSessionCloseProc", kFixPermissionFrame.first,
                          "VLX: Common application data folder not found. Permission not changed."}));
}

}  // namespace
