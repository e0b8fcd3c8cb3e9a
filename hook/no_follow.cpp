#include "hook/no_follow.h"

#include <string.h>

#include "hook/checked_text.h"
#include "hook/log.h"

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The path of the object open at handle as the platform resolves it, links
// included, without a trailing separator (a drive root "\\?\C:\" loses its).
bool FinalPath(HANDLE handle, wchar_t (&path)[kFinalPathChars]) {
    const DWORD length = GetFinalPathNameByHandleW(handle, path, kFinalPathChars,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= kFinalPathChars) {
        return false;
    }
    if (IsPathSeparator(path[length - 1])) {
        path[length - 1] = L'\0';
    }
    return true;
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

enum class Attributes {
    kKeep,
    kClear,
};

// The outcome of a call that reports failure through the thread's last error.
DWORD LastErrorUnless(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : GetLastError();
}

DWORD ClearAttributes(HANDLE item) {
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;  // times left at 0: unchanged
    return LastErrorUnless(SetFileInformationByHandle(item, FileBasicInfo, &basic, sizeof(basic)));
}

// Removal happens when the last handle closes; a folder that is not empty
// is refused here with ERROR_DIR_NOT_EMPTY.
DWORD MarkForDeletion(HANDLE item) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return LastErrorUnless(
        SetFileInformationByHandle(item, FileDispositionInfo, &disposition, sizeof(disposition)));
}

DWORD DeleteFileAt(const HookContext* context, BaseFolder* base, const wchar_t* path,
                   Attributes attributes) {
    const DWORD access = attributes == Attributes::kClear ? DELETE | FILE_WRITE_ATTRIBUTES : DELETE;
    FileHandle file;
    const DWORD opened = OpenBelow(base, path, access, kFileItem, &file);
    if (opened == kLinkInPath) {
        LogLinkSkipped(context);
    }
    if (opened != ERROR_SUCCESS) {
        return opened;
    }
    if (attributes == Attributes::kClear) {
        // As a forced delete does: a failure shows in the deletion itself.
        ClearAttributes(file.get());
    }
    return MarkForDeletion(file.get());
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

// Where base really leads, worked out once.
void Resolve(BaseFolder* base) {
    if (base->resolved) {
        return;
    }
    base->resolved = true;
    const FileHandle folder(CreateFileW(base->path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.valid()) {
        base->status = GetLastError();
        return;
    }
    base->status = FinalPath(folder.get(), base->finalPath) ? ERROR_SUCCESS : ERROR_FILENAME_EXCED_RANGE;
}

bool SamePath(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// The number of names (hard links) of the file open at file; 0, with the
// thread's last error set, when it cannot be told.
DWORD NameCount(HANDLE file) {
    FILE_STANDARD_INFO standard;
    return GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard)) ? standard.NumberOfLinks
                                                                                              : 0;
}

}  // namespace

bool IsLink(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

DWORD OpenBelow(BaseFolder* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item) {
    item->reset();
    // "C:\Apps" is no base of "C:\AppsX\y": the base ends at a separator.
    const size_t baseLength = wcslen(base->path);
    if (baseLength == 0 || wcsncmp(path, base->path, baseLength) != 0 ||
        !(IsPathSeparator(base->path[baseLength - 1]) || IsPathSeparator(path[baseLength]))) {
        return ERROR_INVALID_PARAMETER;
    }
    const DWORD folderFlag = kind == kFolderItem ? FILE_FLAG_BACKUP_SEMANTICS : 0;
    FileHandle opened(CreateFileW(path, access | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | folderFlag,
                                  nullptr));
    if (!opened.valid()) {
        return GetLastError();
    }
    // The attributes alone: the whole-file information would also ask for
    // the volume's serial number, which costs a hundred times more.
    FILE_ATTRIBUTE_TAG_INFO information;
    if (!GetFileInformationByHandleEx(opened.get(), FileAttributeTagInfo, &information, sizeof(information))) {
        return GetLastError();
    }
    if (IsLink(information.FileAttributes, information.ReparseTag)) {
        return kLinkInPath;
    }
    const bool isFolder = (information.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder != (kind == kFolderItem)) {
        return isFolder ? ERROR_ACCESS_DENIED : ERROR_DIRECTORY;
    }
    // A hard link is a name like any other, but attributes, access lists
    // and data belong to the file behind all its names.
    if (kind == kFileItem) {
        const DWORD names = NameCount(opened.get());
        if (names != 1) {
            return names == 0 ? GetLastError() : kLinkInPath;
        }
    }

    // A link on a folder between base and the item leaves the handle's own
    // attributes plain but shows in where the handle really leads: that must
    // be where base really leads followed by the rest of path. Where it is
    // the path itself, nothing on the way is a link, the base included.
    wchar_t actual[kFinalPathChars];
    if (!FinalPath(opened.get(), actual)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    wchar_t expected[kFinalPathChars];
    if (!LiteralFinalPath(path, expected) || !SamePath(expected, actual)) {
        Resolve(base);
        if (base->status != ERROR_SUCCESS) {
            return base->status;
        }
        if (!CheckedCopy(expected, base->finalPath) || !AppendComponents(expected, path + baseLength)) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
        if (!SamePath(expected, actual)) {
            return kLinkInPath;
        }
    }
    item->reset(opened.release());
    return ERROR_SUCCESS;
}

void LogLinkSkipped(const HookContext* context) {
    LogMessage(context, "VLX: Link in path. Skipped.", kLogLevelProgress);
}

DWORD DeleteBelow(const HookContext* context, BaseFolder* base, const wchar_t* path) {
    return DeleteFileAt(context, base, path, Attributes::kKeep);
}

DWORD ForceDeleteBelow(const HookContext* context, BaseFolder* base, const wchar_t* path) {
    return DeleteFileAt(context, base, path, Attributes::kClear);
}

DWORD RemoveFolderBelow(BaseFolder* base, const wchar_t* path) {
    FileHandle folder;
    DWORD result = OpenBelow(base, path, DELETE | FILE_WRITE_ATTRIBUTES, kFolderItem, &folder);
    if (result == ERROR_SUCCESS) {
        result = ClearAttributes(folder.get());
    }
    return result == ERROR_SUCCESS ? MarkForDeletion(folder.get()) : result;
}

DWORD OpenBelow(const wchar_t* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item) {
    BaseFolder folder(base);
    return OpenBelow(&folder, path, access, kind, item);
}

DWORD DeleteBelow(const HookContext* context, const wchar_t* base, const wchar_t* path) {
    BaseFolder folder(base);
    return DeleteBelow(context, &folder, path);
}

DWORD ForceDeleteBelow(const HookContext* context, const wchar_t* base, const wchar_t* path) {
    BaseFolder folder(base);
    return ForceDeleteBelow(context, &folder, path);
}
