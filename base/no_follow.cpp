#include "base/no_follow.h"

#include <string.h>

#include "base/checked_text.h"

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

DWORD FinalPath(HANDLE handle, DWORD volume, wchar_t (&path)[kFinalPathChars]) {
    const DWORD length = GetFinalPathNameByHandleW(handle, path, kFinalPathChars, FILE_NAME_NORMALIZED | volume);
    if (length == 0) {
        return LastFailure();
    }
    if (length >= kFinalPathChars) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    if (IsPathSeparator(path[length - 1])) {
        path[length - 1] = L'\0';
    }
    return ERROR_SUCCESS;
}

bool SamePath(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

DWORD ReadAttributes(HANDLE handle, DWORD* attributes, DWORD* tag) {
    // The attributes alone: the whole-file information would also ask for
    // the volume's serial number, which costs a hundred times more.
    FILE_ATTRIBUTE_TAG_INFO information;
    if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &information, sizeof(information))) {
        *attributes = information.FileAttributes;
        *tag = information.ReparseTag;
        return ERROR_SUCCESS;
    }
    const DWORD refused = LastFailure();
    if (!IsUnsupported(refused)) {
        return refused;
    }
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic))) {
        return LastFailure();
    }
    *attributes = basic.FileAttributes;
    *tag = 0;
    return ERROR_SUCCESS;
}

namespace {

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

// Where the base really leads followed by rest, in one volume form; the
// base's own part worked out once.
DWORD ExpectedBelow(const wchar_t* base, DWORD volume, ResolvedPath* resolved, const wchar_t* rest,
                    wchar_t (&expected)[kFinalPathChars]) {
    if (!resolved->resolved) {
        resolved->resolved = true;
        const FileHandle folder(CreateFileW(base, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        resolved->status = folder.valid() ? FinalPath(folder.get(), volume, resolved->path) : LastFailure();
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

}  // namespace

DWORD NameCount(HANDLE file) {
    FILE_STANDARD_INFO standard;
    return GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard)) ? standard.NumberOfLinks
                                                                                              : 0;
}

DWORD OpenBelow(BaseFolder* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item,
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
        return LastFailure();
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
            return names == 0 ? LastFailure() : kLinkInPath;
        }
    }
    const DWORD placed = CheckPlace(base, path, baseLength, opened.get());
    if (placed != ERROR_SUCCESS) {
        return placed;
    }
    item->reset(opened.release());
    return ERROR_SUCCESS;
}

bool IsLink(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

DWORD OpenBelow(BaseFolder* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item) {
    DWORD attributes = 0;
    return OpenBelow(base, path, access, kind, item, &attributes);
}

DWORD StillBelow(BaseFolder* base, const wchar_t* path, HANDLE item) {
    const size_t baseLength = BaseLength(base, path);
    return baseLength == 0 ? ERROR_INVALID_PARAMETER : CheckPlace(base, path, baseLength, item);
}

DWORD OpenBelow(const wchar_t* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item) {
    BaseFolder folder(base);
    return OpenBelow(&folder, path, access, kind, item);
}
