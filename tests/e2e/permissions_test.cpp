// The data folder opened to Everyone when an install or reinstall session
// closes; the access list is read back from the real folder.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <functional>
#include <memory>
#include <string>

#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/links.h"
#include "tests/support/property_map.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

class PermissionTest : public testing::Test {
protected:
    void SetUp() override {
        RemoveTree(VendorDataFolder());
        folder = DataFolder();
    }
    void TearDown() override { RemoveTree(VendorDataFolder()); }

    Lines Run(InstallMode mode = Install) {
        LogCapture capture;
        EXPECT_EQ(hook.Proc(properties.map(), SessionClose, mode), 0);
        return capture.lines();
    }
    Lines Granted(const char* entry, int code) const {
        return L4s({entry}) + FixPermissionLines(folder, code);
    }

    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    std::wstring folder;
};

TEST_F(PermissionTest, GrantsEveryoneInheritedFullAccessAtSessionClose) {
    ASSERT_TRUE(MakeFolders(folder));
    EXPECT_EQ(Run(Install), Granted("In InstallSessionCloseProc", 0));
    EXPECT_TRUE(EveryoneHasFullAccess(folder));
}

TEST_F(PermissionTest, ReinstallSessionCloseDoesTheSame) {
    ASSERT_TRUE(MakeFolders(folder));
    EXPECT_EQ(Run(Reinstall), Granted("In ReinstallSessionCloseProc", 0));
    EXPECT_TRUE(EveryoneHasFullAccess(folder));
}

TEST_F(PermissionTest, UninstallSessionCloseLeavesFolderAlone) {
    ASSERT_TRUE(MakeFolders(folder));
    EXPECT_EQ(Run(Uninstall), L4s({"In UninstallSessionCloseProc"}));
}

int g_securityCalls = 0;
DWORD WINAPI CountGetSecurityInfo(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*,
                                  PACL*, PSECURITY_DESCRIPTOR*) {
    ++g_securityCalls;
    return ERROR_ACCESS_DENIED;
}

TEST_F(PermissionTest, MissingFolderLogsOnlyTheStartAndChangesNothing) {
    ImportPatch<decltype(GetSecurityInfo)> patch(hook.module(), "advapi32.dll", "GetSecurityInfo",
                                                 &CountGetSecurityInfo);
    ASSERT_TRUE(patch.applied());
    g_securityCalls = 0;
    EXPECT_EQ(Run(), L4s({"In InstallSessionCloseProc", kFixPermissionFrame.first}));
    EXPECT_EQ(g_securityCalls, 0);
}

BOOL WINAPI BaseWithBackslash(HWND, LPWSTR path, int, BOOL) {
    wcscpy(path, L"C:\\ProgramData\\");
    return TRUE;
}

TEST_F(PermissionTest, TrailingBackslashOfBaseIsRemoved) {
    ImportPatch<decltype(SHGetSpecialFolderPathW)> patch(hook.module(), "shell32.dll",
                                                         "SHGetSpecialFolderPathW", &BaseWithBackslash);
    ASSERT_TRUE(patch.applied());
    // The base as given, without its backslash, then the data folder.
    folder = L"C:\\ProgramData" + std::wstring(kDataFolderBelowCommonAppData);
    ASSERT_TRUE(MakeFolders(folder));
    EXPECT_EQ(Run(Install), Granted("In InstallSessionCloseProc", 0));
}

BOOL WINAPI NoBase(HWND, LPWSTR path, int, BOOL) {
    path[0] = L'\0';
    return FALSE;
}

TEST_F(PermissionTest, NoCommonFolderChangesNothing) {
    ImportPatch<decltype(SHGetSpecialFolderPathW)> patch(hook.module(), "shell32.dll",
                                                         "SHGetSpecialFolderPathW", &NoBase);
    ASSERT_TRUE(patch.applied());
    EXPECT_EQ(Run(), L4s({"In InstallSessionCloseProc", kFixPermissionFrame.first,
                          "VLX: Common application data folder not found. Permission not changed."}));
}

