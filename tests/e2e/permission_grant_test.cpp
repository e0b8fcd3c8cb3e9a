// The data folder's grant (permission_fixture.h): when it is written, and
// when it is not: what the folder's list already says, what the tree below
// it holds, and failures on the way.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/nt_file.h"
#include "tests/e2e/permission_fixture.h"
#include "tests/support/iat_patch.h"
#include "tests/support/links.h"

namespace {

// What the grant's tests put in place of the DLL's imports: recorders of
// what the hook hands to the platform (the entry's trustee, mask and
// inheritance, each list written), since Wine keeps access lists as mode bits
// and pushes nothing down a tree; answers that make what the hook reads say
// what a case needs; and failures. What the hook hands to the platform:
struct RecordedEntry {
    ULONG count = 0;
    EXPLICIT_ACCESS_W access = {};
    std::wstring trustee;  // the SID as text
    bool hadOldList = false;
};
RecordedEntry g_entry;
std::vector<bool> g_nullLists;  // one per SetSecurityInfo call: was the list null
std::vector<std::string> g_badWrites;
DWORD g_failure = 0;
int g_failedWrites = 0;  // how many SetSecurityInfo calls fail, from the first
bool g_failMerge = false;
const wchar_t* g_listAsRead = nullptr;

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
    if (g_failMerge) {
        *newList = nullptr;
        return g_failure;
    }
    return SetEntriesInAclW(count, access, oldList, newList);
}

DWORD WINAPI RecordSetSecurity(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION information, PSID owner,
                               PSID group, PACL list, PACL systemList) {
    g_nullLists.push_back(list == nullptr);
    if (type != SE_FILE_OBJECT || information != DACL_SECURITY_INFORMATION || owner != nullptr ||
        group != nullptr || systemList != nullptr) {
        g_badWrites.push_back("write " + std::to_string(g_nullLists.size()) + " is not the folder's list alone");
    }
    if (static_cast<int>(g_nullLists.size()) <= g_failedWrites) {
        return g_failure;
    }
    return SetSecurityInfo(object, type, information, owner, group, list, systemList);
}

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

DWORD WINAPI FailGetSecurityInfo(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                 PSECURITY_DESCRIPTOR*) {
    return g_failure;
}

// A listing that breaks off at the entry ".hidden", with the case's failure.
VlxNtStatus WINAPI BreakListing(HANDLE folder, HANDLE event, PVOID apc, PVOID context, VlxIoStatusBlock* status,
                                PVOID information, ULONG length, int kind, BOOLEAN single, VlxUnicodeString* mask,
                                BOOLEAN restart) {
    const VlxNtStatus listed =
        NtQueryDirectoryFile(folder, event, apc, context, status, information, length, kind, single, mask, restart);
    for (auto* at = static_cast<const BYTE*>(information); listed == 0;) {
        const auto* entry = reinterpret_cast<const VlxFileIdBothDirInformation*>(at);
        if (std::wstring(entry->FileName, entry->FileNameLength / 2) == L".hidden") {
            return g_failure;
        }
        if (entry->NextEntryOffset == 0) {
            break;
        }
        at += entry->NextEntryOffset;
    }
    return listed;
}

BOOL WINAPI FailAllocateSid(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                            PSID* sid) {
    *sid = nullptr;
    SetLastError(g_failure);
    return FALSE;
}

VlxNtStatus WINAPI RefuseCatalog(HANDLE* file, ACCESS_MASK access, VlxObjectAttributes* object,
                                 VlxIoStatusBlock* status, LARGE_INTEGER* size, ULONG attributes, ULONG sharing,
                                 ULONG disposition, ULONG options, PVOID ea, ULONG eaLength) {
    const VlxUnicodeString* name = object->ObjectName;
    if (std::wstring(name->Buffer, name->Length / 2) == L"catalog.db") {
        return static_cast<VlxNtStatus>(0xC0000022L);  // access denied
    }
    return NtCreateFile(file, access, object, status, size, attributes, sharing, disposition, options, ea, eaLength);
}

// What a case lays out below the data folder, kept until the case ends.
typedef std::function<std::shared_ptr<void>(const std::wstring& folder, const std::wstring& elsewhere)> Layout;

std::shared_ptr<void> Plain(const std::wstring& folder, const std::wstring&) {
    WriteTextFile(folder + L"\\Sub\\Deeper\\catalog.db", "data");
    WriteTextFile(folder + L"\\.hidden", "data");
    return nullptr;
}

