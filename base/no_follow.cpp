#include "base/no_follow.h"

#include <string.h>

#include "base/checked_text.h"
#include "base/lock_break.h"
#include "base/nt_file.h"

namespace {

// Opens name (length characters, one component) relative to the folder open
// at folder, without following a link where the platform can tell one, and
// without waiting for another program's lock without a bound.
DWORD OpenRelative(HANDLE folder, const wchar_t* name, size_t length, DWORD access, DWORD sharing, ItemKind kind,
                   FileHandle* item) {
    HANDLE opened = INVALID_HANDLE_VALUE;
    const ULONG options = kVlxFileSynchronousIoNonAlert | kVlxFileOpenReparsePoint | kVlxFileOpenForBackupIntent |
                          (kind == kFolderItem ? kVlxFileDirectoryFile : kVlxFileNonDirectoryFile);
    const DWORD status = OpenWithoutWaiting(folder, name, length, access | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                            sharing, options, &opened);
    if (status == ERROR_SUCCESS) {
        item->reset(opened);
    }
    return status;
}

// What proves which object a handle is: its file id, or where either side
// tells none, on a volume without access lists, its creation time.
struct Identity {
    FileId id;
    LONGLONG created;
};

// Reads the id of the object open at item in the form *wide asks for (128
// or 64 bits); 128 bits fall back to 64 where the system or volume knows no
// other, and *wide then turns false.
DWORD ReadId(HANDLE item, bool* wide, FileId* id) {
    *id = FileId{0, 0, true};
    if (*wide) {
        VlxFileIdInfo information;
        if (GetFileInformationByHandleEx(item, kVlxFileIdInfo, &information, sizeof(information))) {
            memcpy(&id->low, information.id, sizeof(id->low));
            memcpy(&id->high, information.id + sizeof(id->low), sizeof(id->high));
            return ERROR_SUCCESS;
        }
        const DWORD error = LastFailure();
        if (!IsUnsupported(error)) {
            return error;
        }
    }
    *wide = false;
    id->wide = false;
    LARGE_INTEGER index = {};
    VlxIoStatusBlock io = {};
    const VlxNtStatus status = NtQueryInformationFile(item, &io, &index, sizeof(index), kVlxFileInternalInformation);
    id->low = VlxNtSuccess(status) ? static_cast<ULONGLONG>(index.QuadPart) : 0;
    return ERROR_SUCCESS;
}

// Reads the identity of the object open at item: its id, in the form of
// known's (the identity it is to be compared with, when given), and its
// creation time where that id or known's is not told. On a volume that keeps
// access lists a creation time, which an item's owner may set, proves
// nothing: an id not told there is kNoFileIdentity.
DWORD ReadIdentity(HANDLE item, const Identity* known, Identity* found) {
    // Without known (the item is to be opened again through its handle), the
    // 64-bit form first: FileIdInfo costs Wine a query of its volume. Where
    // that form tells none (a ReFS id too large for it), the 128-bit one.
    bool wide = known != nullptr && known->id.wide;
    DWORD status = ReadId(item, &wide, &found->id);
    if (status == ERROR_SUCCESS && known == nullptr && !IsKnownId(found->id)) {
        wide = true;
        status = ReadId(item, &wide, &found->id);
    }
    found->created = 0;
    if (status != ERROR_SUCCESS || (IsKnownId(found->id) && (known == nullptr || IsKnownId(known->id)))) {
        return status;
    }
    DWORD flags = 0;
    FILE_BASIC_INFO basic;
    if (!GetVolumeInformationByHandleW(item, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) ||
        !GetFileInformationByHandleEx(item, FileBasicInfo, &basic, sizeof(basic))) {
        return LastFailure();
    }
    found->created = basic.CreationTime.QuadPart;
    return (flags & FILE_PERSISTENT_ACLS) != 0 ? kNoFileIdentity : ERROR_SUCCESS;
}

// 0 when the object open at item is the one known, kOtherItemAtName when it
// is another, or why it cannot be told.
DWORD ProveIdentity(HANDLE item, const Identity& known) {
    Identity found;
    const DWORD status = ReadIdentity(item, &known, &found);
    const bool same = IsKnownId(found.id) && IsKnownId(known.id)
                          ? found.id.low == known.id.low && found.id.high == known.id.high
                          : found.created == known.created;
    return status != ERROR_SUCCESS ? status : same ? ERROR_SUCCESS : kOtherItemAtName;
}

// The length of base when path is base or lies below it (base, a separator,
// the rest); 0 when it does not: "C:\Apps" is no base of "C:\AppsX\y".
size_t BaseLength(const wchar_t* base, const wchar_t* path) {
    const size_t length = wcslen(base);
    if (length == 0 || wcsncmp(path, base, length) != 0 ||
        !(IsPathSeparator(base[length - 1]) || IsPathSeparator(path[length]) || path[length] == L'\0')) {
        return 0;
    }
    return length;
}

// Opens the folder named by the length characters at name, listed in the
// folder open at folder, with kFolderListing.
DWORD OpenComponent(HANDLE folder, const wchar_t* name, size_t length, FileHandle* below) {
    ListedEntry entry;
    DWORD status = length < ARRAYSIZE(entry.name) ? ListEntry(folder, name, length, &entry)
                                                   : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE);
    if (status == ERROR_SUCCESS) {
        status = OpenListed(folder, entry, kFolderListing, kFolderItem, below);
    }
    // A folder on the way that is not there, or is a file.
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_DIRECTORY ? ERROR_PATH_NOT_FOUND : status;
}

