#include "tests/support/windows10_deletion.h"

#include <string.h>

#include "tests/support/environment.h"
#include "tests/support/iat_patch.h"
#include "tests/support/sandbox.h"

namespace {

const FILE_INFO_BY_HANDLE_CLASS kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
const DWORD kDelete = 0x1;
const DWORD kPosixSemantics = 0x2;
const DWORD kIgnoreReadOnly = 0x10;

// What the layer passes the calls it does not answer itself on to.
typedef decltype(&SetFileInformationByHandle) PassOn;
unsigned g_moved = 0;

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

std::wstring FinalPathOf(HANDLE item) {
    wchar_t path[1024];
    const DWORD length = GetFinalPathNameByHandleW(item, path, 1024, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return length > 0 && length < 1024 ? std::wstring(path, length) : std::wstring();
}

bool FolderIsEmpty(const std::wstring& folder) {
    bool empty = true;
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW&) { empty = false; });
    return empty;
}

// Whether another program holds the item open for its data or its deletion:
// a second open that shares nothing but deletion is refused then.
bool HeldByOthers(HANDLE item, bool folder) {
    const HANDLE probe = ReOpenFile(item, folder ? FILE_LIST_DIRECTORY : FILE_READ_DATA, FILE_SHARE_DELETE,
                                    folder ? FILE_FLAG_BACKUP_SEMANTICS : 0);
    if (probe == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION;
    }
    CloseHandle(probe);
    return false;
}

// Renames the item open at item to the full path target, through its handle.
bool RenameTo(PassOn real, HANDLE item, const std::wstring& target) {
    std::string bytes(sizeof(FILE_RENAME_INFO) + (target.size() + 1) * sizeof(wchar_t), '\0');
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(&bytes[0]);
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    memcpy(rename->FileName, target.c_str(), (target.size() + 1) * sizeof(wchar_t));
    return real(item, FileRenameInfo, rename, static_cast<DWORD>(bytes.size())) != FALSE;
}

// The holding folder of the item's volume, made when first needed.
std::wstring HoldingFolder(const std::wstring& itemAt) {
    // "\\?\S:\..." or "S:\...".
    const size_t drive = itemAt.compare(0, 4, L"\\\\?\\") == 0 ? 4 : 0;
    const std::wstring folder = itemAt.substr(drive, 2) + L"\\vlx-posix-deleted";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// Clears or sets read-only through a handle of its own to the same file.
bool SetReadOnly(PassOn real, HANDLE item, DWORD attributes, bool readOnly) {
    const HANDLE writer = ReOpenFile(item, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     FILE_FLAG_OPEN_REPARSE_POINT);
    if (writer == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION mine;
    BY_HANDLE_FILE_INFORMATION its;
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = readOnly ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0) {
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    const bool same = GetFileInformationByHandle(item, &mine) && GetFileInformationByHandle(writer, &its) &&
                      mine.nFileIndexLow == its.nFileIndexLow && mine.nFileIndexHigh == its.nFileIndexHigh &&
                      mine.dwVolumeSerialNumber == its.dwVolumeSerialNumber;
    const bool set = same && real(writer, FileBasicInfo, &basic, sizeof(basic));
    CloseHandle(writer);
    return set;
}

BOOL Windows10Disposition(PassOn real, HANDLE item, DWORD flags) {
    FILE_DISPOSITION_INFO mark = {(flags & kDelete) != 0};
    if ((flags & ~(kDelete | kPosixSemantics | kIgnoreReadOnly)) != 0) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((flags & kDelete) == 0) {
        return real(item, FileDispositionInfo, &mark, sizeof(mark));
    }
    BY_HANDLE_FILE_INFORMATION about;
    if (!GetFileInformationByHandle(item, &about)) {
        return FALSE;
    }
    const bool folder = (about.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool readOnly = !folder && (about.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && (flags & kIgnoreReadOnly) == 0) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    // Wine tells no final path longer than a path: the mark then tells
    // whether the folder is empty, and such an item is not moved aside.
    const std::wstring itemAt = FinalPathOf(item);
    if (folder && !itemAt.empty() && !FolderIsEmpty(itemAt)) {
        return Fail(ERROR_DIR_NOT_EMPTY);
    }
    // Wine's mark refuses a read-only file, which Windows 10 lets go here.
    if (readOnly && !SetReadOnly(real, item, about.dwFileAttributes, false)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    bool moved = false;
    if ((flags & kPosixSemantics) != 0 && !itemAt.empty() && HeldByOthers(item, folder)) {
        const std::wstring holding = HoldingFolder(itemAt) + L"\\" + std::to_wstring(GetCurrentProcessId()) +
                                     L"-" + std::to_wstring(++g_moved);
        moved = RenameTo(real, item, holding);
    }
    if (real(item, FileDispositionInfo, &mark, sizeof(mark))) {
        return TRUE;
    }
    const DWORD error = GetLastError();
    if (moved) {
        RenameTo(real, item, itemAt);
    }
    if (readOnly) {
        SetReadOnly(real, item, about.dwFileAttributes, true);
    }
    return Fail(error);
}

BOOL AnswerAsWindows10(PassOn real, HANDLE item, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information, DWORD size) {
    if (kind != kDispositionInfoEx) {
        return real(item, kind, information, size);
    }
    if (information == nullptr || size < sizeof(DWORD)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return Windows10Disposition(real, item, *static_cast<const DWORD*>(information));
}

}  // namespace

bool Windows10DeletionWay() {
    return EnvironmentText("VLX_DELETION_WAY") == "windows10";
}

std::string DeletionWayName() {
    return Windows10DeletionWay() ? "Windows 10 deletion" : "Wine's deletion";
}

std::string DeletionWaySetting() {
    return Windows10DeletionWay() ? "windows10" : "wine";
}

struct Windows10Deletion::Patch {
    explicit Patch(HMODULE module)
        : patch(module, "SetFileInformationByHandle",
                [this](auto... call) { return AnswerAsWindows10(patch.original(), call...); }, Import::kOptional) {}
    ImportPatch<decltype(SetFileInformationByHandle)> patch;
};

Windows10Deletion::Windows10Deletion(HMODULE module) : patch_(new Patch(module)) {}

Windows10Deletion::~Windows10Deletion() {
    patch_.reset();
    // What is left once the programs holding it let go.
    RemoveTree(L"C:\\vlx-posix-deleted");
    RemoveTree(L"S:\\vlx-posix-deleted");
}

bool Windows10Deletion::applied() const {
    return patch_->patch.applied();
}

std::unique_ptr<Windows10Deletion> DeletionWayFor(HMODULE module) {
    return Windows10DeletionWay() ? std::unique_ptr<Windows10Deletion>(new Windows10Deletion(module)) : nullptr;
}
