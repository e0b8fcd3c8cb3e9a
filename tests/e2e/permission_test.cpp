// Where the grant looks for the data folder, and nothing done without it.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include "base/folder_tree.h"
#include "base/nt_file.h"
#include "tests/e2e/kept_lists.h"
#include "tests/e2e/permission_fixture.h"
#include "tests/support/iat_patch.h"
#include "tests/support/links.h"

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

// A tree below the data folder deeper than a walk may go: the push stops at
// the bound and says so, and its record stays for the next run to push again.
TEST_F(PermissionTest, TreePastTheBoundStopsThePushAndKeepsItsRecord) {
    ASSERT_TRUE(MakeFolders(folder + L"\\d"));
    KeptLists kept(hook.module(), {}, L"-", 0);
    const EndlessDepth depth(hook.module(), folder, kWalkMaxLevels);
    const Lines granted = FixPermissionLines(folder, static_cast<int>(kWalkBound));
    EXPECT_EQ(Run(), L4s({"In InstallSessionCloseProc", granted[0].text, kWalkBoundLine, granted[1].text,
                          granted[2].text}));
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, std::wstring(kDeletionRecordsKey) + L"\\Grants"));
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kDeletionRecordsKey);
}

}  // namespace