// What the permission fix hands to the platform, recorded through the import
// table: Wine keeps access lists as mode bits, so only the calls themselves
// show the entry's trustee, mask and inheritance.
struct RecordedEntry {
    ULONG count = 0;
    EXPLICIT_ACCESS_W access = {};
    std::wstring trustee;  // the SID as text
    bool hadOldList = false;
};
struct RecordedSet {
    SE_OBJECT_TYPE type;
    SECURITY_INFORMATION information;
    bool ownerOrGroup;
    bool nullList;
    bool systemList;
};
RecordedEntry g_entry;
std::vector<RecordedSet> g_sets;
DWORD g_failure = 0;
int g_failSetCalls = 0;  // how many SetSecurityInfo calls fail

decltype(&SetEntriesInAclW) g_realSetEntries = nullptr;
decltype(&SetSecurityInfo) g_realSet = nullptr;
bool g_failSetEntries = false;

DWORD WINAPI RecordSetEntries(ULONG count, PEXPLICIT_ACCESS_W access, PACL oldList, PACL* newList) {
    g_entry.count = count;
    g_entry.access = access[0];
    g_entry.hadOldList = oldList != nullptr;
    wchar_t* sid = nullptr;
    if (access[0].Trustee.TrusteeForm == TRUSTEE_IS_SID &&
        ConvertSidToStringSidW(reinterpret_cast<PSID>(access[0].Trustee.ptstrName), &sid)) {
        g_entry.trustee = sid;
        LocalFree(sid);
    }
    if (g_failSetEntries) {
        *newList = nullptr;
        return g_failure;
    }
    return g_realSetEntries(count, access, oldList, newList);
}

DWORD WINAPI RecordSetSecurity(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION information,
                               PSID owner, PSID group, PACL list, PACL systemList) {
    g_sets.push_back({type, information, owner != nullptr || group != nullptr, list == nullptr,
                      systemList != nullptr});
    if (static_cast<int>(g_sets.size()) <= g_failSetCalls) {
        return g_failure;
    }
    return g_realSet(object, type, information, owner, group, list, systemList);
}

DWORD WINAPI FailGetSecurityInfo(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*,
                                 PACL*, PSECURITY_DESCRIPTOR*) {
    return g_failure;
}
BOOL WINAPI FailAllocateSid(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                            DWORD, DWORD, PSID* sid) {
    *sid = nullptr;
    SetLastError(g_failure);
    return FALSE;
}

struct GrantCase {
    const char* name;
    ImportReplacement failing;  // the import that fails outright; none: null name
    bool failSetEntries;
    DWORD failure;
    int failSetCalls;
    int code;                        // in the return-code line
    std::vector<bool> nullListSets;  // one per SetSecurityInfo call: was the list null
};

class PermissionGrantTest : public PermissionTest, public testing::WithParamInterface<GrantCase> {};

