// The data folder opened to Everyone when an install or reinstall session
// closes; the access list is read back from the real folder.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <memory>
#include <string>

#include "tests/support/environment.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/property_map.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

// True when the folder's list allows Everyone full (or at least write)
// access, inherited by sub-folders and files.
bool EveryoneHasInheritedFullAccess(const std::wstring& folder) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    bool found = dacl == nullptr;  // no list at all: everyone has full access
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) ||
            ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            !EqualSid(reinterpret_cast<PSID>(&ace->SidStart), everyone)) {
            continue;
        }
        const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        const bool full = (ace->Mask & GENERIC_ALL) != 0 ||
                          (ace->Mask & FILE_GENERIC_WRITE) == FILE_GENERIC_WRITE;
        found = found || ((ace->Header.AceFlags & inherit) == inherit && full);
    }
    FreeSid(everyone);
    LocalFree(descriptor);
    return found;
}

class PermissionTest : public testing::Test {
protected:
    void SetUp() override {
        RemoveTree(CommonAppData() + L"\\Kestrune");
        folder = CommonAppData() + L"\\Kestrune\\Montavo Fablio\\15.0";
    }
    void TearDown() override { RemoveTree(CommonAppData() + L"\\Kestrune"); }

    std::vector<LogLine> Run(int32_t installMode = 0) {
        LogCapture capture;
        EXPECT_EQ(hook.Proc(properties.map(), 4, installMode), 0);
        return capture.lines();
    }
    std::vector<LogLine> Lines(const char* entry, int code) const {
        return {L4(entry), L4("VLX: FixPermission"),
                L4("         Folder: \"" + ToUtf8(folder) + "\""),
                L4("         Return code: " + std::to_string(code))};
    }

    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    std::wstring folder;
};

TEST_F(PermissionTest, GrantsEveryoneInheritedFullAccessAtSessionClose) {
    ASSERT_TRUE(MakeFolders(folder));
    EXPECT_EQ(Run(0), Lines("In InstallSessionCloseProc", 0));
    EXPECT_TRUE(EveryoneHasInheritedFullAccess(folder));
}

TEST_F(PermissionTest, ReinstallSessionCloseDoesTheSame) {
    ASSERT_TRUE(MakeFolders(folder));
    EXPECT_EQ(Run(1), Lines("In ReinstallSessionCloseProc", 0));
    EXPECT_TRUE(EveryoneHasInheritedFullAccess(folder));
}

TEST_F(PermissionTest, UninstallSessionCloseLeavesFolderAlone) {
    ASSERT_TRUE(MakeFolders(folder));
    EXPECT_EQ(Run(2), std::vector<LogLine>{L4("In UninstallSessionCloseProc")});
}

int g_securityCalls = 0;
DWORD WINAPI CountGetNamedSecurityInfo(LPCWSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*,
                                       PACL*, PACL*, PSECURITY_DESCRIPTOR*) {
    ++g_securityCalls;
    return ERROR_ACCESS_DENIED;
}

TEST_F(PermissionTest, MissingFolderLogsOnlyTheStartAndChangesNothing) {
    ImportPatch patch(hook.module(), "advapi32.dll", "GetNamedSecurityInfoW", &CountGetNamedSecurityInfo);
    ASSERT_TRUE(patch.applied());
    g_securityCalls = 0;
    EXPECT_EQ(Run(0), (std::vector<LogLine>{L4("In InstallSessionCloseProc"), L4("VLX: FixPermission")}));
    EXPECT_EQ(g_securityCalls, 0);
}

BOOL WINAPI BaseWithBackslash(HWND, LPWSTR path, int, BOOL) {
    wcscpy(path, L"C:\\ProgramData\\");
    return TRUE;
}

TEST_F(PermissionTest, TrailingBackslashOfBaseIsRemoved) {
    ImportPatch patch(hook.module(), "shell32.dll", "SHGetSpecialFolderPathW", &BaseWithBackslash);
    ASSERT_TRUE(patch.applied());
    folder = L"C:\\ProgramData\\Kestrune\\Montavo Fablio\\15.0";
    ASSERT_TRUE(MakeFolders(folder));
    EXPECT_EQ(Run(0), Lines("In InstallSessionCloseProc", 0));
}

