// The data folder's grant (permission_fixture.h): when it is written, and
// when it is not: what the folder's list already says, what the tree below
// it holds, and failures on the way.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/nt_file.h"
#include "tests/e2e/kept_lists.h"
#include "tests/e2e/permission_fixture.h"
#include "tests/support/environment.h"
#include "tests/support/iat_patch.h"
#include "tests/support/links.h"

namespace {

// What the grant's tests put in place of the DLL's imports besides the lists
// kept as Windows keeps them (kept_lists.h): a recorder of what the hook
// hands to SetEntriesInAclW, and failures.
struct RecordedEntry {
    ULONG count = 0;
    EXPLICIT_ACCESS_W access = {};
    std::wstring trustee;  // the SID as text
    bool hadOldList = false;
};
RecordedEntry g_entry;
DWORD g_failure = 0;
bool g_failMerge = false;

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

DWORD WINAPI FailGetSecurityInfo(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                 PSECURITY_DESCRIPTOR*) {
    return g_failure;
}

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

// Every item of the plain layout, and the folder itself.
const std::vector<std::wstring> kPlainItems = {L"", L"Sub", L"Sub\\Deeper", L"Sub\\Deeper\\catalog.db", L".hidden"};

std::vector<std::wstring> Without(std::vector<std::wstring> items, const std::vector<std::wstring>& left) {
    for (const std::wstring& item : left) {
        items.erase(std::remove(items.begin(), items.end(), item), items.end());
    }
    return items;
}

struct GrantCase {
    const char* name;
    InstallMode mode;
    std::map<std::wstring, std::wstring> lists;  // lists as Windows keeps them, by item; the rest as read
    Layout layout;
    ImportReplacement failing;   // an import that fails outright; none: null name
    DWORD failure;               // its error, or the merge's or a write's
    bool failMerge;
    const wchar_t* failWrite;    // the item whose write fails; null: none
    bool recorded;               // a killed run's push is recorded
    bool linkLeft;               // the link line
    int code;                    // in the return-code line; -1: no lines (uninstall)
    std::vector<std::wstring> written;  // the items written, the folder ("") first
};

class PermissionGrantTest : public PermissionTest, public testing::WithParamInterface<GrantCase> {};

TEST_P(PermissionGrantTest, WritesOnlyWhereNeededAndSafe) {
    const GrantCase& c = GetParam();
    ASSERT_TRUE(MakeFolders(folder));
    const std::wstring elsewhere = CommonAppData() + L"\\VLX Elsewhere";
    ASSERT_TRUE(WriteTextFile(elsewhere + L"\\system.dll", "not ours"));
    std::shared_ptr<void> laidOut = c.layout(folder, elsewhere);
    const std::wstring records = std::wstring(kDeletionRecordsKey) + L"\\Grants";
    if (c.recorded) {
        ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, records, folder.c_str(), L"", REG_SZ, 0);
    }
    KeptLists kept(hook.module(), c.lists, c.failWrite != nullptr ? c.failWrite : L"-", c.failure);
    ImportPatches patches(hook.module());
    patches.Add(Replacement("SetEntriesInAclW", SetEntriesInAclW, &RecordSetEntries));
    patches.Add(c.failing);  // over the answers above
    g_entry = RecordedEntry();
    g_failure = c.failure;
    g_failMerge = c.failMerge;

