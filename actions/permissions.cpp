#include "actions/permissions.h"

#include <aclapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <stdlib.h>

#include "actions/grant_record.h"
#include "base/checked_text.h"
#include "base/folder_tree.h"
#include "base/guards.h"
#include "base/no_follow.h"
#include "hook/log.h"
#include "hook/product.h"

namespace {

const wchar_t kDataFolder[] = VLX_WIDE(VLX_DATA_FOLDER);
const size_t kFolderChars = 1024;

// What the grant reads and writes of each item: its access list.
const DWORD kListAccess = READ_CONTROL | WRITE_DAC;

// The inheritance of the data folder's entry, and of the one a sub-folder
// inherits from it; a file's is INHERITED_ACE alone.
const BYTE kInheritedByAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
const BYTE kInheritanceFlags = kInheritedByAll | INHERITED_ACE | INHERIT_ONLY_ACE;

// The descriptor's marks that belong to its access list, which a write of the
// list keeps as they were.
const SECURITY_DESCRIPTOR_CONTROL kListControl = SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ;

// Whether list holds an entry that allows Everyone all access, with exactly
// the inheritance flags (of kInheritanceFlags). The platform keeps GENERIC_ALL
// as it was given or maps it to FILE_ALL_ACCESS.
bool HoldsEntry(PACL list, PSID everyone, BYTE flags) {
    if (list == nullptr) {
        return false;
    }
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(list, i, &entry)) {
            return false;
        }
        const auto* allow = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        const ACCESS_MASK mask = allow->Mask;
        if (allow->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (allow->Header.AceFlags & kInheritanceFlags) == flags &&
            ((mask & GENERIC_ALL) != 0 || (mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS) &&
            EqualSid(const_cast<DWORD*>(&allow->SidStart), everyone)) {
            return true;
        }
    }
    return false;
}

// A descriptor read through a handle: its access list (null: none at all)
// and the marks of it.
struct ListRead {
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    PACL list = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
};

DWORD ReadList(HANDLE item, ListRead* read) {
    const DWORD status = GetSecurityInfo(item, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                         &read->list, nullptr, read->descriptor.put());
    DWORD revision = 0;
    if (status == ERROR_SUCCESS && !GetSecurityDescriptorControl(read->descriptor.get(), &read->control, &revision)) {
        return LastFailure();
    }
    return status;
}

// Writes list as the access list of the item open at item, with the marks
// of control: through that handle, with a call that pushes nothing down to
// what lies below it. Never a null list.
DWORD WriteList(HANDLE item, PACL list, SECURITY_DESCRIPTOR_CONTROL control) {
    if (list == nullptr) {
        return ERROR_INVALID_ACL;
    }
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, kListControl, control & kListControl)) {
        return LastFailure();
    }
    return LastErrorUnless(SetKernelObjectSecurity(item, DACL_SECURITY_INFORMATION, &descriptor));
}