std::shared_ptr<void> LinkBelow(const std::wstring& link, const std::wstring& target, LinkKind kind) {
    auto made = std::make_shared<ScopedLink>(link, target, kind);
    EXPECT_TRUE(made->made());
    return made;
}

// A sub-folder with a name of the given length, made through the long-path
// prefix: its path is longer than a path buffer.
std::shared_ptr<void> DeepFolder(const std::wstring& folder, size_t length) {
    const std::wstring deep = L"\\\\?\\" + folder + L"\\" + std::wstring(length, L'd');
    EXPECT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    return std::shared_ptr<void>(nullptr, [deep](void*) { RemoveDirectoryW(deep.c_str()); });
}

enum class Outcome { kGranted, kStopped, kUntouched };

struct GrantCase {
    const char* name;
    InstallMode mode;
    const wchar_t* listAsRead;   // SDDL of the folder's list as read; null: as the platform reads it
    Layout layout;
    ImportReplacement failing;   // an import that fails outright; none: null name
    DWORD failure;               // its error, or the merge's and the writes'
    bool failMerge;
    int failedWrites;
    Outcome outcome;
    int code;                    // in the return-code line
    std::vector<bool> nullLists; // one per write: was the list null
};

class PermissionGrantTest : public PermissionTest, public testing::WithParamInterface<GrantCase> {};

