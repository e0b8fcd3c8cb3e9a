#include "base/lock_break.h"

#include <winioctl.h>

#include <stdlib.h>
#include <string.h>

#include "base/errors.h"
#include "base/guards.h"
#include "base/no_follow.h"

namespace {

// FSCTL_OPLOCK_BREAK_NOTIFY: completes once no break of a lock on the file
// is in progress.
const DWORD kOplockBreakNotify = CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 5, METHOD_BUFFERED, FILE_ANY_ACCESS);

VlxNtStatus Create(HANDLE folder, const wchar_t* name, size_t length, ACCESS_MASK access, ULONG sharing,
                   ULONG options, HANDLE* item) {
    VlxUnicodeString text = VlxName(name, length);
    VlxObjectAttributes object = {sizeof(object), folder, &text, kVlxObjCaseInsensitive, nullptr, nullptr};
    VlxIoStatusBlock io = {};
    *item = INVALID_HANDLE_VALUE;
    return NtCreateFile(item, access, &object, &io, nullptr, 0, sharing, kVlxFileOpen,
                        options | kVlxFileCompleteIfOplocked, nullptr, 0);
}

// Waits at most kLockBreakWaitMs for the break in progress on the item open
// at item (opened with options) to end: 0 once it has, ERROR_SHARING_VIOLATION
// when it has not.
DWORD AwaitBreak(HANDLE item, ULONG options) {
    // Through a handle of its own that does not wait (no synchronous I/O),
    // for the item's attributes alone, which breaks no lock.
    HANDLE opened = INVALID_HANDLE_VALUE;
    const VlxNtStatus status =
        Create(item, L"", 0, FILE_READ_ATTRIBUTES, kShareAll, options & ~kVlxFileSynchronousIoNonAlert, &opened);
    FileHandle waiting(VlxNtSuccess(status) ? opened : INVALID_HANDLE_VALUE);
    if (!VlxNtSuccess(status) || status == kVlxStatusOplockBreakInProgress) {
        return ERROR_SHARING_VIOLATION;
    }
    Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // On the heap: should the request outlive even its cancellation, the
    // system may still write to it, and it is left there.
    OVERLAPPED* overlapped = static_cast<OVERLAPPED*>(malloc(sizeof(OVERLAPPED)));
    if (!event.valid() || overlapped == nullptr) {
        free(overlapped);
        return event.valid() ? static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY) : LastFailure();
    }
    memset(overlapped, 0, sizeof(*overlapped));
    overlapped->hEvent = event.get();
    DWORD result = ERROR_SUCCESS;
    if (!DeviceIoControl(waiting.get(), kOplockBreakNotify, nullptr, 0, nullptr, 0, nullptr, overlapped)) {
        result = GetLastError() == ERROR_IO_PENDING ? WaitForSingleObject(event.get(), kLockBreakWaitMs)
                                                    : static_cast<DWORD>(WAIT_FAILED);
        if (result == WAIT_OBJECT_0) {
            result = VlxError(static_cast<VlxNtStatus>(overlapped->Internal));
        } else if (result == WAIT_TIMEOUT) {
            CancelIoEx(waiting.get(), overlapped);
            if (WaitForSingleObject(event.get(), kLockBreakWaitMs) != WAIT_OBJECT_0) {
                return ERROR_SHARING_VIOLATION;  // the request still holds overlapped
            }
        }
        result = result == ERROR_SUCCESS ? result : static_cast<DWORD>(ERROR_SHARING_VIOLATION);
    }
    free(overlapped);
    return result;
}

}  // namespace

DWORD OpenWithoutWaiting(HANDLE folder, const wchar_t* name, size_t length, ACCESS_MASK access, ULONG sharing,
                         ULONG options, HANDLE* item) {
    HANDLE opened = INVALID_HANDLE_VALUE;
    const VlxNtStatus status = Create(folder, name, length, access, sharing, options, &opened);
    // An item that another program is deleting is as good as gone.
    if (!VlxNtSuccess(status)) {
        return status == kVlxStatusDeletePending ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND) : VlxError(status);
    }
    FileHandle open(opened);
    // Open, with the other program's lock still being broken: until it lets
    // go, what the hook does through the handle would wait for it.
    const DWORD broken = status == kVlxStatusOplockBreakInProgress ? AwaitBreak(opened, options) : ERROR_SUCCESS;
    if (broken == ERROR_SUCCESS) {
        *item = open.release();
    }
    return broken;
}
