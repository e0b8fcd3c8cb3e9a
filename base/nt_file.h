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

const VlxNtStatus kVlxStatusObjectNameInvalid = static_cast<VlxNtStatus>(0xC0000033L);
const VlxNtStatus kVlxStatusObjectNameCollision = static_cast<VlxNtStatus>(0xC0000035L);

// IO_STATUS_BLOCK.
struct VlxIoStatusBlock {
    union {
        VlxNtStatus Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};

// FILE_INFORMATION_CLASS's FileRenameInformation.
const int kVlxFileRenameInformation = 10;

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

// The Windows error that a native status stands for.
extern "C" __declspec(dllimport) ULONG WINAPI RtlNtStatusToDosError(VlxNtStatus status);
