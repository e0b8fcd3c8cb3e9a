// The few native (ntdll) declarations the platform floor needs, written out
// here with their documented values: neither the Windows SDK's <winternl.h>
// nor every version of mingw-w64's has them all (the SDK's names no rename
// information class and no NtSetInformationFile). Our own names keep them
// from clashing with a <winternl.h> that a test includes beside this header.
#pragma once

#include <windows.h>

typedef LONG VlxNtStatus;

inline bool VlxNtSuccess(VlxNtStatus status) {
    return status >= 0;
}

const VlxNtStatus kVlxStatusNoMoreFiles = static_cast<VlxNtStatus>(0x80000006L);
const VlxNtStatus kVlxStatusNoSuchFile = static_cast<VlxNtStatus>(0xC000000FL);
const VlxNtStatus kVlxStatusObjectNameInvalid = static_cast<VlxNtStatus>(0xC0000033L);
const VlxNtStatus kVlxStatusObjectNameCollision = static_cast<VlxNtStatus>(0xC0000035L);
const VlxNtStatus kVlxStatusDeletePending = static_cast<VlxNtStatus>(0xC0000056L);
// A success: the open is done, while another program's opportunistic lock on
// the item is still being broken (FILE_COMPLETE_IF_OPLOCKED asked not to wait).
const VlxNtStatus kVlxStatusOplockBreakInProgress = static_cast<VlxNtStatus>(0x00000108L);
// An information class the system does not know (Windows 7, Wine 8 for the
// 128-bit listing), and one the volume does not.
const VlxNtStatus kVlxStatusInvalidInfoClass = static_cast<VlxNtStatus>(0xC0000003L);
const VlxNtStatus kVlxStatusInvalidParameter = static_cast<VlxNtStatus>(0xC000000DL);
const VlxNtStatus kVlxStatusNotSupported = static_cast<VlxNtStatus>(0xC00000BBL);

