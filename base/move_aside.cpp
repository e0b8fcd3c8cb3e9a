#include "base/move_aside.h"

#include <ntsecapi.h>

#include <string.h>

#include "base/checked_text.h"
#include "base/nt_file.h"

namespace {

// How many random temporary names are tried before a file is left alone.
const int kNameAttempts = 8;

// Room for the name a file's volume tells (from the volume's root).
const size_t kNameInfoChars = 1024;

// Names a file in the folder open at folder: through that handle, so that
// no path is looked up again. ReplaceIfExists stays FALSE: nothing is ever
// overwritten.
VlxNtStatus RenameWithin(HANDLE folder, HANDLE file, const wchar_t* name) {
    union {
        VlxFileRenameInformation info;
        BYTE bytes[sizeof(VlxFileRenameInformation) + kPathChars * sizeof(wchar_t)];
    } rename;
    const size_t length = wcslen(name);
    if (length >= kPathChars) {
        return kVlxStatusObjectNameInvalid;
    }
    memset(&rename, 0, sizeof(rename));
    rename.info.ReplaceIfExists = FALSE;
    rename.info.RootDirectory = folder;
    rename.info.FileNameLength = static_cast<ULONG>(length * sizeof(wchar_t));
    memcpy(rename.info.FileName, name, length * sizeof(wchar_t));
    VlxIoStatusBlock status;
    // The native call: Windows hands the name of the API form
    // (SetFileInformationByHandle) on as it is, but Wine takes it for a path
    // of the current folder and refuses a folder handle with it.
    return NtSetInformationFile(file, &status, &rename, sizeof(rename), kVlxFileRenameInformation);
}

// The name the file open at file has in its folder now, as its volume tells
// it: 0, or why it cannot be told.
DWORD ReadCurrentName(HANDLE file, wchar_t (&name)[kPathChars]) {
    union {
        FILE_NAME_INFO info;
        BYTE bytes[sizeof(FILE_NAME_INFO) + kNameInfoChars * sizeof(wchar_t)];
    } about;
    if (!GetFileInformationByHandleEx(file, FileNameInfo, &about, sizeof(about))) {
        return LastFailure();
    }
    // Wine answers a name that does not fit with success, cut short.
    const size_t length = about.info.FileNameLength / sizeof(wchar_t);
    if (length > kNameInfoChars) {
        return ERROR_MORE_DATA;
    }
    wchar_t* told = about.info.FileName;
    told[length] = L'\0';  // the buffer holds one more character than kNameInfoChars
    return CheckedCopy(name, told + LeafAt(told)) ? ERROR_SUCCESS : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE);
}

// The product's four-character prefix (VLX_TEMPORARY_NAME_PREFIX, named by
// the build), eight hexadecimal digits from the system's random source,
// ".tmp": a name no other user can tell in advance. False when the source
// fails.
bool MakeTemporaryName(wchar_t (&name)[kTemporaryNameChars]) {
    DWORD seed = 0;
    if (!RtlGenRandom(&seed, sizeof(seed))) {
        return false;
    }
    const wchar_t digits[] = L"0123456789ABCDEF";
    static_assert(sizeof(VLX_TEMPORARY_NAME_PREFIX) == 5, "a prefix of four characters");
    memcpy(name, L"" VLX_TEMPORARY_NAME_PREFIX, 4 * sizeof(wchar_t));
    for (int i = 0; i < 8; ++i) {
        name[4 + i] = digits[(seed >> (28 - 4 * i)) & 0xF];
    }
    memcpy(name + 12, L".tmp", 5 * sizeof(wchar_t));
    return true;
}

// Two names are the same name: the platform compares them without regard to
// case.
bool SameName(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// Sets the file aside at temporaryPath, whose last component is a new name,
// recording it first: 0 when it is set aside, with *taken false; 0 with
// *taken true when the name is taken (a file has it, or another file's record
// holds it), with no record left; otherwise why not.
DWORD TryName(HANDLE folder, HANDLE file, const wchar_t* ownName, const wchar_t* temporaryPath,
              const DeletionRecord& record, bool* taken) {
    const wchar_t* name = temporaryPath + LeafAt(temporaryPath);
    *taken = false;
    // Recorded before the rename: a run ended in between leaves a record
    // whose file still has its own name, never a file the next run does not
    // know.
    DWORD status = WriteDeletionRecord(temporaryPath, record, kNewRecord);
    if (status != ERROR_SUCCESS) {
        *taken = status == ERROR_ALREADY_EXISTS;
        return *taken ? ERROR_SUCCESS : status;
    }
    const VlxNtStatus renamed = RenameWithin(folder, file, name);
    if (VlxNtSuccess(renamed)) {
        return ERROR_SUCCESS;
    }
    // A rename reported failed may have been done all the same (a share that
    // drops in the middle): the name the file has now decides. Under the
    // temporary one it is set aside; where it is not told to be its own, the
    // record stays for the next run.
    wchar_t now[kPathChars];
    const DWORD told = ReadCurrentName(file, now);
    if (told == ERROR_SUCCESS && SameName(now, name)) {
        return ERROR_SUCCESS;
    }
    if (told != ERROR_SUCCESS || !SameName(now, ownName)) {
        return RtlNtStatusToDosError(renamed);
    }
    RemoveDeletionRecord(temporaryPath);
    *taken = renamed == kVlxStatusObjectNameCollision;
    return *taken ? ERROR_SUCCESS : RtlNtStatusToDosError(renamed);
}

}  // namespace

DWORD MoveAside(HANDLE folder, HANDLE file, const wchar_t* path, const DeletionRecord& record,
                wchar_t (&temporaryPath)[kPathChars]) {
    // The temporary path is the file's folder, copied once, and a new name.
    DWORD status = CheckedCopy(temporaryPath, path) ? ERROR_SUCCESS : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE);
    const size_t leaf = LeafAt(path);
    bool taken = true;
    for (int attempt = 0; status == ERROR_SUCCESS && taken && attempt < kNameAttempts; ++attempt) {
        wchar_t name[kTemporaryNameChars];
        temporaryPath[leaf] = L'\0';
        if (!MakeTemporaryName(name)) {
            status = ERROR_GEN_FAILURE;
        } else if (!CheckedAppend(temporaryPath, name)) {
            status = ERROR_FILENAME_EXCED_RANGE;
        } else {
            status = TryName(folder, file, path + leaf, temporaryPath, record, &taken);
        }
    }
    if (status == ERROR_SUCCESS && taken) {
        status = ERROR_ALREADY_EXISTS;  // every name tried was taken
    }
    if (status != ERROR_SUCCESS) {
        temporaryPath[0] = L'\0';
    }
    return status;
}

DWORD MoveBack(HANDLE folder, HANDLE file, const wchar_t* path) {
    const VlxNtStatus renamed = RenameWithin(folder, file, path + LeafAt(path));
    return VlxNtSuccess(renamed) ? ERROR_SUCCESS : RtlNtStatusToDosError(renamed);
}
