#include "base/delete_below.h"

#include "base/checked_text.h"
#include "base/move_aside.h"
#include "base/nt_file.h"

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

// Whether the item open at item lies on a volume that a server holds, or
// its volume cannot be told.
bool OnRemoteVolume(HANDLE item) {
    VlxFileFsDeviceInformation device = {};
    VlxIoStatusBlock io = {};
    const VlxNtStatus status =
        NtQueryVolumeInformationFile(item, &io, &device, sizeof(device), kVlxFileFsDeviceInformation);
    return !VlxNtSuccess(status) || (device.Characteristics & kVlxFileRemoteDevice) != 0;
}

// One file's deletion: where the file is and how it goes.
struct FileDeletion {
    HANDLE folder;                   // the proven folder that lists it
    const wchar_t* base;             // the base folder it was found below
    const wchar_t* path;             // its path, below base
    bool force;                      // read-only, hidden and system do not stop it
    const DeletionRecord* recorded;  // a leftover's record: that very file, on that volume, never renamed
    LeftAside* leftAside;            // where a file left under another name is told, when given
};

// The old mark for a file that another program holds (the way it goes:
// delete_below.h): set aside first where it can be, given its own name back
// should the mark be refused. Nothing is marked when no name can be had.
DWORD MarkHeld(const FileDeletion& deletion, HANDLE deleting) {
    // The rename through the folder's handle would succeed, but the next run
    // could neither prove nor open a file past the path limit. On a share the
    // new name is a path that the server resolves, following its own links.
    if (LeafAt(deletion.path) + kTemporaryNameChars > kPathChars || OnRemoteVolume(deleting)) {
        return MarkForDeletion(deleting);
    }
    DeletionRecord record = {};
    record.forced = deletion.force ? 1 : 0;
    DWORD status = CheckedCopy(record.base, deletion.base) ? IdentifyFile(deleting, &record)
                                                           : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE);
    if (status == kNoFileIdentity) {
        return MarkForDeletion(deleting);
    }
    wchar_t temporaryPath[kPathChars] = {};
    if (status == ERROR_SUCCESS) {
        status = MoveAside(deletion.folder, deleting, deletion.path, record, temporaryPath);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = MarkForDeletion(deleting);
    const DWORD back = status != ERROR_SUCCESS ? MoveBack(deletion.folder, deleting, deletion.path) : ERROR_SUCCESS;
    if (back == ERROR_SUCCESS) {
        RemoveDeletionRecord(temporaryPath);
    } else if (deletion.leftAside != nullptr) {
        CheckedCopy(deletion.leftAside->name, temporaryPath + LeafAt(temporaryPath));
        deletion.leftAside->error = back;
    }
    return status;
}

