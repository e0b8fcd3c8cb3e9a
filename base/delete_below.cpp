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

// A second handle for deletion to the file open at item, with sharing, and
// proven to be the same file at the same place (Wine opens it anew by path).
DWORD OpenForDeletion(BaseFolder* base, const wchar_t* path, HANDLE item, DWORD sharing, FileHandle* deleting) {
    deleting->reset(ReOpenFile(item, DELETE | FILE_READ_ATTRIBUTES, sharing, FILE_FLAG_OPEN_REPARSE_POINT));
    if (!deleting->valid()) {
        return LastFailure();
    }
    const DWORD placed = StillBelow(base, path, deleting->get());
    if (placed != ERROR_SUCCESS) {
        deleting->reset();
    }
    return placed;
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
DWORD MarkHeld(BaseFolder* base, const wchar_t* path, HANDLE deleting, bool force, LeftAside* leftAside) {
    if (LeafAt(path) + kTemporaryNameChars > kPathChars) {
        return MarkForDeletion(deleting);
    }
    DeletionRecord record = {};
    record.forced = force ? 1 : 0;
    DWORD status = IdentifyFile(deleting, &record);
    if (status == kNoFileIdentity) {
        return MarkForDeletion(deleting);
    }
    FileHandle folder;
    wchar_t temporaryPath[kPathChars] = {};
    if (status == ERROR_SUCCESS) {
        status = MoveAside(base, deleting, path, record, &folder, temporaryPath);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = MarkForDeletion(deleting);
    const DWORD back = status != ERROR_SUCCESS ? MoveBack(folder.get(), deleting, path) : ERROR_SUCCESS;
    if (back == ERROR_SUCCESS) {
        RemoveDeletionRecord(temporaryPath);
    } else if (leftAside != nullptr) {
        CheckedCopy(leftAside->name, temporaryPath + LeafAt(temporaryPath));
        leftAside->error = back;
    }
    return status;
}

// Deletes the file at path below base. A leftover (recorded: the file a
// record names, under its temporary name) must be that very file, and is
// never renamed.
DWORD DeleteFileAt(BaseFolder* base, const wchar_t* path, bool force, const DeletionRecord* recorded,
                   LeftAside* leftAside) {
    // Opened for its attributes alone, which keeps no other program out and
    // leaves the hook free to ask whether one holds the file.
    FileHandle item;
    DWORD attributes = 0;
    DWORD status = OpenBelow(base, path, force ? FILE_WRITE_ATTRIBUTES : 0, kFileItem, &item, &attributes);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (recorded != nullptr) {
        RecordedFileMatch match = kOtherFile;
        status = MatchRecordedFile(item.get(), *recorded, &match);
        if (status != ERROR_SUCCESS || match != kRecordedFile) {
            return status != ERROR_SUCCESS ? status : ERROR_FILE_NOT_FOUND;
        }
    }
    FileHandle deleting;
    status = OpenForDeletion(base, path, item.get(), kShareAll, &deleting);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = DeleteWithPosixSemantics(deleting.get(), force);
    if (!IsUnsupported(status)) {
        return status;
    }
    // A plain deletion of a read-only file cannot succeed: nothing is tried.
    if (!force && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    // Held by nobody else, the file needs no other name: the mark frees its
    // name when the hook's handles close.
    deleting.reset();
    status = OpenForDeletion(base, path, item.get(), 0, &deleting);
    const bool held = status == ERROR_SHARING_VIOLATION;
    if (held) {
        status = OpenForDeletion(base, path, item.get(), kShareAll, &deleting);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // Attributes that a forced deletion clears are put back should the file stay.
    const bool cleared = force && ClearAttributes(item.get(), attributes);
    status = held && recorded == nullptr ? MarkHeld(base, path, deleting.get(), force, leftAside)
                                         : MarkForDeletion(deleting.get());
    if (status != ERROR_SUCCESS && cleared) {
        SetAttributes(item.get(), attributes);
    }
    return status;
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

DWORD DeleteBelow(BaseFolder* base, const wchar_t* path, LeftAside* leftAside) {
    return DeleteFileAt(base, path, false, nullptr, leftAside);
}

DWORD ForceDeleteBelow(BaseFolder* base, const wchar_t* path, LeftAside* leftAside) {
    return DeleteFileAt(base, path, true, nullptr, leftAside);
}

DWORD RemoveFolderBelow(BaseFolder* base, const wchar_t* path, FolderRemoval how) {
    const bool clearing = how == kClearingRemoval;
    FileHandle folder;
    DWORD attributes = 0;
    const DWORD opened =
        OpenBelow(base, path, DELETE | (clearing ? FILE_WRITE_ATTRIBUTES : 0), kFolderItem, &folder, &attributes);
    if (opened != ERROR_SUCCESS) {
        return opened;
    }
    const bool clear = clearing && (attributes & kClearedAttributes) != 0;
    if (clear) {
        const DWORD cleared = SetAttributes(folder.get(), FILE_ATTRIBUTE_NORMAL);
        if (cleared != ERROR_SUCCESS) {
            return cleared;
        }
    }
    // With POSIX semantics an emptied folder that another program holds
    // leaves its parent at once, and the parent can go too.
    DWORD removed = DeleteWithPosixSemantics(folder.get(), false);
    if (IsUnsupported(removed)) {
        removed = MarkForDeletion(folder.get());
    }
    if (removed != ERROR_SUCCESS && clear) {
        SetAttributes(folder.get(), attributes);
    }
    return removed;
}

DWORD DeleteBelow(const wchar_t* base, const wchar_t* path, LeftAside* leftAside) {
    BaseFolder folder(base);
    return DeleteBelow(&folder, path, leftAside);
}

DWORD ForceDeleteBelow(const wchar_t* base, const wchar_t* path, LeftAside* leftAside) {
    BaseFolder folder(base);
    return ForceDeleteBelow(&folder, path, leftAside);
}

LeftoverFound FinishLeftover(const wchar_t* leftover, const DeletionRecord& record, DWORD* error) {
    BaseFolder base(record.base);
    {
        // Opened as whatever stands there, a folder or a link included.
        FileHandle item(CreateFileW(leftover, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!item.valid()) {
            *error = LastFailure();
            // Gone only from the volume recorded: a missing name may be a
            // disk that is away or another volume at its letter, and the
            // record waits for it.
            if (!NotThere(*error)) {
                return kLeftoverStays;
            }
            const DWORD volume = RecordedVolumeAt(leftover, record);
            if (volume == ERROR_WRONG_DISK) {
                *error = volume;
            }
            return volume == ERROR_SUCCESS ? kLeftoverGone : kLeftoverStays;
        }
        // A link at the name is not ours: told by the handle, and by the
        // entry its folder lists (Wine opens a link's target even when asked
        // not to). A link on the way leads elsewhere, and the leftover may
        // still be where it was: nothing can be told.
        DWORD attributes = 0;
        DWORD tag = 0;
        WIN32_FIND_DATAW entry;
        const FindHandle listed(FindFirstFileW(leftover, &entry));
        *error = ReadAttributes(item.get(), &attributes, &tag);
        if (*error == ERROR_SUCCESS &&
            (IsLink(attributes, tag) || (listed.valid() && IsLink(entry.dwFileAttributes, entry.dwReserved0)))) {
            return kLeftoverNotOurs;
        }
        if (*error == ERROR_SUCCESS) {
            *error = StillBelow(&base, leftover, item.get());
        }
        if (*error != ERROR_SUCCESS) {
            return kLeftoverStays;
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return kLeftoverNotOurs;
        }
        const DWORD names = NameCount(item.get());
        RecordedFileMatch match = kOtherFile;
        *error = names == 0 ? LastFailure() : MatchRecordedFile(item.get(), record, &match);
        if (*error == ERROR_SUCCESS && match == kOtherVolume) {
            *error = ERROR_WRONG_DISK;
        }
        if (*error != ERROR_SUCCESS) {
            return kLeftoverStays;
        }
        if (match != kRecordedFile || names != 1) {
            return kLeftoverNotOurs;
        }
    }
    *error = DeleteFileAt(&base, leftover, record.forced != 0, &record, nullptr);
    return *error == ERROR_SUCCESS ? kLeftoverDeleted : kLeftoverStays;
}