BOOL WINAPI NoBase(HWND, LPWSTR path, int, BOOL) {
    path[0] = L'\0';
    return FALSE;
}

TEST_F(PermissionTest, NoCommonFolderChangesNothing) {
    ImportPatch patch(hook.module(), "shell32.dll", "SHGetSpecialFolderPathW", &NoBase);
    ASSERT_TRUE(patch.applied());
    EXPECT_EQ(Run(0), (std::vector<LogLine>{
                          L4("In InstallSessionCloseProc"), L4("VLX: FixPermission"),
                          L4("VLX: Common application data folder not found. Permission not changed.")}));
}

// Failures the platform will not produce here, one import at a time.
DWORD g_failure = 0;
int g_setCalls = 0;
int g_failSetCalls = 0;  // how many SetNamedSecurityInfoW calls fail
PACL g_lastList = reinterpret_cast<PACL>(1);

DWORD WINAPI FailGetNamedSecurityInfo(LPCWSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*,
                                      PACL*, PACL*, PSECURITY_DESCRIPTOR*) {
    return g_failure;
}
BOOL WINAPI FailAllocateSid(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                            DWORD, DWORD, PSID* sid) {
    *sid = nullptr;
    SetLastError(g_failure);
    return FALSE;
}
DWORD WINAPI FailSetEntries(ULONG, PEXPLICIT_ACCESS_W, PACL, PACL* list) {
    *list = nullptr;
    return g_failure;
}

typedef DWORD(WINAPI* SetNamedSecurityInfoFunction)(LPWSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION,
                                                    PSID, PSID, PACL, PACL);
SetNamedSecurityInfoFunction g_realSet = nullptr;
DWORD WINAPI FailSomeSets(LPWSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION info, PSID owner,
                          PSID group, PACL dacl, PACL sacl) {
    ++g_setCalls;
    g_lastList = dacl;
    if (g_setCalls <= g_failSetCalls) {
        return g_failure;
    }
    return g_realSet(name, type, info, owner, group, dacl, sacl);
}

struct FailureCase {
    const char* name;
    const char* function;
    const void* replacement;  // none: only SetNamedSecurityInfoW fails
    DWORD failure;
    int failSetCalls;
    int code;            // in the return-code line
    bool nullListSet;    // the fallback wrote a null list
};

class PermissionFailureTest : public PermissionTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(PermissionFailureTest, LogsFolderAndCode) {
    const FailureCase& c = GetParam();
    ASSERT_TRUE(MakeFolders(folder));
    std::unique_ptr<ImportPatch> failing;
    if (c.replacement != nullptr) {
        failing.reset(new ImportPatch(hook.module(), "advapi32.dll", c.function, c.replacement));
        ASSERT_TRUE(failing->applied());
    }
    ImportPatch sets(hook.module(), "advapi32.dll", "SetNamedSecurityInfoW", &FailSomeSets);
    g_realSet = sets.original<SetNamedSecurityInfoFunction>();
    g_failure = c.failure;
    g_failSetCalls = c.failSetCalls;
    g_setCalls = 0;
    g_lastList = reinterpret_cast<PACL>(1);

    EXPECT_EQ(Run(0), Lines("In InstallSessionCloseProc", c.code));
    EXPECT_EQ(g_lastList == nullptr, c.nullListSet);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, PermissionFailureTest,
    testing::Values(
        FailureCase{"ListNotReadable", "GetNamedSecurityInfoW",
                    reinterpret_cast<const void*>(&FailGetNamedSecurityInfo), ERROR_ACCESS_DENIED, 0, 5,
                    false},
        FailureCase{"EveryoneNotBuilt", "AllocateAndInitializeSid",
                    reinterpret_cast<const void*>(&FailAllocateSid), ERROR_NOT_ENOUGH_MEMORY, 0, 8,
                    false},
        FailureCase{"MergeFailedNullListSet", "SetEntriesInAclW",
                    reinterpret_cast<const void*>(&FailSetEntries), ERROR_INVALID_PARAMETER, 0, 0, true},
        FailureCase{"WriteFailedNullListSet", "SetEntriesInAclW", nullptr, ERROR_ACCESS_DENIED, 1, 0,
                    true},
        FailureCase{"NullListNotSetEither", "SetEntriesInAclW", nullptr, ERROR_ACCESS_DENIED, 2, 5,
                    true}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

}  // namespace