TEST_P(PermissionGrantTest, HandsTheEveryoneEntryToThePlatform) {
    const GrantCase& c = GetParam();
    ASSERT_TRUE(MakeFolders(folder));
    std::unique_ptr<RawImportPatch> failing;
    if (c.failing.name != nullptr) {
        failing.reset(new RawImportPatch(hook.module(), "advapi32.dll", c.failing.name, c.failing.function));
        ASSERT_TRUE(failing->applied());
    }
    ImportPatch<decltype(SetEntriesInAclW)> entries(hook.module(), "advapi32.dll", "SetEntriesInAclW",
                                                    &RecordSetEntries);
    ImportPatch<decltype(SetSecurityInfo)> sets(hook.module(), "advapi32.dll", "SetSecurityInfo",
                                                &RecordSetSecurity);
    ASSERT_TRUE(entries.applied() && sets.applied());
    g_realSetEntries = entries.original();
    g_realSet = sets.original();
    g_entry = RecordedEntry();
    g_sets.clear();
    g_failSetEntries = c.failSetEntries;
    g_failure = c.failure;
    g_failSetCalls = c.failSetCalls;

    EXPECT_EQ(Run(), Granted("In InstallSessionCloseProc", c.code));

    std::vector<bool> nullLists;
    for (const RecordedSet& set : g_sets) {
        SCOPED_TRACE(nullLists.size());
        EXPECT_EQ(set.type, SE_FILE_OBJECT);
        EXPECT_EQ(set.information, static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION));
        EXPECT_FALSE(set.ownerOrGroup);
        EXPECT_FALSE(set.systemList);
        nullLists.push_back(set.nullList);
    }
    EXPECT_EQ(nullLists, c.nullListSets) << "the null list only on the fallback";
    if (g_entry.count == 0) {
        return;  // the merge was never reached
    }
    EXPECT_EQ(g_entry.count, 1u);
    EXPECT_TRUE(g_entry.hadOldList) << "merged into the folder's current list";
    EXPECT_EQ(g_entry.access.grfAccessPermissions, static_cast<DWORD>(GENERIC_ALL));
    EXPECT_EQ(g_entry.access.grfAccessMode, GRANT_ACCESS);
    EXPECT_EQ(g_entry.access.grfInheritance, static_cast<DWORD>(SUB_CONTAINERS_AND_OBJECTS_INHERIT));
    EXPECT_EQ(g_entry.access.Trustee.pMultipleTrustee, nullptr);
    EXPECT_EQ(g_entry.access.Trustee.MultipleTrusteeOperation, NO_MULTIPLE_TRUSTEE);
    EXPECT_EQ(g_entry.access.Trustee.TrusteeForm, TRUSTEE_IS_SID);
    EXPECT_EQ(g_entry.access.Trustee.TrusteeType, TRUSTEE_IS_WELL_KNOWN_GROUP);
    EXPECT_EQ(g_entry.trustee, L"S-1-1-0");
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, PermissionGrantTest,
    testing::Values(
        GrantCase{"Granted", {}, false, 0, 0, 0, {false}},
        GrantCase{"ListNotReadable",
                  Replacement("GetSecurityInfo", GetSecurityInfo, &FailGetSecurityInfo), false,
                  ERROR_ACCESS_DENIED, 0, 5, {}},
        GrantCase{"EveryoneNotBuilt",
                  Replacement("AllocateAndInitializeSid", AllocateAndInitializeSid, &FailAllocateSid),
                  false, ERROR_NOT_ENOUGH_MEMORY, 0, 8, {}},
        GrantCase{"MergeFailedNullListSet", {}, true, ERROR_INVALID_PARAMETER, 0, 0, {true}},
        GrantCase{"WriteFailedNullListSet", {}, false, ERROR_ACCESS_DENIED, 1, 0, {false, true}},
        GrantCase{"NullListNotSetEither", {}, false, ERROR_ACCESS_DENIED, 2, 5, {false, true}}),
    [](const testing::TestParamInfo<GrantCase>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Whether the grant writes. Not when the folder's list already has the
// entry; not when the platform's push of the new entry down the tree would
// reach through a link, through a second name of a file, or to a place too
// deep to judge. Wine keeps no lists: the list read is made to say what a
// case needs, and the writes are recorded.
const wchar_t* g_listAsRead = nullptr;

DWORD WINAPI ReadListFromSddl(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL* list, PACL*,
                              PSECURITY_DESCRIPTOR* descriptor) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(g_listAsRead, SDDL_REVISION_1, descriptor,
                                                              nullptr)) {
        return GetLastError();
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorDacl(*descriptor, &present, list, &defaulted);
    return ERROR_SUCCESS;
}

// What a case lays out below the data folder; kept until the case ends.
typedef std::function<std::shared_ptr<void>(const std::wstring& folder, const std::wstring& elsewhere)> Layout;

std::shared_ptr<void> Plain(const std::wstring& folder, const std::wstring&) {
    WriteTextFile(folder + L"\\Sub\\Deeper\\catalog.db", "data");
    WriteTextFile(folder + L"\\.hidden", "data");
    return nullptr;
}

struct WriteCase {
    const char* name;
    const wchar_t* listAsRead;  // SDDL; null: the list as the platform reads it
    Layout layout;
    bool writes;
};

class PermissionWriteTest : public PermissionTest, public testing::WithParamInterface<WriteCase> {};