// list with an entry that allows Everyone FILE_ALL_ACCESS, marked flags,
// into *grown: after its own entries and before the inherited ones, where
// Windows puts what an item inherits from its folder.
DWORD AddInheritedEntry(PACL list, PSID everyone, BYTE flags, HeapArray<BYTE>* grown) {
    const DWORD bytes = list->AclSize + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(everyone);
    grown->reset(static_cast<BYTE*>(malloc(bytes)));
    const auto added = reinterpret_cast<PACL>(grown->get());
    if (added == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (!InitializeAcl(added, bytes, list->AclRevision)) {
        return LastFailure();
    }
    bool placed = false;
    for (DWORD i = 0; i <= list->AceCount; ++i) {
        void* entry = nullptr;
        if (i < list->AceCount && !GetAce(list, i, &entry)) {
            return LastFailure();
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (!placed && (header == nullptr || (header->AceFlags & INHERITED_ACE) != 0)) {
            if (!AddAccessAllowedAceEx(added, ACL_REVISION, flags, FILE_ALL_ACCESS, everyone)) {
                return LastFailure();
            }
            placed = true;
        }
        if (header != nullptr && !AddAce(added, list->AclRevision, MAXDWORD, entry, header->AceSize)) {
            return LastFailure();
        }
    }
    return ERROR_SUCCESS;
}

// The data folder's new entry pushed down its tree by the hook itself,
// through each item's proven handle (opened as its folder lists it), since
// the platform's own push would open every item again by its name. Each item
// whose list is not protected gets the entry it inherits from the folder (a
// sub-folder passes it on); one that holds it already is not written. A link,
// a file with another name, and an item whose list is protected with all
// below it (cut off from its folder on purpose) are left as they are. An
// item that cannot be opened, read or written is left too; the push goes on.
class Push final : public TreeVisitor {
public:
    explicit Push(PSID everyone) : everyone_(everyone) {}

    DWORD firstError = ERROR_SUCCESS;
    bool leftLink = false;  // a link or a file with another name was left

    Step Entry(HANDLE folder, const ListedEntry& entry) override {
        if (IsLink(entry.attributes, entry.tag)) {
            leftLink = true;
            return kNext;
        }
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return kDescend;
        }
        FileHandle file;
        const DWORD opened = OpenListed(folder, entry, kListAccess, kFileItem, &file);
        if (opened != ERROR_SUCCESS) {
            Left(opened);
            return kNext;
        }
        bool passesOn = false;
        Note(Grant(file.get(), INHERITED_ACE, &passesOn));
        return kNext;
    }
    Step NotOpened(DWORD error) override {
        Left(error);
        return kNext;
    }
    // A sub-folder is walked only when its list was read and is not protected.
    Step Enter(HANDLE folder, const ListedEntry&) override {
        bool passesOn = false;
        Note(Grant(folder, kInheritedByAll | INHERITED_ACE, &passesOn));
        return passesOn ? kDescend : kNext;
    }
    DWORD Leave(FileHandle*, const ListedEntry&, DWORD listingError, bool, bool) override {
        if (listingError != ERROR_NO_MORE_FILES) {
            Note(listingError);
        }
        return ERROR_SUCCESS;
    }

    void Note(DWORD error) {
        if (firstError == ERROR_SUCCESS) {
            firstError = error;
        }
    }

private:
    // An item that did not open: gone since its listing (nothing to grant),
    // a link or another item put at its name, or refused.
    void Left(DWORD error) {
        if (IsRefusedAsLink(error)) {
            leftLink = true;
        } else if (!NotThere(error)) {
            Note(error);
        }
    }

    // Gives the item open at item the inherited entry marked flags unless
    // its list is protected or holds it: *passesOn when its list was read and
    // is not protected (what lies below it inherits through it).
    DWORD Grant(HANDLE item, BYTE flags, bool* passesOn) const {
        ListRead read;
        DWORD status = ReadList(item, &read);
        *passesOn = status == ERROR_SUCCESS && (read.control & SE_DACL_PROTECTED) == 0;
        // No list at all lets everyone in already; an entry would only narrow it.
        if (!*passesOn || read.list == nullptr || HoldsEntry(read.list, everyone_, flags)) {
            return status;
        }
        HeapArray<BYTE> granted;
        status = AddInheritedEntry(read.list, everyone_, flags, &granted);
        return status == ERROR_SUCCESS ? WriteList(item, reinterpret_cast<PACL>(granted.get()), read.control) : status;
    }

    PSID everyone_;
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
// name was left.
uint32_t GrantEveryoneFullAccess(const wchar_t* path, FileHandle* folder, const ListedEntry& entry,
                                 bool* leftLink) {
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
    // The walk goes through the folder's own handle, down by names.
    Push push(everyone.get());
    const DWORD walked = WalkTree(folder, false, entry, &push, kListAccess);
    *leftLink = push.leftLink;
    // A walk that could not go on has not reached everything: its record stays.
    if (walked != ERROR_SUCCESS) {
        push.Note(walked);
    } else {
        RemoveGrantRecord(path);
    }
    return push.firstError;
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
    const uint32_t result = opened == ERROR_SUCCESS ? GrantEveryoneFullAccess(folder, &handle, entry, &leftLink)
                                                    : opened;
    if (IsRefusedAsLink(result)) {
        LogLinkSkipped(context);
        return 0;
    }
    if (leftLink) {
        LogLinkSkipped(context);
    }
    LogFormattedLine(context, L"         Folder: \"%ls\"", folder);
    LogFormattedLine(context, L"         Return code: %d", static_cast<int>(result));
    return 0;
}
