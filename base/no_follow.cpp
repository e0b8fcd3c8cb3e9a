#include "base/no_follow.h"

#include <winternl.h>

#include <string.h>

#include "base/checked_text.h"

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What our headers (written for Windows 7) do not name: deletion with POSIX
// semantics (Windows 10 1709 and later, on NTFS), which frees the name when
// the deleting handle closes whoever else holds the file open, and its flag
// that lets a read-only file go (1809 and later).
const FILE_INFO_BY_HANDLE_CLASS kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
const DWORD kDispositionDelete = 0x1;
const DWORD kDispositionPosixSemantics = 0x2;
const DWORD kDispositionIgnoreReadOnly = 0x10;
struct DispositionInfoEx {
    DWORD flags;
};
const NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035L);  // STATUS_OBJECT_NAME_COLLISION

// The attributes a forced deletion clears (and puts back when it fails), and
// those a change through FileBasicInfo may set at all.
const DWORD kClearedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
const DWORD kSettableAttributes = kClearedAttributes | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                                  FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The thread's last error after a call that failed; never 0, which would
// read as success.
DWORD Failure() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

// The outcome of a call that reports failure through the thread's last error.
DWORD LastErrorUnless(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : Failure();
}

// A query or change the volume does not know, as opposed to one it refused:
// FAT and exFAT answer no attribute-tag query, some network and user-mode
// file systems know neither it nor POSIX-semantics deletion, and systems
// before Windows 10 do not know the latter at all.
bool Unsupported(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

// The attributes and reparse tag of the object open at handle. Where the
// volume tells only the attributes, the tag is 0: not reported, so a reparse
// point there counts as a link.
DWORD ReadAttributes(HANDLE handle, DWORD* attributes, DWORD* tag) {
    // The attributes alone: the whole-file information would also ask for
    // the volume's serial number, which costs a hundred times more.
    FILE_ATTRIBUTE_TAG_INFO information;
    if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &information, sizeof(information))) {
        *attributes = information.FileAttributes;
        *tag = information.ReparseTag;
        return ERROR_SUCCESS;
    }
    const DWORD refused = Failure();
    if (!Unsupported(refused)) {
        return refused;
    }
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic))) {
        return Failure();
    }
    *attributes = basic.FileAttributes;
    *tag = 0;
    return ERROR_SUCCESS;
}

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

// Removal happens when the last handle closes, and until then the name
// stays taken; a folder that is not empty is refused with ERROR_DIR_NOT_EMPTY.
DWORD MarkForDeletion(HANDLE item) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return LastErrorUnless(
        SetFileInformationByHandle(item, FileDispositionInfo, &disposition, sizeof(disposition)));
}

// The path of the object open at handle as the platform resolves it, links
// included, without a trailing separator (a drive root "\\?\C:\" loses its):
// volume is VOLUME_NAME_DOS ("\\?\C:\...") or VOLUME_NAME_NT
// ("\Device\HarddiskVolume1\..."), the one every volume has.
DWORD FinalPath(HANDLE handle, DWORD volume, wchar_t (&path)[kFinalPathChars]) {
    const DWORD length = GetFinalPathNameByHandleW(handle, path, kFinalPathChars, FILE_NAME_NORMALIZED | volume);
    if (length == 0) {
        return Failure();
    }
    if (length >= kFinalPathChars) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    if (IsPathSeparator(path[length - 1])) {
        path[length - 1] = L'\0';
    }
    return ERROR_SUCCESS;
}

// Appends each component of rest to path with one backslash before it, as
// the platform normalises doubled and trailing separators.
bool AppendComponents(wchar_t (&path)[kFinalPathChars], const wchar_t* rest) {
    size_t used = wcslen(path);
    const wchar_t* c = rest;
    for (;;) {
        while (IsPathSeparator(*c)) {
            ++c;
        }
        if (*c == L'\0') {
            break;
        }
        if (used + 1 >= kFinalPathChars) {
            return false;
        }
        path[used++] = L'\\';
        while (*c != L'\0' && !IsPathSeparator(*c)) {
            if (used + 1 >= kFinalPathChars) {
                return false;
            }
            path[used++] = *c++;
        }
    }
    path[used] = L'\0';
    return true;
}