TEST_P(PermissionGrantTest, WritesOnlyWhereNeededAndSafe) {
    const GrantCase& c = GetParam();
    ASSERT_TRUE(MakeFolders(folder));
    const std::wstring elsewhere = CommonAppData() + L"\\VLX Elsewhere";
    ASSERT_TRUE(WriteTextFile(elsewhere + L"\\system.dll", "not ours"));
    std::shared_ptr<void> laidOut = c.layout(folder, elsewhere);
    ImportPatches patches(hook.module());
    patches.Add(c.failing);
    if (c.listAsRead != nullptr) {
        g_listAsRead = c.listAsRead;
        patches.Add(Replacement("GetSecurityInfo", GetSecurityInfo, &ReadListFromSddl));
    }
    patches.Add(Replacement("SetEntriesInAclW", SetEntriesInAclW, &RecordSetEntries));
    patches.Add(Replacement("SetSecurityInfo", SetSecurityInfo, &RecordSetSecurity));
    g_entry = RecordedEntry();
    g_nullLists.clear();
    g_badWrites.clear();
    g_failure = c.failure;
    g_failMerge = c.failMerge;
    g_failedWrites = c.failedWrites;

    const char* entry = c.mode == Install ? "In InstallSessionCloseProc" : c.mode == Reinstall
                                                                             ? "In ReinstallSessionCloseProc"
                                                                             : "In UninstallSessionCloseProc";
    const Lines lines = Run(c.mode);
    EXPECT_EQ(lines, c.outcome == Outcome::kGranted   ? Granted(entry, c.code)
                     : c.outcome == Outcome::kStopped ? L4s({entry, kFixPermissionFrame.first, kLinkSkippedLine})
                                                      : L4s({entry}));
    EXPECT_EQ(g_nullLists, c.nullLists) << "the null list only on the fallback";
    EXPECT_EQ(g_badWrites, std::vector<std::string>{});
    if (c.code == 0 && c.nullLists == std::vector<bool>{false}) {
        EXPECT_TRUE(EveryoneHasFullAccess(folder));
    }
    if (g_entry.count != 0) {
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
    patches.clear();
    laidOut.reset();
    RemoveTree(elsewhere);
}

const Outcome kGranted = Outcome::kGranted;
const Outcome kStopped = Outcome::kStopped;

INSTANTIATE_TEST_SUITE_P(
    Cases, PermissionGrantTest,
    testing::Values(
        GrantCase{"Install", Install, nullptr, &Plain, {}, 0, false, 0, kGranted, 0, {false}},
        GrantCase{"Reinstall", Reinstall, nullptr, &Plain, {}, 0, false, 0, kGranted, 0, {false}},
        GrantCase{"Uninstall", Uninstall, nullptr, &Plain, {}, 0, false, 0, Outcome::kUntouched, 0, {}},
        // Failures, each with its code in the return-code line.
        GrantCase{"ListNotReadable", Install, nullptr, &Plain,
                  Replacement("GetSecurityInfo", GetSecurityInfo, &FailGetSecurityInfo), ERROR_ACCESS_DENIED,
                  false, 0, kGranted, 5, {}},
        GrantCase{"EveryoneNotBuilt", Install, nullptr, &Plain,
                  Replacement("AllocateAndInitializeSid", AllocateAndInitializeSid, &FailAllocateSid),
                  ERROR_NOT_ENOUGH_MEMORY, false, 0, kGranted, 8, {}},
        GrantCase{"MergeFailedNullListSet", Install, nullptr, &Plain, {}, ERROR_INVALID_PARAMETER, true, 0,
                  kGranted, 0, {true}},
        GrantCase{"WriteFailedNullListSet", Install, nullptr, &Plain, {}, ERROR_ACCESS_DENIED, false, 1,
                  kGranted, 0, {false, true}},
        GrantCase{"NullListNotSetEither", Install, nullptr, &Plain, {}, ERROR_ACCESS_DENIED, false, 2, kGranted,
                  5, {false, true}},
        // Granted once: an explicit allow-all entry for Everyone, inherited
        // by folders and files and applying here, as the platform keeps it
        // or as given. Anything less is written.
        GrantCase{"GrantedAlready", Install, L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;WD)", &Plain, {}, 0, false, 0,
                  kGranted, 0, {}},
        GrantCase{"GrantedAlreadyGeneric", Install, L"D:(A;OICI;GA;;;WD)", &Plain, {}, 0, false, 0, kGranted, 0,
                  {}},
        GrantCase{"OnlyInherited", Install, L"D:(A;OICIID;FA;;;WD)", &Plain, {}, 0, false, 0, kGranted, 0,
                  {false}},
        GrantCase{"OnlyBelow", Install, L"D:(A;OICIIO;FA;;;WD)", &Plain, {}, 0, false, 0, kGranted, 0, {false}},
        GrantCase{"NotToFiles", Install, L"D:(A;CI;FA;;;WD)", &Plain, {}, 0, false, 0, kGranted, 0, {false}},
        GrantCase{"LessThanAll", Install, L"D:(A;OICI;0x1301ff;;;WD)", &Plain, {}, 0, false, 0, kGranted, 0,
                  {false}},
        GrantCase{"Denied", Install, L"D:(D;OICI;FA;;;WD)", &Plain, {}, 0, false, 0, kGranted, 0, {false}},
        GrantCase{"OtherTrustee", Install, L"D:(A;OICI;FA;;;BU)", &Plain, {}, 0, false, 0, kGranted, 0, {false}},
        // What the new entry, pushed down the tree, would reach through.
        GrantCase{"FolderLinkBelow", Install, nullptr,
                  [](const std::wstring& folder, const std::wstring& elsewhere) {
                      Plain(folder, elsewhere);
                      return LinkBelow(folder + L"\\Sub\\Link", elsewhere, LinkKind::kSymbolic);
                  },
                  {}, 0, false, 0, kStopped, 0, {}},
        GrantCase{"SecondNameOfAFileBelow", Install, nullptr,
                  [](const std::wstring& folder, const std::wstring& elsewhere) {
                      Plain(folder, elsewhere);
                      return LinkBelow(folder + L"\\Sub\\Deeper\\system.dll", elsewhere + L"\\system.dll",
                                       LinkKind::kHard);
                  },
                  {}, 0, false, 0, kStopped, 0, {}},
        // A file below that cannot be opened cannot be judged.
        GrantCase{"FileBelowRefused", Install, nullptr, &Plain,
                  Replacement("NtCreateFile", NtCreateFile, &RefuseCatalog), 0, false, 0, kStopped, 0, {}},
        // A listing that broke off tells nothing of what it did not reach.
        GrantCase{"ListingBrokeOff", Install, nullptr, &Plain,
                  Replacement("NtQueryDirectoryFile", NtQueryDirectoryFile, &BreakListing),
                  static_cast<DWORD>(0xC0000022L), false, 0, kStopped, 0, {}},
        // Walked by names, a tree reaches any depth below the folder.
        GrantCase{"DeeperThanAPath", Install, nullptr,
                  [](const std::wstring& folder, const std::wstring&) { return DeepFolder(folder, 250); },
                  {}, 0, false, 0, kGranted, 0, {false}}),
    [](const testing::TestParamInfo<GrantCase>& info) { return std::string(info.param.name); });

}  // namespace
