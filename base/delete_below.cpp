#include "base/delete_below.h"

#include "base/checked_text.h"
#include "base/move_aside.h"

namespace {

// What our headers (written for Windows 7) do not name: deletion with POSIX
// semantics (Windows 10 1709 and later, on NTFS), which frees the name when
// the deleting handle closes whoever else holds the item open, and its flag
// that lets a read-only file go (1809 and later).
const FILE_INFO_BY_HANDLE_CLASS kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
const DWORD kDispositionDelete = 0x1;
const DWORD kDispositionPosixSemantics = 0x2;
const DWORD kDispositionIgnoreReadOnly = 0x10;
struct DispositionInfoEx {
    DWORD flags;
};

// The attributes a forced deletion clears (and puts back when it fails), and
// those a change through FileBasicInfo may set at all.
const DWORD kClearedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
const DWORD kSettableAttributes = kClearedAttributes | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                                  FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

DWORD SetAttributes(HANDLE item, DWORD attributes) {
    FILE_BASIC_INFO basic = {};  // times left at 0: unchanged
    basic.FileAttributes = attributes & kSettableAttributes;
    if (basic.FileAttributes == 0) {
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    return LastErrorUnless(SetFileInformationByHandle(item, FileBasicInfo, &basic, sizeof(basic)));
}

// Clears read-only, hidden and system when any is set: true when it did, and
// the attributes are then to be put back should the item stay. A failure
// shows in the deletion itself.
bool ClearAttributes(HANDLE item, DWORD attributes) {
    return (attributes & kClearedAttributes) != 0 && SetAttributes(item, FILE_ATTRIBUTE_NORMAL) == ERROR_SUCCESS;
}

// POSIX-semantics deletion; an answer IsUnsupported tells where the volume
// or the system does not know it.
DWORD DeleteWithPosixSemantics(HANDLE item, bool ignoreReadOnly) {
    DispositionInfoEx disposition = {kDispositionDelete | kDispositionPosixSemantics |
                                     (ignoreReadOnly ? kDispositionIgnoreReadOnly : 0)};
    return LastErrorUnless(SetFileInformationByHandle(item, kDispositionInfoEx, &disposition, sizeof(disposition)));
}

// The old mark: removal happens when the last handle closes, and until then
// the name stays taken; a folder that is not empty is refused with
// ERROR_DIR_NOT_EMPTY.
DWORD MarkForDeletion(HANDLE item) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return LastErrorUnless(SetFileInformationByHandle(item, FileDispositionInfo, &disposition, sizeof(disposition)));
}

// The old mark for a file that another program holds: it steps aside in its
// own folder first and takes its name back when the mark is refused (a
// module in use, for one). Nothing is marked when no name can be had. The
// record of the rename goes once the file is marked or has its name back;
// a file left under its temporary name keeps it, for the next run. A file
// that its volume gives no identity, or whose temporary path would pass the
// path limit (the rename through the folder's handle would succeed, but the
// next run could neither prove nor open it), is marked under its own name,
// which then stays taken until the other program lets go.
DWORD MarkHeld(HANDLE folder, const wchar_t* base, const wchar_t* path, HANDLE deleting, bool force,
               LeftAside* leftAside) {
    if (LeafAt(path) + kTemporaryNameChars > kPathChars) {
        return MarkForDeletion(deleting);
    }
    DeletionRecord record = {};
    record.forced = force ? 1 : 0;
    DWORD status = IdentifyFile(deleting, &record);
    if (status == kNoFileIdentity) {
        return MarkForDeletion(deleting);
    }
    wchar_t temporaryPath[kPathChars] = {};
    if (status == ERROR_SUCCESS) {
        status = MoveAside(folder, deleting, base, path, record, temporaryPath);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = MarkForDeletion(deleting);
    const DWORD back = status != ERROR_SUCCESS ? MoveBack(folder, deleting, path) : ERROR_SUCCESS;
    if (back == ERROR_SUCCESS) {
        RemoveDeletionRecord(temporaryPath);
    } else if (leftAside != nullptr) {
        CheckedCopy(leftAside->name, temporaryPath + LeafAt(temporaryPath));
        leftAside->error = back;
    }
    return status;
}

// What deleting a leftover answers for a file that is not the one recorded
// (another file, or the file with a second name).
const DWORD kNotRecordedFile = ERROR_NOT_FOUND;

// Deletes the file that entry lists in the proven folder open at folder, at
// path below base. A leftover (recorded: the file a record names, under its
// temporary name) must be that very file on the volume recorded
// (ERROR_WRONG_DISK for another volume), and is never renamed.
DWORD DeleteListed(HANDLE folder, const ListedEntry& entry, const wchar_t* base, const wchar_t* path, bool force,
                   const DeletionRecord* recorded, LeftAside* leftAside) {
    // Opened for its attributes alone, which keeps no other program out and
    // leaves the hook free to ask whether one holds the file.
    FileHandle item;
    DWORD status = OpenListed(folder, entry, force ? FILE_WRITE_ATTRIBUTES : 0, kShareAll, kFileItem, &item);
    if (status == ERROR_SUCCESS) {
        status = SingleName(item.get());
        // A leftover with a second name is not ours either.
        status = recorded != nullptr && status == kLinkInPath ? kNotRecordedFile : status;
    }
    if (status == ERROR_SUCCESS && recorded != nullptr) {
        RecordedFileMatch match = kOtherFile;
        status = MatchRecordedFile(item.get(), *recorded, &match);
        if (status == ERROR_SUCCESS && match != kRecordedFile) {
            status = match == kOtherVolume ? ERROR_WRONG_DISK : kNotRecordedFile;
        }
    }
    // Every handle that deletes is that very file, opened again through it.
    FileHandle deleting;
    if (status == ERROR_SUCCESS) {
        status = Reopen(item.get(), DELETE, kShareAll, kFileItem, &deleting);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = DeleteWithPosixSemantics(deleting.get(), force);
    if (!IsUnsupported(status)) {
        return status;
    }
    // A plain deletion of a read-only file cannot succeed: nothing is tried.
    const DWORD attributes = entry.attributes;
    if (!force && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    // Held by nobody else, the file needs no other name: the mark frees its
    // name when the hook's handles close.
    deleting.reset();
    status = Reopen(item.get(), DELETE, 0, kFileItem, &deleting);
    const bool held = status == ERROR_SHARING_VIOLATION;
    if (held) {
        status = Reopen(item.get(), DELETE, kShareAll, kFileItem, &deleting);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // Attributes that a forced deletion clears are put back should the file stay.
    const bool cleared = force && ClearAttributes(item.get(), attributes);
    status = held && recorded == nullptr ? MarkHeld(folder, base, path, deleting.get(), force, leftAside)
                                         : MarkForDeletion(deleting.get());
    if (status != ERROR_SUCCESS && cleared) {
        SetAttributes(item.get(), attributes);
    }
    return status;
}

// Deletes the file at path below base, as the proven folder open at folder
// (not yet listed) lists it.
DWORD DeleteIn(HANDLE folder, const wchar_t* base, const wchar_t* path, bool force, LeftAside* leftAside) {
    ListedEntry entry;
    const DWORD status = ListEntry(folder, path + LeafAt(path), &entry);
    return status == ERROR_SUCCESS ? DeleteListed(folder, entry, base, path, force, nullptr, leftAside) : status;
}

// Deletes the file at path below base, its folder opened below base.
DWORD DeleteFileAt(const wchar_t* base, const wchar_t* path, bool force, LeftAside* leftAside) {
    FileHandle folder;
    size_t leaf = 0;
    const DWORD status = OpenParentBelow(base, path, &folder, &leaf);
    return status == ERROR_SUCCESS ? DeleteIn(folder.get(), base, path, force, leftAside) : status;
}

// Whether the volume that answers at the root of path ("C:\" or
// "\\server\share\") is the one record names: 0 when it is,
// ERROR_WRONG_DISK when another is (a disk swapped, a share remapped), or
// why the root does not open (an unplugged drive, a share offline).
DWORD RecordedVolumeAt(const wchar_t* path, const DeletionRecord& record) {
    wchar_t root[kPathChars];
    const size_t name = VolumeNameLength(path);
    if (name == 0 || !CheckedCopy(root, path)) {
        return ERROR_INVALID_PARAMETER;
    }
    root[name] = L'\0';
    if (!CheckedAppend(root, L"\\")) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    const FileHandle opened(CreateFileW(root, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened.valid()) {
        return LastFailure();
    }
    RecordedFileMatch match = kOtherVolume;
    const DWORD status = MatchRecordedFile(opened.get(), record, &match);
    return status != ERROR_SUCCESS ? status : match == kOtherVolume ? ERROR_WRONG_DISK : ERROR_SUCCESS;
}

}  // namespace

DWORD DeleteBelow(const wchar_t* base, const wchar_t* path, LeftAside* leftAside) {
    return DeleteFileAt(base, path, false, leftAside);
}

DWORD ForceDeleteBelow(const wchar_t* base, const wchar_t* path, LeftAside* leftAside) {
    return DeleteFileAt(base, path, true, leftAside);
}

DWORD ForceDeleteIn(HANDLE folder, const wchar_t* base, const wchar_t* path, LeftAside* leftAside) {
    return DeleteIn(folder, base, path, true, leftAside);
}

DWORD RemoveOpenFolder(HANDLE folder, DWORD attributes, FolderRemoval how, bool* posix) {
    const bool clear = how == kClearingRemoval && (attributes & kClearedAttributes) != 0;
    if (clear) {
        const DWORD cleared = SetAttributes(folder, FILE_ATTRIBUTE_NORMAL);
        if (cleared != ERROR_SUCCESS) {
            return cleared;
        }
    }
    // With POSIX semantics an emptied folder that another program holds
    // leaves its parent at once, and the parent can go too.
    DWORD removed = posix == nullptr || *posix ? DeleteWithPosixSemantics(folder, false) : ERROR_NOT_SUPPORTED;
    if (IsUnsupported(removed)) {
        removed = MarkForDeletion(folder);
        if (posix != nullptr) {
            *posix = false;
        }
    }
    if (removed != ERROR_SUCCESS && clear) {
        SetAttributes(folder, attributes);
    }
    return removed;
}

LeftoverFound FinishLeftover(const wchar_t* leftover, const DeletionRecord& record, DWORD* error) {
    FileHandle folder;
    ListedEntry entry;
    *error = ListBelow(record.base, leftover, &folder, &entry);
    if (*error != ERROR_SUCCESS) {
        // Gone only from the volume recorded: a missing name may be a disk
        // that is away or another volume at its letter, and the record waits
        // for it. A link on the way leads elsewhere, and the leftover may
        // still be where it was: nothing can be told.
        if (!NotThere(*error)) {
            return kLeftoverStays;
        }
        const DWORD volume = RecordedVolumeAt(leftover, record);
        if (volume == ERROR_WRONG_DISK) {
            *error = volume;
        }
        return volume == ERROR_SUCCESS ? kLeftoverGone : kLeftoverStays;
    }
    // A link or a folder at the name is not ours.
    if (IsLink(entry.attributes, entry.tag) || (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return kLeftoverNotOurs;
    }
    *error = DeleteListed(folder.get(), entry, record.base, leftover, record.forced != 0, &record, nullptr);
    if (*error == kNotRecordedFile) {
        return kLeftoverNotOurs;
    }
    return *error == ERROR_SUCCESS ? kLeftoverDeleted : kLeftoverStays;
}