    const char* entry = c.mode == Install ? "In InstallSessionCloseProc" : c.mode == Reinstall
                                                                             ? "In ReinstallSessionCloseProc"
                                                                             : "In UninstallSessionCloseProc";
    Lines expected = L4s({entry});
    if (c.code >= 0) {
        const Lines granted = FixPermissionLines(folder, c.code);
        expected = expected + Lines{granted[0]} + (c.linkLeft ? L4s({kLinkSkippedLine}) : Lines()) +
                   Lines(granted.begin() + 1, granted.end());
    }
    EXPECT_EQ(Run(c.mode), expected);
    std::vector<std::wstring> written = kept.written;
    std::sort(written.begin(), written.end());
    std::vector<std::wstring> expectedWritten = c.written;
    std::sort(expectedWritten.begin(), expectedWritten.end());
    EXPECT_EQ(written, expectedWritten) << "each item written once, through its handle";
    EXPECT_TRUE(c.written.empty() || !c.written[0].empty() || kept.written[0].empty()) << "the folder first";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, records)) << "the push's record goes once it ends";
    // Each item written holds, beside what it held, the entry it inherits from the folder.
    for (const std::wstring& item : c.written) {
        if (!item.empty() && (c.failWrite == nullptr || item != c.failWrite)) {
            const bool isFolder = (GetFileAttributesW((folder + L"\\" + item).c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
            EXPECT_EQ(kept.lists[item], WithInheritedEntry(kept.asRead[item], isFolder ? L"OICIID" : L"ID"))
                << ToUtf8(item);
        }
    }
    if (!c.written.empty() && c.written[0].empty() && c.code == 0) {
        EXPECT_TRUE(EveryoneHasFullAccess(folder));
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
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kDeletionRecordsKey);
}

const std::map<std::wstring, std::wstring> kAsRead;

// A link below the folder to elsewhere (a folder, or a second name of a file there) beside the plain layout.
Layout PlainWith(const wchar_t* link, const wchar_t* target, LinkKind kind) {
    return [=](const std::wstring& folder, const std::wstring& elsewhere) {
        Plain(folder, elsewhere);
        return LinkBelow(folder + link, elsewhere + target, kind);
    };
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PermissionGrantTest,
    testing::Values(
        GrantCase{"Install", Install, kAsRead, &Plain, {}, 0, false, nullptr, false, false, 0, kPlainItems},
        GrantCase{"Reinstall", Reinstall, kAsRead, &Plain, {}, 0, false, nullptr, false, false, 0, kPlainItems},
        GrantCase{"Uninstall", Uninstall, kAsRead, &Plain, {}, 0, false, nullptr, false, false, -1, {}},
        // Failures, each with its code in the return-code line; nothing is
        // written where the folder's own write failed, never a null list.
        GrantCase{"ListNotReadable", Install, kAsRead, &Plain,
                  Replacement("GetSecurityInfo", GetSecurityInfo, &FailGetSecurityInfo), ERROR_ACCESS_DENIED,
                  false, nullptr, false, false, 5, {}},
        GrantCase{"EveryoneNotBuilt", Install, kAsRead, &Plain,
                  Replacement("AllocateAndInitializeSid", AllocateAndInitializeSid, &FailAllocateSid),
                  ERROR_NOT_ENOUGH_MEMORY, false, nullptr, false, false, 8, {}},
        GrantCase{"MergeFailedNothingWritten", Install, kAsRead, &Plain, {}, ERROR_INVALID_PARAMETER, true,
                  nullptr, false, false, 87, {}},
        GrantCase{"WriteFailedNothingElseWritten", Install, kAsRead, &Plain, {}, ERROR_ACCESS_DENIED, false, L"",
                  false, false, 5, {L""}},
        // An item below whose write fails is left; the push goes on.
        GrantCase{"ItemWriteFailedPushGoesOn", Install, kAsRead, &Plain, {}, ERROR_ACCESS_DENIED, false,
                  L"Sub\\Deeper\\catalog.db", false, false, 5, kPlainItems},
        // Granted once: an explicit allow-all entry for Everyone, inherited
        // by folders and files and applying here, as the platform keeps it
        // or as given. Anything less is written.
        GrantCase{"GrantedAlready", Install, {{L"", L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;WD)"}}, &Plain, {}, 0, false,
                  nullptr, false, false, 0, {}},
        GrantCase{"GrantedAlreadyGeneric", Install, {{L"", L"D:(A;OICI;GA;;;WD)"}}, &Plain, {}, 0, false, nullptr,
                  false, false, 0, {}},
        GrantCase{"OnlyInherited", Install, {{L"", L"D:(A;OICIID;FA;;;WD)"}}, &Plain, {}, 0, false, nullptr, false,
                  false, 0, kPlainItems},
        GrantCase{"OnlyBelow", Install, {{L"", L"D:(A;OICIIO;FA;;;WD)"}}, &Plain, {}, 0, false, nullptr, false,
                  false, 0, kPlainItems},
        GrantCase{"NotToFiles", Install, {{L"", L"D:(A;CI;FA;;;WD)"}}, &Plain, {}, 0, false, nullptr, false, false,
                  0, kPlainItems},
        GrantCase{"LessThanAll", Install, {{L"", L"D:(A;OICI;0x1301ff;;;WD)"}}, &Plain, {}, 0, false, nullptr,
                  false, false, 0, kPlainItems},
        GrantCase{"Denied", Install, {{L"", L"D:(D;OICI;FA;;;WD)"}}, &Plain, {}, 0, false, nullptr, false, false, 0,
                  kPlainItems},
        GrantCase{"OtherTrustee", Install, {{L"", L"D:(A;OICI;FA;;;BU)"}}, &Plain, {}, 0, false, nullptr, false,
                  false, 0, kPlainItems},
        // A killed run's push, recorded, is pushed again though the folder holds its entry.
        GrantCase{"KilledDuringThePushFinished", Install, {{L"", L"D:(A;OICI;FA;;;WD)"}}, &Plain, {}, 0, false,
                  nullptr, true, false, 0, Without(kPlainItems, {L""})},
        // An item's own entries stay first, its inherited ones after the new
        // one; one that holds the entry already is not written; a protected
        // list and all below it are left.
        GrantCase{"InheritedEntries", Install,
                  {{L".hidden", L"D:AI(A;;FA;;;BA)(A;ID;FR;;;BU)"}, {L"Sub\\Deeper\\catalog.db", L"D:(A;ID;FA;;;WD)"}},
                  &Plain, {}, 0, false, nullptr, false, false, 0, Without(kPlainItems, {L"Sub\\Deeper\\catalog.db"})},
        GrantCase{"ProtectedBelowLeft", Install, {{L"Sub", L"D:P(A;OICI;FA;;;SY)"}}, &Plain, {}, 0, false, nullptr,
                  false, false, 0, {L"", L".hidden"}},
        // What a link leads to keeps its list; the rest is granted, and the link said once.
        GrantCase{"FolderLinkBelow", Install, kAsRead, PlainWith(L"\\Sub\\Link", L"", LinkKind::kSymbolic), {}, 0,
                  false, nullptr, false, true, 0, kPlainItems},
        GrantCase{"SecondNameOfAFileBelow", Install, kAsRead,
                  PlainWith(L"\\Sub\\Deeper\\system.dll", L"\\system.dll", LinkKind::kHard), {}, 0, false, nullptr,
                  false, true, 0, kPlainItems},
        // A file below that cannot be opened is left, with its error.
        GrantCase{"FileBelowRefused", Install, kAsRead, &Plain,
                  Replacement("NtCreateFile", NtCreateFile, &RefuseCatalog), 0, false, nullptr, false, false, 5,
                  Without(kPlainItems, {L"Sub\\Deeper\\catalog.db"})},
        // A listing that broke off: what it did not reach is left, with its error.
        GrantCase{"ListingBrokeOff", Install, kAsRead, &Plain,
                  Replacement("NtQueryDirectoryFile", NtQueryDirectoryFile, &BreakListing),
                  static_cast<DWORD>(0xC0000022L), false, nullptr, false, false, 5, {L""}},
        // Walked by names, a tree reaches any depth below the folder.
        GrantCase{"DeeperThanAPath", Install, kAsRead,
                  [](const std::wstring& folder, const std::wstring&) { return DeepFolder(folder, 250); },
                  {}, 0, false, nullptr, false, false, 0, {L"", std::wstring(250, L'd')}}),
    [](const testing::TestParamInfo<GrantCase>& info) { return std::string(info.param.name); });

}  // namespace