// The offset in path of the next component at or after at, and its end;
// false when there is none before end.
bool NextComponent(const wchar_t* path, size_t end, size_t* at, size_t* stop) {
    while (*at < end && IsPathSeparator(path[*at])) {
        ++*at;
    }
    *stop = *at;
    while (*stop < end && !IsPathSeparator(path[*stop])) {
        ++*stop;
    }
    return *stop > *at;
}

// Opens base and each folder of path past it up to end, each in the one
// before: into levels, base first, when capacity is more than one; each into
// levels[0] in turn, the one before closed, when it is one.
DWORD OpenFoldersDown(const wchar_t* base, const wchar_t* path, size_t end, FileHandle* levels, size_t capacity,
                      size_t* opened) {
    // The base by its path, with its listing.
    levels[0].reset(CreateFileW(base, kFolderListing, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr));
    DWORD status = levels[0].valid() ? ERROR_SUCCESS : LastFailure();
    *opened = status == ERROR_SUCCESS ? 1 : 0;
    size_t begin = BaseLength(base, path);
    for (size_t stop = 0; status == ERROR_SUCCESS && NextComponent(path, end, &begin, &stop); begin = stop) {
        const size_t at = capacity == 1 ? 0 : *opened;
        if (at == capacity) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
        FileHandle below;
        status = OpenComponent(levels[capacity == 1 ? 0 : at - 1].get(), path + begin, stop - begin, &below);
        levels[at].reset(below.release());
        *opened += status == ERROR_SUCCESS ? 1 : 0;
    }
    return status;
}

}  // namespace

DWORD OpenListed(HANDLE folder, const ListedEntry& entry, DWORD access, ItemKind kind, FileHandle* item) {
    item->reset();
    if (IsLink(entry.attributes, entry.tag)) {
        return kLinkInPath;
    }
    const bool isFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder != (kind == kFolderItem)) {
        return isFolder ? ERROR_ACCESS_DENIED : ERROR_DIRECTORY;
    }
    FileHandle opened;
    DWORD status = OpenRelative(folder, entry.name, wcslen(entry.name), access, kShareAll, kind, &opened);
    if (status == ERROR_SUCCESS) {
        status = ProveIdentity(opened.get(), Identity{entry.id, entry.created});
    }
    // A file has no other name.
    FILE_STANDARD_INFO standard;
    if (status == ERROR_SUCCESS && kind == kFileItem) {
        const BOOL read = GetFileInformationByHandleEx(opened.get(), FileStandardInfo, &standard, sizeof(standard));
        status = !read ? LastFailure() : standard.NumberOfLinks != 1 ? kSecondName : ERROR_SUCCESS;
    }
    if (status == ERROR_SUCCESS) {
        item->reset(opened.release());
    }
    return status;
}

DWORD OpenEachBelow(const wchar_t* base, const wchar_t* path, FileHandle* levels, size_t capacity,
                    size_t* opened) {
    *opened = 0;
    if (BaseLength(base, path) == 0 || capacity < 2) {
        return ERROR_INVALID_PARAMETER;
    }
    return OpenFoldersDown(base, path, wcslen(path), levels, capacity, opened);
}

DWORD Reopen(HANDLE item, DWORD access, DWORD sharing, ItemKind kind, FileHandle* again) {
    again->reset();
    // Wine looks the empty name up below the path it knows for item, which a
    // folder swapped for a link by another program changes: what opens must
    // prove to be item.
    Identity known;
    DWORD status = ReadIdentity(item, nullptr, &known);
    if (status == ERROR_SUCCESS) {
        status = OpenRelative(item, L"", 0, access, sharing, kind, again);
    }
    if (status == ERROR_SUCCESS) {
        status = ProveIdentity(again->get(), known);
    }
    if (status != ERROR_SUCCESS) {
        again->reset();
    }
    return status;
}

DWORD ListBelow(const wchar_t* base, const wchar_t* path, FileHandle* folder, ListedEntry* entry) {
    folder->reset();
    const size_t baseLength = BaseLength(base, path);
    const size_t leaf = LeafAt(path);
    if (baseLength == 0 || leaf < baseLength + (IsPathSeparator(path[baseLength]) ? 1 : 0) ||
        path[leaf] == L'\0') {
        return ERROR_INVALID_PARAMETER;
    }
    size_t opened = 0;
    DWORD status = OpenFoldersDown(base, path, leaf, folder, 1, &opened);
    if (status == ERROR_SUCCESS) {
        status = ListEntry(folder->get(), path + leaf, wcslen(path + leaf), entry);
    }
    if (status != ERROR_SUCCESS) {
        folder->reset();
    }
    return status;
}

DWORD OpenBelow(const wchar_t* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item,
                ListedEntry* listed) {
    item->reset();
    FileHandle folder;
    ListedEntry entry;
    DWORD status = ListBelow(base, path, &folder, &entry);
    if (status == ERROR_SUCCESS) {
        status = OpenListed(folder.get(), entry, access, kind, item);
    }
    if (status == ERROR_SUCCESS && listed != nullptr) {
        *listed = entry;
    }
    return status;
}
