#include "base/no_follow.h"

#include <string.h>

#include "base/checked_text.h"
#include "base/nt_file.h"

DWORD LastFailure() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

bool NotThere(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

DWORD LastErrorUnless(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : LastFailure();
}

bool IsUnsupported(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

bool SameName(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

namespace {

// Opens name (length characters, one component) relative to the folder open
// at folder, without following a link where the platform can tell one.
DWORD OpenRelative(HANDLE folder, const wchar_t* name, size_t length, DWORD access, DWORD sharing, ItemKind kind,
                   FileHandle* item) {
    VlxUnicodeString text = VlxName(name, length);
    VlxObjectAttributes object = {sizeof(object), folder, &text, kVlxObjCaseInsensitive, nullptr, nullptr};
    VlxIoStatusBlock io = {};
    HANDLE opened = INVALID_HANDLE_VALUE;
    const ULONG options = kVlxFileSynchronousIoNonAlert | kVlxFileOpenReparsePoint | kVlxFileOpenForBackupIntent |
                          (kind == kFolderItem ? kVlxFileDirectoryFile : kVlxFileNonDirectoryFile);
    const VlxNtStatus status = NtCreateFile(&opened, access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &object, &io,
                                            nullptr, 0, sharing, kVlxFileOpen, options, nullptr, 0);
    if (!VlxNtSuccess(status)) {
        return VlxError(status);
    }
    item->reset(opened);
    return ERROR_SUCCESS;
}

bool Told(LONGLONG id) {
    return id != 0 && id != -1;
}

// The file id of the object open at item; 0 when it cannot be told.
LONGLONG FileId(HANDLE item) {
    LARGE_INTEGER index = {};
    VlxIoStatusBlock io = {};
    const VlxNtStatus status = NtQueryInformationFile(item, &io, &index, sizeof(index), kVlxFileInternalInformation);
    return VlxNtSuccess(status) ? index.QuadPart : 0;
}

// The creation time of the object open at item: 0, or why it cannot be told.
DWORD CreationTime(HANDLE item, LONGLONG* created) {
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(item, FileBasicInfo, &basic, sizeof(basic))) {
        return LastFailure();
    }
    *created = basic.CreationTime.QuadPart;
    return ERROR_SUCCESS;
}

// Whether the object open at item is the one whose file id is id: the same
// id, or where either side tells none, the same creation time.
DWORD IsObject(HANDLE item, LONGLONG id, LONGLONG created) {
    const LONGLONG itemId = FileId(item);
    if (Told(itemId) && Told(id)) {
        return itemId == id ? ERROR_SUCCESS : kLinkInPath;
    }
    LONGLONG itemCreated = 0;
    const DWORD status = CreationTime(item, &itemCreated);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return itemCreated == created ? ERROR_SUCCESS : kLinkInPath;
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

}  // namespace

DWORD OpenBase(const wchar_t* path, DWORD access, FileHandle* folder) {
    folder->reset(CreateFileW(path, kFolderListing | access, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return folder->valid() ? ERROR_SUCCESS : LastFailure();
}

DWORD OpenListed(HANDLE folder, const ListedEntry& entry, DWORD access, DWORD sharing, ItemKind kind,
                 FileHandle* item) {
    item->reset();
    if (IsLink(entry.attributes, entry.tag)) {
        return kLinkInPath;
    }
    const bool isFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder != (kind == kFolderItem)) {
        return isFolder ? ERROR_ACCESS_DENIED : ERROR_DIRECTORY;
    }
    FileHandle opened;
    DWORD status = OpenRelative(folder, entry.name, wcslen(entry.name), access, sharing, kind, &opened);
    if (status == ERROR_SUCCESS) {
        status = IsObject(opened.get(), entry.id, entry.created);
    }
    if (status == ERROR_SUCCESS) {
        item->reset(opened.release());
    }
    return status;
}

DWORD SingleName(HANDLE file) {
    FILE_STANDARD_INFO standard;
    if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard))) {
        return LastFailure();
    }
    return standard.NumberOfLinks == 1 ? ERROR_SUCCESS : kLinkInPath;
}

namespace {

// Opens the folder named by the length characters at name, listed in the
// folder open at folder, with kFolderListing and access.
DWORD OpenComponent(HANDLE folder, const wchar_t* name, size_t length, DWORD access, FileHandle* below) {
    wchar_t component[256];
    if (length >= 256) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    memcpy(component, name, length * sizeof(wchar_t));
    component[length] = L'\0';
    ListedEntry entry;
    DWORD status = ListEntry(folder, component, &entry);
    if (status == ERROR_SUCCESS) {
        status = OpenListed(folder, entry, kFolderListing | access, kShareAll, kFolderItem, below);
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

}  // namespace

namespace {

// Opens base and each folder of path past it up to end, each in the one
// before: into levels, base first, when capacity is more than one; each into
// levels[0] in turn, the one before closed, when it is one.
DWORD Descend(const wchar_t* base, const wchar_t* path, size_t end, FileHandle* levels, size_t capacity,
              size_t* opened) {
    DWORD status = OpenBase(base, 0, &levels[0]);
    *opened = status == ERROR_SUCCESS ? 1 : 0;
    size_t begin = BaseLength(base, path);
    for (size_t stop = 0; status == ERROR_SUCCESS && NextComponent(path, end, &begin, &stop); begin = stop) {
        const size_t at = capacity == 1 ? 0 : *opened;
        if (at == capacity) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
        FileHandle below;
        status = OpenComponent(levels[capacity == 1 ? 0 : at - 1].get(), path + begin, stop - begin, 0, &below);
        levels[at].reset(below.release());
        *opened += status == ERROR_SUCCESS ? 1 : 0;
    }
    return status;
}

}  // namespace

DWORD OpenParentBelow(const wchar_t* base, const wchar_t* path, FileHandle* folder, size_t* leaf) {
    folder->reset();
    const size_t baseLength = BaseLength(base, path);
    *leaf = LeafAt(path);
    if (baseLength == 0 || *leaf < baseLength + (IsPathSeparator(path[baseLength]) ? 1 : 0) ||
        path[*leaf] == L'\0') {
        return ERROR_INVALID_PARAMETER;
    }
    size_t opened = 0;
    const DWORD status = Descend(base, path, *leaf, folder, 1, &opened);
    if (status != ERROR_SUCCESS) {
        folder->reset();
    }
    return status;
}

DWORD OpenEachBelow(const wchar_t* base, const wchar_t* path, FileHandle* levels, size_t capacity,
                    size_t* opened) {
    *opened = 0;
    if (BaseLength(base, path) == 0 || capacity < 2) {
        return ERROR_INVALID_PARAMETER;
    }
    return Descend(base, path, wcslen(path), levels, capacity, opened);
}

DWORD Reopen(HANDLE item, DWORD access, DWORD sharing, ItemKind kind, FileHandle* again) {
    again->reset();
    // Wine looks the empty name up below the path it knows for item, which a
    // folder swapped for a link by another program changes: what opens must
    // prove to be item.
    const LONGLONG id = FileId(item);
    LONGLONG created = 0;
    DWORD status = Told(id) ? ERROR_SUCCESS : CreationTime(item, &created);
    if (status == ERROR_SUCCESS) {
        status = OpenRelative(item, L"", 0, access, sharing, kind, again);
    }
    if (status == ERROR_SUCCESS) {
        status = IsObject(again->get(), id, created);
    }
    if (status != ERROR_SUCCESS) {
        again->reset();
    }
    return status;
}

DWORD ListBelow(const wchar_t* base, const wchar_t* path, FileHandle* folder, ListedEntry* entry) {
    size_t leaf = 0;
    const DWORD status = OpenParentBelow(base, path, folder, &leaf);
    return status == ERROR_SUCCESS ? ListEntry(folder->get(), path + leaf, entry) : status;
}

DWORD OpenBelow(const wchar_t* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item,
                ListedEntry* listed) {
    item->reset();
    FileHandle folder;
    ListedEntry entry;
    DWORD status = ListBelow(base, path, &folder, &entry);
    if (status == ERROR_SUCCESS) {
        status = OpenListed(folder.get(), entry, access, kShareAll, kind, item);
    }
    if (status == ERROR_SUCCESS && kind == kFileItem) {
        status = SingleName(item->get());
    }
    if (status != ERROR_SUCCESS) {
        item->reset();
    } else if (listed != nullptr) {
        *listed = entry;
    }
    return status;
}
