#include "actions/permissions.h"

#include <aclapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "actions/grant_push.h"
#include "actions/grant_record.h"
#include "base/checked_text.h"
#include "base/guards.h"
#include "base/no_follow.h"
#include "hook/log.h"
#include "hook/product.h"

namespace {

const wchar_t kDataFolder[] = VLX_WIDE(VLX_DATA_FOLDER);
const size_t kFolderChars = 1024;

// True when path (a folder, no trailing backslash) exists: a search of its
// entries finds anything (an empty folder has "." and "..").
bool FolderExists(const wchar_t* path) {
    wchar_t pattern[kFolderChars];
    if (path[0] == L'\0' || !CheckedJoin(pattern, {path, L"\\*.*"})) {
        return false;
    }
    WIN32_FIND_DATAW entry;
    const FindHandle search(FindFirstFileW(pattern, &entry));
    return search.valid();
}

// Merges an allow-full-access entry for Everyone, inherited by sub-folders
// and files, into the list read of the data folder at path, open at folder,
// and writes it: recorded first, so that a run killed before the push has
// ended pushes again. Never a null list: a failed merge or write leaves the
// folder as it was, and no record.
DWORD GrantFolder(const wchar_t* path, HANDLE folder, const ListRead& read, PSID everyone) {
    EXPLICIT_ACCESS_W access = {};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.pMultipleTrustee = nullptr;
    access.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
    LocalMemory<PACL> newList;
    DWORD status = SetEntriesInAclW(1, &access, read.list, newList.put());
    if (status == ERROR_SUCCESS) {
        status = WriteGrantRecord(path);
    }
    if (status == ERROR_SUCCESS) {
        status = WriteList(folder, newList.get(), read.control);
        if (status != ERROR_SUCCESS) {
            RemoveGrantRecord(path);
        }
    }
    return status;
}

// Grants the proven data folder at path, open at folder (with its listing,
// READ_CONTROL and WRITE_DAC), Everyone's full access (GrantFolder) and
// pushes the entry down its tree (Push); the push's record goes once it has
// ended. Writes nothing when the list already grants Everyone full inherited
// access and no push is recorded. 0, or the first error (the folder's own, or
// the first item's below it); *leftLink when a link or a file with another
// name was left, *bounded when the push stopped at a bound of its walk.
uint32_t GrantEveryoneFullAccess(const wchar_t* path, FileHandle* folder, const ListedEntry& entry, bool* leftLink,
                                 bool* bounded) {
    ListRead read;
    DWORD status = ReadList(folder->get(), &read);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    Sid everyone;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.put())) {
        return GetLastError();
    }
    if (HoldsEntry(read.list, everyone.get(), kInheritedByAll)) {
        if (!GrantRecorded(path)) {
            return ERROR_SUCCESS;
        }
    } else {
        status = GrantFolder(path, folder->get(), read, everyone.get());
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    DWORD walked = ERROR_SUCCESS;
    const DWORD pushed = PushGrant(folder, entry, everyone.get(), leftLink, &walked);
    // A walk that stopped has not reached everything: its record stays.
    if (walked == ERROR_SUCCESS) {
        RemoveGrantRecord(path);
    }
    *bounded = walked == kWalkBound;
    return pushed;
}

}  // namespace

int32_t FixPermission(const HookContext* context) {
    LogMessage(context, "VLX: FixPermission", kLogLevelProgress);
    wchar_t base[kFolderChars] = {};
    // Never "\Kestrune\..." at the root of the current drive.
    if (!SHGetSpecialFolderPathW(nullptr, base, CSIDL_COMMON_APPDATA, FALSE) || base[0] == L'\0') {
        LogMessage(context, "VLX: Common application data folder not found. Permission not changed.",
                   kLogLevelProgress);
        return 0;
    }
    PathRemoveBackslashW(base);
    wchar_t folder[kFolderChars] = {};
    if (!CheckedJoin(folder, {base, kDataFolder})) {
        LogPathTooLong(context);
        return 0;
    }
    if (!FolderExists(folder)) {
        return 0;
    }
    // Read and changed through one handle, opened as its folder lists it.
    FileHandle handle;
    ListedEntry entry;
    const DWORD opened = OpenBelow(base, folder, kFolderListing | kListAccess, kFolderItem, &handle, &entry);
    bool leftLink = false;
    bool bounded = false;
    const uint32_t result =
        opened == ERROR_SUCCESS ? GrantEveryoneFullAccess(folder, &handle, entry, &leftLink, &bounded) : opened;
    if (IsRefusedAsLink(result)) {
        LogLinkSkipped(context);
        return 0;
    }
    if (leftLink) {
        LogLinkSkipped(context);
    }
    if (bounded) {
        LogWalkBound(context);
    }
    LogFormattedLine(context, L"         Folder: \"%ls\"", folder);
    LogFormattedLine(context, L"         Return code: %d", static_cast<int>(result));
    return 0;
}