// Marks by the old mark the file open at item (for its attributes, which
// are attributes), through a handle opened again through it with DELETE.
DWORD MarkFile(const FileDeletion& deletion, HANDLE item, DWORD attributes) {
    // Held by nobody else, the file needs no other name: the mark frees its
    // name when the hook's handles close.
    FileHandle deleting;
    DWORD status = Reopen(item, DELETE, 0, kFileItem, &deleting);
    const bool held = status == ERROR_SHARING_VIOLATION;
    if (held) {
        status = Reopen(item, DELETE, kShareAll, kFileItem, &deleting);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // Attributes that a forced deletion clears are put back should the file stay.
    const bool cleared = deletion.force && ClearAttributes(item, attributes);
    status = held && deletion.recorded == nullptr ? MarkHeld(deletion, deleting.get())
                                                  : MarkForDeletion(deleting.get());
    if (status != ERROR_SUCCESS && cleared) {
        SetAttributes(item, attributes);
    }
    return status;
}

// Deletes the file that entry lists in the deletion's folder: with POSIX
// semantics where they are known, otherwise by the old mark. A leftover must
// be the very file recorded (ERROR_WRONG_DISK for another volume,
// kNotRecordedFile for another file).
DWORD DeleteListed(const FileDeletion& deletion, const ListedEntry& entry) {
    // Opened for its attributes alone, which keeps no other program out and
    // leaves the hook free to ask whether one holds the file.
    FileHandle item;
    DWORD status = OpenListed(deletion.folder, entry, deletion.force ? FILE_WRITE_ATTRIBUTES : 0, kFileItem, &item);
    if (status == ERROR_SUCCESS && deletion.recorded != nullptr) {
        status = MatchRecordedFile(item.get(), *deletion.recorded);
    }
    // Every handle that deletes is that very file, opened again through it.
    FileHandle deleting;
    if (status == ERROR_SUCCESS) {
        status = Reopen(item.get(), DELETE, kShareAll, kFileItem, &deleting);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = DeleteWithPosixSemantics(deleting.get(), deletion.force);
    if (!IsUnsupported(status)) {
        return status;
    }
    // A plain deletion of a read-only file cannot succeed: nothing is tried.
    if (!deletion.force && (entry.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    deleting.reset();
    return MarkFile(deletion, item.get(), entry.attributes);
}

// Deletes the file at path below base, as its folder, opened below base, lists it.
DWORD DeleteAt(const wchar_t* base, const wchar_t* path, bool force, LeftAside* leftAside) {
    FileHandle folder;
    ListedEntry entry;
    const DWORD status = ListBelow(base, path, &folder, &entry);
    return status == ERROR_SUCCESS ? DeleteListed({folder.get(), base, path, force, nullptr, leftAside}, entry)
                                   : status;
}

// Whether the volume that holds record's base folder (opened by its path, as
// a base is), or where that folder does not open the one that answers at the
// root of path ("C:\" or "\\server\share\"), is the one record names: 0
// when it is, ERROR_WRONG_DISK when another is (a disk swapped, a share
// remapped), or why neither opens (an unplugged drive, a share offline). A
// base that is a mount point, or that an administrator moved to another
// volume, holds its leftovers on its own volume, not on the root's.
DWORD CheckRecordedVolumeAt(const wchar_t* path, const DeletionRecord& record) {
    FileHandle opened(CreateFileW(record.base, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened.valid()) {
        wchar_t root[kPathChars];
        const size_t name = VolumeNameLength(path);
        if (name == 0 || !CheckedCopy(root, path)) {
            return ERROR_INVALID_PARAMETER;
        }
        root[name] = L'\0';
        if (!CheckedAppend(root, L"\\")) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
        opened.reset(CreateFileW(root, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    }
    if (!opened.valid()) {
        return LastFailure();
    }
    // The base or the root is no file of the record's: on the volume recorded it is another.
    const DWORD match = MatchRecordedFile(opened.get(), record);
    return match == kNotRecordedFile ? ERROR_SUCCESS : match;
}

}  // namespace

DWORD DeleteBelow(const wchar_t* base, const wchar_t* path, LeftAside* leftAside) {
    return DeleteAt(base, path, false, leftAside);
}

DWORD ForceDeleteBelow(const wchar_t* base, const wchar_t* path, LeftAside* leftAside) {
    return DeleteAt(base, path, true, leftAside);
}

DWORD ForceDeleteIn(HANDLE folder, const wchar_t* base, const wchar_t* path, LeftAside* leftAside) {
    const wchar_t* name = path + LeafAt(path);
    ListedEntry entry;
    const DWORD status = ListEntry(folder, name, wcslen(name), &entry);
    return status == ERROR_SUCCESS ? DeleteListed({folder, base, path, true, nullptr, leftAside}, entry) : status;
}

DWORD RemoveOpenFolder(HANDLE folder, DWORD attributes, bool* posix) {
    const bool clear = (attributes & kClearedAttributes) != 0;
    const DWORD cleared = clear ? SetAttributes(folder, FILE_ATTRIBUTE_NORMAL) : ERROR_SUCCESS;
    if (cleared != ERROR_SUCCESS) {
        return cleared;
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
    if (*error == ERROR_SUCCESS) {
        // A link or a folder at the name is not ours.
        if (IsLink(entry.attributes, entry.tag) || (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return kLeftoverNotOurs;
        }
        *error = DeleteListed({folder.get(), record.base, leftover, record.forced != 0, &record, nullptr}, entry);
        // Another file, or the file recorded with a second name, is not ours either.
        if (*error == kNotRecordedFile || *error == kSecondName) {
            return kLeftoverNotOurs;
        }
        if (*error == ERROR_SUCCESS) {
            return kLeftoverDeleted;
        }
    }
    // Gone (not there, or being deleted by another program) only from the
    // volume recorded: a missing name may be a disk that is away or another
    // volume at its letter, and the record waits for it. A link on the way
    // leads elsewhere, and the leftover may still be where it was: nothing
    // can be told.
    if (!NotThere(*error)) {
        return kLeftoverStays;
    }
    const DWORD volume = CheckRecordedVolumeAt(leftover, record);
    if (volume == ERROR_WRONG_DISK) {
        *error = volume;
    }
    return volume == ERROR_SUCCESS ? kLeftoverGone : kLeftoverStays;
}