// The final path that path has when nothing on it is a link: "\\?\C:\..."
// or "\\?\UNC\server\share\...". False for any other form of path.
bool LiteralFinalPath(const wchar_t* path, wchar_t (&literal)[kFinalPathChars]) {
    if (!IsFullPath(path)) {
        return false;
    }
    const bool unc = IsPathSeparator(path[0]);
    return CheckedCopy(literal, unc ? L"\\\\?\\UNC" : L"\\\\?") && AppendComponents(literal, path);
}

bool SamePath(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// Where the base really leads followed by rest, in one volume form; the
// base's own part worked out once.
DWORD ExpectedBelow(const wchar_t* base, DWORD volume, ResolvedPath* resolved, const wchar_t* rest,
                    wchar_t (&expected)[kFinalPathChars]) {
    if (!resolved->resolved) {
        resolved->resolved = true;
        const FileHandle folder(CreateFileW(base, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        resolved->status = folder.valid() ? FinalPath(folder.get(), volume, resolved->path) : Failure();
    }
    if (resolved->status != ERROR_SUCCESS) {
        return resolved->status;
    }
    return CheckedCopy(expected, resolved->path) && AppendComponents(expected, rest) ? ERROR_SUCCESS
                                                                                      : ERROR_FILENAME_EXCED_RANGE;
}

// The length of base when path lies below it (base, a separator, the rest);
// 0 when it does not: "C:\Apps" is no base of "C:\AppsX\y".
size_t BaseLength(const BaseFolder* base, const wchar_t* path) {
    const size_t length = wcslen(base->path);
    if (length == 0 || wcsncmp(path, base->path, length) != 0 ||
        !(IsPathSeparator(base->path[length - 1]) || IsPathSeparator(path[length]))) {
        return 0;
    }
    return length;
}

// A link on a folder between base and the item leaves the handle's own
// attributes plain but shows in where the handle really leads: that must be
// where base really leads followed by the rest of path. Where it is the path
// itself, nothing on the way is a link, the base included. Volumes the mount
// manager gives no drive letter are compared by their device paths.
DWORD CheckPlace(BaseFolder* base, const wchar_t* path, size_t baseLength, HANDLE item) {
    wchar_t actual[kFinalPathChars];
    wchar_t expected[kFinalPathChars];
    DWORD status = FinalPath(item, VOLUME_NAME_DOS, actual);
    if (status == ERROR_SUCCESS) {
        if (LiteralFinalPath(path, expected) && SamePath(expected, actual)) {
            return ERROR_SUCCESS;
        }
        status = ExpectedBelow(base->path, VOLUME_NAME_DOS, &base->dos, path + baseLength, expected);
        if (status == ERROR_SUCCESS) {
            return SamePath(expected, actual) ? ERROR_SUCCESS : kLinkInPath;
        }
    }
    if (status == ERROR_FILENAME_EXCED_RANGE) {
        return status;
    }
    status = FinalPath(item, VOLUME_NAME_NT, actual);
    if (status == ERROR_SUCCESS) {
        status = ExpectedBelow(base->path, VOLUME_NAME_NT, &base->nt, path + baseLength, expected);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return SamePath(expected, actual) ? ERROR_SUCCESS : kLinkInPath;
}

// The number of names (hard links) of the file open at file; 0, with the
// thread's last error set, when it cannot be told.
DWORD NameCount(HANDLE file) {
    FILE_STANDARD_INFO standard;
    return GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard)) ? standard.NumberOfLinks
                                                                                              : 0;
}

// OpenBelow, which also tells the item's attributes.
DWORD Open(BaseFolder* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item,
           DWORD* attributes) {
    item->reset();
    const size_t baseLength = BaseLength(base, path);
    if (baseLength == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    const DWORD folderFlag = kind == kFolderItem ? FILE_FLAG_BACKUP_SEMANTICS : 0;
    FileHandle opened(CreateFileW(path, access | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | folderFlag, nullptr));
    if (!opened.valid()) {
        return Failure();
    }
    DWORD tag = 0;
    const DWORD read = ReadAttributes(opened.get(), attributes, &tag);
    if (read != ERROR_SUCCESS) {
        return read;
    }
    if (IsLink(*attributes, tag)) {
        return kLinkInPath;
    }
    const bool isFolder = (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder != (kind == kFolderItem)) {
        return isFolder ? ERROR_ACCESS_DENIED : ERROR_DIRECTORY;
    }
    // A hard link is a name like any other, but attributes, access lists
    // and data belong to the file behind all its names.
    if (kind == kFileItem) {
        const DWORD names = NameCount(opened.get());
        if (names != 1) {
            return names == 0 ? Failure() : kLinkInPath;
        }
    }
    const DWORD placed = CheckPlace(base, path, baseLength, opened.get());
    if (placed != ERROR_SUCCESS) {
        return placed;
    }
    item->reset(opened.release());
    return ERROR_SUCCESS;
}

// Names a file in the folder open at folder: through that handle, so that
// no link on any path can send the file elsewhere. ReplaceIfExists stays
// FALSE: nothing is ever overwritten.
NTSTATUS RenameWithin(HANDLE folder, HANDLE file, const wchar_t* name) {
    union {
        FILE_RENAME_INFO info;
        BYTE bytes[sizeof(FILE_RENAME_INFO) + kPathChars * sizeof(wchar_t)];
    } rename;
    const size_t length = wcslen(name);
    if (length >= kPathChars) {
        return static_cast<NTSTATUS>(0xC0000033L);  // STATUS_OBJECT_NAME_INVALID
    }
    memset(&rename, 0, sizeof(rename));
    rename.info.RootDirectory = folder;
    rename.info.FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
    memcpy(rename.info.FileName, name, length * sizeof(wchar_t));
    IO_STATUS_BLOCK status;
    // The native call: Windows hands the name of the API form
    // (SetFileInformationByHandle) on as it is, but Wine takes it for a path
    // of the current folder and refuses a folder handle with it.
    return NtSetInformationFile(file, &status, &rename, sizeof(rename), FileRenameInformation);
}

// Where the last component of path begins.
size_t LeafAt(const wchar_t* path) {
    size_t leaf = 0;
    for (size_t i = 0; path[i] != L'\0'; ++i) {
        if (IsPathSeparator(path[i])) {
            leaf = i + 1;
        }
    }
    return leaf;
}

// Opens the folder that holds the file open at file, found at path, and
// proves it is that file's own folder: its final path is the file's less the
// file's name, both in the form the file's volume gives.
DWORD OpenOwnFolder(HANDLE file, const wchar_t* path, FileHandle* folder) {
    wchar_t parent[kFinalPathChars];
    const size_t leaf = LeafAt(path);
    if (leaf == 0 || !CheckedCopy(parent, path)) {
        return ERROR_INVALID_PARAMETER;
    }
    // "C:\x" lies in "C:\" (a drive's root keeps its separator), "C:\a\x" in "C:\a".
    parent[leaf == 3 && parent[1] == L':' ? leaf : leaf - 1] = L'\0';
    folder->reset(CreateFileW(parent, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder->valid()) {
        return Failure();
    }
    wchar_t fileAt[kFinalPathChars];
    wchar_t folderAt[kFinalPathChars];
    DWORD volume = VOLUME_NAME_DOS;
    DWORD status = FinalPath(file, volume, fileAt);
    if (status != ERROR_SUCCESS && status != ERROR_FILENAME_EXCED_RANGE) {
        volume = VOLUME_NAME_NT;
        status = FinalPath(file, volume, fileAt);
    }
    if (status == ERROR_SUCCESS) {
        status = FinalPath(folder->get(), volume, folderAt);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    size_t cut = LeafAt(fileAt);
    while (cut > 0 && IsPathSeparator(fileAt[cut - 1])) {
        --cut;
    }
    fileAt[cut] = L'\0';
    return SamePath(fileAt, folderAt) ? ERROR_SUCCESS : kLinkInPath;
}

// "~VLX" and eight hexadecimal digits of seed, ".tmp".
void TemporaryName(DWORD seed, wchar_t (&name)[17]) {
    const wchar_t digits[] = L"0123456789ABCDEF";
    memcpy(name, L"~VLX", 4 * sizeof(wchar_t));
    for (int i = 0; i < 8; ++i) {
        name[4 + i] = digits[(seed >> (28 - 4 * i)) & 0xF];
    }
    memcpy(name + 12, L".tmp", 5 * sizeof(wchar_t));
}

// Frees the name of the file open at file (found at path) at once, where the
// deletion itself would keep it taken while another program holds the file:
// the file takes a name of its own in its own folder. True, with *folder
// open for the way back, when it did; false, with nothing changed, when its
// folder cannot be proven to be its own or no name is free.
bool MoveAside(HANDLE file, const wchar_t* path, FileHandle* folder) {
    if (OpenOwnFolder(file, path, folder) != ERROR_SUCCESS) {
        return false;
    }
    DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < 8; ++attempt, seed = seed * 2654435761u + 1) {
        wchar_t name[17];
        TemporaryName(seed, name);
        const NTSTATUS renamed = RenameWithin(folder->get(), file, name);
        if (renamed != kNameCollision) {
            return NT_SUCCESS(renamed);
        }
    }
    return false;
}

DWORD DeleteFileAt(BaseFolder* base, const wchar_t* path, bool force) {
    FileHandle file;
    DWORD attributes = 0;
    const DWORD opened = Open(base, path, force ? DELETE | FILE_WRITE_ATTRIBUTES : DELETE, kFileItem, &file,
                              &attributes);
    if (opened != ERROR_SUCCESS) {
        return opened;
    }
    DispositionInfoEx posix = {kDispositionDelete | kDispositionPosixSemantics |
                               (force ? kDispositionIgnoreReadOnly : 0)};
    const DWORD marked = LastErrorUnless(SetFileInformationByHandle(file.get(), kDispositionInfoEx, &posix,
                                                                    sizeof(posix)));
    if (!Unsupported(marked)) {
        return marked;
    }
    // Without POSIX semantics (Windows 7 and 8, FAT, ReFS, Wine) the file
    // steps aside within its folder before it is marked, and everything is
    // put back when the mark is refused (a module in use, for one).
    const bool cleared = force && ClearAttributes(file.get(), attributes);
    FileHandle folder;
    const bool movedAside = MoveAside(file.get(), path, &folder);
    const DWORD deleted = MarkForDeletion(file.get());
    if (deleted != ERROR_SUCCESS) {
        if (movedAside) {
            RenameWithin(folder.get(), file.get(), path + LeafAt(path));
        }
        if (cleared) {
            SetAttributes(file.get(), attributes);
        }
    }
    return deleted;
}

}  // namespace

bool IsLink(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

DWORD OpenBelow(BaseFolder* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item) {
    DWORD attributes = 0;
    return Open(base, path, access, kind, item, &attributes);
}

DWORD StillBelow(BaseFolder* base, const wchar_t* path, HANDLE item) {
    const size_t baseLength = BaseLength(base, path);
    return baseLength == 0 ? ERROR_INVALID_PARAMETER : CheckPlace(base, path, baseLength, item);
}

DWORD DeleteBelow(BaseFolder* base, const wchar_t* path) {
    return DeleteFileAt(base, path, false);
}

DWORD ForceDeleteBelow(BaseFolder* base, const wchar_t* path) {
    return DeleteFileAt(base, path, true);
}

DWORD RemoveFolderBelow(BaseFolder* base, const wchar_t* path) {
    FileHandle folder;
    DWORD attributes = 0;
    const DWORD opened = Open(base, path, DELETE | FILE_WRITE_ATTRIBUTES, kFolderItem, &folder, &attributes);
    if (opened != ERROR_SUCCESS) {
        return opened;
    }
    const bool clear = (attributes & kClearedAttributes) != 0;
    if (clear) {
        const DWORD cleared = SetAttributes(folder.get(), FILE_ATTRIBUTE_NORMAL);
        if (cleared != ERROR_SUCCESS) {
            return cleared;
        }
    }
    const DWORD removed = MarkForDeletion(folder.get());
    if (removed != ERROR_SUCCESS && clear) {
        SetAttributes(folder.get(), attributes);
    }
    return removed;
}

DWORD OpenBelow(const wchar_t* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item) {
    BaseFolder folder(base);
    return OpenBelow(&folder, path, access, kind, item);
}

DWORD DeleteBelow(const wchar_t* base, const wchar_t* path) {
    BaseFolder folder(base);
    return DeleteBelow(&folder, path);
}

DWORD ForceDeleteBelow(const wchar_t* base, const wchar_t* path) {
    BaseFolder folder(base);
    return ForceDeleteBelow(&folder, path);
}
