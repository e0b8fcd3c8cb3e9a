#include "actions/grant_push.h"

#include <aclapi.h>

#include <stdlib.h>

#include "base/errors.h"
#include "base/folder_tree.h"
#include "base/no_follow.h"

namespace {

const BYTE kInheritanceFlags = kInheritedByAll | INHERITED_ACE | INHERIT_ONLY_ACE;

// The descriptor's marks that belong to its access list, which a write of the
// list keeps as they were.
const SECURITY_DESCRIPTOR_CONTROL kListControl = SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ;

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

}  // namespace

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

DWORD ReadList(HANDLE item, ListRead* read) {
    const DWORD status = GetSecurityInfo(item, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                         &read->list, nullptr, read->descriptor.put());
    DWORD revision = 0;
    if (status == ERROR_SUCCESS && !GetSecurityDescriptorControl(read->descriptor.get(), &read->control, &revision)) {
        return LastFailure();
    }
    return status;
}

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

DWORD PushGrant(FileHandle* folder, const ListedEntry& entry, PSID everyone, bool* leftLink, DWORD* walked) {
    // The walk goes through the folder's own handle, down by names.
    Push push(everyone);
    *walked = WalkTree(folder, false, entry, &push, kListAccess);
    *leftLink = push.leftLink;
    push.Note(*walked);
    return push.firstError;
}
