// The Windows error codes the platform floor answers with: the platform's
// own, and a few of its own for what the platform has no code for; and the
// helpers that read them.
#pragma once

#include <windows.h>

// A link (junction, symbolic link, mount point) on the way to an item or at
// it: the platform's ERROR_REPARSE_POINT_ENCOUNTERED, which not every SDK's
// headers define.
const DWORD kLinkInPath = 4395;

// An item whose volume tells no identity for it (an id of zeros, as some
// network redirectors answer), where its creation time is no proof either:
// nothing could tell it from another item put at its name.
const DWORD kNoFileIdentity = ERROR_NOT_SUPPORTED;

// The floor's own codes carry the bit that Windows leaves to applications
// (no system error code has it).
// A file with more than one name (a hard link): its attributes, access list
// and data are those of its other names too.
const DWORD kSecondName = 0x20000001;
// What opened is not the item expected: not the entry its folder listed at
// the name, or not the item it was opened again through (another object was
// put at the name meanwhile).
const DWORD kOtherItemAtName = 0x20000002;
// A file that is not the one a deletion record names (deletion_record.h).
const DWORD kNotRecordedFile = 0x20000003;
// A walk that reached its bound of levels or entries (folder_tree.h) and
// stopped there.
const DWORD kWalkBound = 0x20000004;

// Whether error is a refusal that the log tells as a link on the way: a
// link, a file with a second name, another item at a name.
inline bool IsRefusedAsLink(DWORD error) {
    return error == kLinkInPath || error == kSecondName || error == kOtherItemAtName;
}

// The thread's last error after a call that failed; never 0, which would
// read as success.
inline DWORD LastFailure() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

// The outcome of a call that reports failure through the thread's last error.
inline DWORD LastErrorUnless(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : LastFailure();
}

// Whether error says an item is not there: no such file, or no folder on its
// way. What the hook was to remove is then as good as removed, and says so
// nowhere in the log.
inline bool NotThere(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A query or change the volume does not know, as opposed to one it refused:
// some network and user-mode file systems do not know POSIX-semantics
// deletion, and systems before Windows 10 do not know it at all.
inline bool IsUnsupported(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}
