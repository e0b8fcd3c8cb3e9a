#include "actions/permissions.h"

#include <aclapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "base/checked_text.h"
#include "base/folder_tree.h"
#include "base/guards.h"
#include "base/no_follow.h"
#include "hook/log.h"
#include "hook/product.h"

namespace {

const wchar_t kDataFolder[] = VLX_WIDE(VLX_DATA_FOLDER);
const size_t kFolderChars = 1024;

// An entry that already gives Everyone what the grant gives: set on the
// folder itself (not inherited), allowing all access, inherited by
// sub-folders and files and applying to the folder too. The platform keeps
// GENERIC_ALL as it was given or maps it to FILE_ALL_ACCESS.
bool GrantsEveryoneFullAccess(PACL list, PSID everyone) {
    if (list == nullptr) {
        return false;
    }
    const BYTE inherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(list, i, &entry)) {
            return false;
        }
        const auto* allow = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        const BYTE flags = allow->Header.AceFlags;
        const ACCESS_MASK mask = allow->Mask;
        if (allow->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (flags & inherited) == inherited &&
            (flags & (INHERITED_ACE | INHERIT_ONLY_ACE)) == 0 &&
            ((mask & GENERIC_ALL) != 0 || (mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS) &&
            EqualSid(const_cast<DWORD*>(&allow->SidStart), everyone)) {
            return true;
        }
    }
    return false;
}

// Looks through the tree for what a pushed-down entry would reach through:
// a link (it leads out of the tree), a file with another name (its access
// list is the other name's too), or a folder that cannot be opened or listed
// (what is there cannot be judged).
class PropagationCheck final : public TreeVisitor {
public:
    bool safe = true;

    Step Entry(HANDLE folder, const ListedEntry& entry) override {
        if (IsLink(entry.attributes, entry.tag)) {
            return Unsafe();
        }
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return kDescend;
        }
        // A file is safe when it opens as the one listed, with no other
        // name. One gone since the listing is nothing for the entry to reach.
        FileHandle file;
        const DWORD opened = OpenListed(folder, entry, 0, kFileItem, &file);
        return opened == ERROR_SUCCESS || NotThere(opened) ? kNext : Unsafe();
    }
    Step NotOpened(DWORD) override { return Unsafe(); }
    DWORD Leave(FileHandle*, const ListedEntry&, DWORD listingError, bool, bool) override {
        if (listingError != ERROR_NO_MORE_FILES) {
            safe = false;
        }
        return ERROR_SUCCESS;
    }

private:
    Step Unsafe() {
        safe = false;
        return kStop;
    }
};

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
// and files, into the access list of the proven folder open at folder
// (opened with its listing, READ_CONTROL and WRITE_DAC); when that cannot be
// done, sets a null list instead. Writes nothing when the list already grants
// Everyone full inherited access, or when the tree below the folder holds a
// link, a file with more than one name, or a folder that cannot be opened or
// listed: the platform pushes the new entry down to every item below the
// folder, and through such an item it would reach a file elsewhere. 0 on
// success or when nothing was needed, kLinkInPath when the tree stopped the
// grant, otherwise a Win32 error code.
uint32_t GrantEveryoneFullAccess(FileHandle* folder, const ListedEntry& entry) {
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    PACL currentList = nullptr;
    const DWORD read = GetSecurityInfo(folder->get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                       nullptr, &currentList, nullptr, descriptor.put());
    if (read != ERROR_SUCCESS) {
        return read;
    }

    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    Sid everyone;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                  everyone.put())) {
        return GetLastError();
    }
    if (GrantsEveryoneFullAccess(currentList, everyone.get())) {
        return ERROR_SUCCESS;
    }
    // The walk goes through the folder's own handle, down by names.
    PropagationCheck tree;
    if (WalkTree(folder, false, entry, &tree) != ERROR_SUCCESS || !tree.safe) {
        return kLinkInPath;
    }

    EXPLICIT_ACCESS_W access = {};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.pMultipleTrustee = nullptr;
    access.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(everyone.get());

    LocalMemory<PACL> newList;
    const DWORD merged = SetEntriesInAclW(1, &access, currentList, newList.put());
    if (merged == ERROR_SUCCESS &&
        SetSecurityInfo(folder->get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        newList.get(), nullptr) == ERROR_SUCCESS) {
        return ERROR_SUCCESS;
    }
    // No list at all: the platform then grants everyone full access.
    return SetSecurityInfo(folder->get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                           nullptr, nullptr);
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
    // Checked and changed through one handle, so that no link can be put in
    // between: on Windows the new entry is pushed down to everything below
    // the folder the handle really is.
    FileHandle handle;
    ListedEntry entry;
    const DWORD opened =
        OpenBelow(base, folder, kFolderListing | READ_CONTROL | WRITE_DAC, kFolderItem, &handle, &entry);
    const uint32_t result = opened == ERROR_SUCCESS ? GrantEveryoneFullAccess(&handle, entry) : opened;
    if (IsRefusedAsLink(result)) {
        LogLinkSkipped(context);
        return 0;
    }
    LogFormattedLine(context, L"         Folder: \"%ls\"", folder);
    LogFormattedLine(context, L"         Return code: %d", static_cast<int>(result));
    return 0;
}