// IO_STATUS_BLOCK.
struct VlxIoStatusBlock {
    union {
        VlxNtStatus Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};

// FILE_INFORMATION_CLASS's FileInternalInformation (the file's 64-bit id),
// FileRenameInformation, FileIdBothDirectoryInformation, and
// FileIdExtdDirectoryInformation (128-bit ids; Windows 8 and later).
const int kVlxFileInternalInformation = 6;
const int kVlxFileRenameInformation = 10;
const int kVlxFileIdBothDirectoryInformation = 37;
const int kVlxFileIdExtdDirectoryInformation = 60;

// FS_INFORMATION_CLASS's FileFsDeviceInformation, and its characteristic of
// a volume that a server holds.
const int kVlxFileFsDeviceInformation = 4;
const ULONG kVlxFileRemoteDevice = 0x10;
struct VlxFileFsDeviceInformation {
    ULONG DeviceType;
    ULONG Characteristics;
};

// FILE_INFO_BY_HANDLE_CLASS's FileIdInfo (Windows 8 and later), which our
// headers (written for Windows 7) do not name: the volume's serial number and
// the file's 128-bit id.
const FILE_INFO_BY_HANDLE_CLASS kVlxFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
struct VlxFileIdInfo {
    ULONGLONG volume;
    BYTE id[16];
};

// UNICODE_STRING and OBJECT_ATTRIBUTES, for a name relative to RootDirectory.
struct VlxUnicodeString {
    USHORT Length;  // in bytes, without a terminator
    USHORT MaximumLength;
    PWSTR Buffer;
};
struct VlxObjectAttributes {
    ULONG Length;
    HANDLE RootDirectory;
    VlxUnicodeString* ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};
const ULONG kVlxObjCaseInsensitive = 0x40;

// NtCreateFile's disposition and options that an open below a base uses.
const ULONG kVlxFileOpen = 1;
const ULONG kVlxFileDirectoryFile = 0x1;
const ULONG kVlxFileSynchronousIoNonAlert = 0x20;
const ULONG kVlxFileNonDirectoryFile = 0x40;
const ULONG kVlxFileCompleteIfOplocked = 0x100;
const ULONG kVlxFileOpenForBackupIntent = 0x4000;
const ULONG kVlxFileOpenReparsePoint = 0x200000;

// The fields every form of a listing's entry begins with, in their order.
#define VLX_DIRECTORY_ENTRY_FIELDS \
    ULONG NextEntryOffset;         \
    ULONG FileIndex;               \
    LARGE_INTEGER CreationTime;    \
    LARGE_INTEGER LastAccessTime;  \
    LARGE_INTEGER LastWriteTime;   \
    LARGE_INTEGER ChangeTime;      \
    LARGE_INTEGER EndOfFile;       \
    LARGE_INTEGER AllocationSize;  \
    ULONG FileAttributes;          \
    ULONG FileNameLength; /* in bytes */ \
    ULONG EaSize;

// FILE_ID_BOTH_DIR_INFORMATION: one entry of a folder's listing. EaSize holds
// the reparse tag of an entry that is a reparse point.
struct VlxFileIdBothDirInformation {
    VLX_DIRECTORY_ENTRY_FIELDS
    CCHAR ShortNameLength;
    WCHAR ShortName[12];
    LARGE_INTEGER FileId;
    WCHAR FileName[1];
};

// FILE_ID_EXTD_DIR_INFORMATION: the same with the reparse tag in a field of
// its own and the 128-bit file id (Windows 8 and later).
struct VlxFileIdExtdDirInformation {
    VLX_DIRECTORY_ENTRY_FIELDS
    ULONG ReparsePointTag;
    BYTE FileId[16];
    WCHAR FileName[1];
};
static_assert(sizeof(VlxFileIdBothDirInformation) == 112 && sizeof(VlxFileIdExtdDirInformation) == 96,
              "the platform's layouts");

// FILE_RENAME_INFORMATION: the new name, relative to RootDirectory when it is
// given. Its layout is that of the API's FILE_RENAME_INFO.
struct VlxFileRenameInformation {
    BOOLEAN ReplaceIfExists;
    HANDLE RootDirectory;
    ULONG FileNameLength;  // in bytes
    WCHAR FileName[1];
};

extern "C" __declspec(dllimport) VlxNtStatus WINAPI NtSetInformationFile(HANDLE file, VlxIoStatusBlock* status,
                                                                         PVOID information, ULONG length,
                                                                         int informationClass);

extern "C" __declspec(dllimport) VlxNtStatus WINAPI NtCreateFile(HANDLE* file, ACCESS_MASK access,
                                                                  VlxObjectAttributes* attributes,
                                                                  VlxIoStatusBlock* status, LARGE_INTEGER* size,
                                                                  ULONG fileAttributes, ULONG sharing,
                                                                  ULONG disposition, ULONG options, PVOID ea,
                                                                  ULONG eaLength);

extern "C" __declspec(dllimport) VlxNtStatus WINAPI NtQueryDirectoryFile(HANDLE folder, HANDLE event, PVOID apc,
                                                                          PVOID apcContext, VlxIoStatusBlock* status,
                                                                          PVOID information, ULONG length,
                                                                          int informationClass,
                                                                          BOOLEAN returnSingleEntry,
                                                                          VlxUnicodeString* fileName,
                                                                          BOOLEAN restartScan);

extern "C" __declspec(dllimport) VlxNtStatus WINAPI NtQueryInformationFile(HANDLE file, VlxIoStatusBlock* status,
                                                                            PVOID information, ULONG length,
                                                                            int informationClass);

extern "C" __declspec(dllimport) VlxNtStatus WINAPI NtQueryVolumeInformationFile(HANDLE file,
                                                                                  VlxIoStatusBlock* status,
                                                                                  PVOID information, ULONG length,
                                                                                  int informationClass);

// The Windows error that a native status stands for.
extern "C" __declspec(dllimport) ULONG WINAPI RtlNtStatusToDosError(VlxNtStatus status);

// The Windows error of a native call's status: 0 for success.
inline DWORD VlxError(VlxNtStatus status) {
    return VlxNtSuccess(status) ? ERROR_SUCCESS : RtlNtStatusToDosError(status);
}

// A name of length characters as the native calls take it.
inline VlxUnicodeString VlxName(const wchar_t* name, size_t length) {
    VlxUnicodeString text;
    text.Length = text.MaximumLength = static_cast<USHORT>(length * sizeof(wchar_t));
    text.Buffer = const_cast<wchar_t*>(name);
    return text;
}