TEST_P(PermissionWriteTest, WritesOnlyWhereNeededAndSafe) {
    const WriteCase& c = GetParam();
    ASSERT_TRUE(MakeFolders(folder));
    const std::wstring elsewhere = CommonAppData() + L"\\VLX Elsewhere";
    ASSERT_TRUE(WriteTextFile(elsewhere + L"\\system.dll", "not ours"));
    std::shared_ptr<void> laidOut = c.layout(folder, elsewhere);
    std::unique_ptr<ImportPatch<decltype(GetSecurityInfo)>> read;
    if (c.listAsRead != nullptr) {
        read.reset(new ImportPatch<decltype(GetSecurityInfo)>(hook.module(), "advapi32.dll", "GetSecurityInfo",
                                                              &ReadListFromSddl));
        ASSERT_TRUE(read->applied());
        g_listAsRead = c.listAsRead;
    }
    ImportPatch<decltype(SetSecurityInfo)> sets(hook.module(), "advapi32.dll", "SetSecurityInfo",
                                                &RecordSetSecurity);
    ASSERT_TRUE(sets.applied());
    g_realSet = sets.original();
    g_sets.clear();
    g_failSetCalls = 0;

    const Lines lines = Run();
    EXPECT_EQ(g_sets.size(), c.writes ? 1u : 0u);
    // A folder granted already is logged as granted; a tree that stops the
    // grant as a link.
    const bool stopped = !c.writes && c.listAsRead == nullptr;
    EXPECT_EQ(lines, stopped ? L4s({"In InstallSessionCloseProc", kFixPermissionFrame.first, kLinkSkippedLine})
                             : Granted("In InstallSessionCloseProc", 0));
    laidOut.reset();
    RemoveTree(elsewhere);
}

const wchar_t kOnceGranted[] = L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;WD)";

INSTANTIATE_TEST_SUITE_P(
    Cases, PermissionWriteTest,
    testing::Values(
        WriteCase{"PlainTree", nullptr, &Plain, true},
        // An explicit allow-all entry for Everyone, inherited by folders and
        // files and applying here, as the platform keeps it or as given.
        WriteCase{"GrantedAlready", kOnceGranted, &Plain, false},
        WriteCase{"GrantedAlreadyGeneric", L"D:(A;OICI;GA;;;WD)", &Plain, false},
        WriteCase{"OnlyInherited", L"D:(A;OICIID;FA;;;WD)", &Plain, true},
        WriteCase{"OnlyBelow", L"D:(A;OICIIO;FA;;;WD)", &Plain, true},
        WriteCase{"NotToFiles", L"D:(A;CI;FA;;;WD)", &Plain, true},
        WriteCase{"LessThanAll", L"D:(A;OICI;0x1301ff;;;WD)", &Plain, true},
        WriteCase{"Denied", L"D:(D;OICI;FA;;;WD)", &Plain, true},
        WriteCase{"OtherTrustee", L"D:(A;OICI;FA;;;BU)", &Plain, true},
        // A link below: the new entry would be pushed on to what it leads to.
        WriteCase{"FolderLinkBelow", nullptr,
                  [](const std::wstring& folder, const std::wstring& elsewhere) {
                      Plain(folder, elsewhere);
                      auto link = std::make_shared<ScopedLink>(folder + L"\\Sub\\Link", elsewhere);
                      EXPECT_TRUE(link->made());
                      return std::shared_ptr<void>(link);
                  },
                  false},
        WriteCase{"SecondNameOfAFileBelow", nullptr,
                  [](const std::wstring& folder, const std::wstring& elsewhere) {
                      Plain(folder, elsewhere);
                      auto link = std::make_shared<ScopedLink>(folder + L"\\Sub\\Deeper\\system.dll",
                                                               elsewhere + L"\\system.dll", LinkKind::kHard);
                      EXPECT_TRUE(link->made());
                      return std::shared_ptr<void>(link);
                  },
                  false},
        WriteCase{"TooDeepToName", nullptr,
                  [](const std::wstring& folder, const std::wstring&) {
                      const std::wstring deep = L"\\\\?\\" + folder + L"\\" + std::wstring(250, L'd');
                      EXPECT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
                      return std::shared_ptr<void>(nullptr, [deep](void*) { RemoveDirectoryW(deep.c_str()); });
                  },
                  false}),
    [](const testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

}  // namespace
