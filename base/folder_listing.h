// Reading a folder's listing through its handle: one entry by its name, or
// every entry a batch at a time, each as the folder tells it (attributes,
// reparse tag, file id, creation time, name). What the hook opens below a
// base is opened as its folder lists it (no_follow.h).
#pragma once

#include <windows.h>

// True for a reparse point that leads elsewhere: a name surrogate (junction,
// mount point, symbolic link), or one whose tag the platform does not report.
// Any other reparse point (a deduplicated or compressed file, a cloud
// placeholder) is the file or folder itself.
bool IsLink(DWORD attributes, DWORD reparseTag);

// A file id as the volume tells it: 128 bits where the system and the volume
// know them (ReFS and Dev Drive need them), otherwise 64 in low. All zeros,
// or all ones in the bits told: not told.
struct FileId {
    ULONGLONG low;
    ULONGLONG high;
    bool wide;  // told in 128 bits
};

// Whether id is one the volume told.
bool IsKnownId(const FileId& id);

// One entry of a folder's listing, as the folder tells it.
struct ListedEntry {
    DWORD attributes;
    DWORD tag;           // the reparse tag of a reparse point; 0: not told
    FileId id;
    LONGLONG created;    // the creation time, which proves it where no id is told
    wchar_t name[256];   // its (long) name
};

// Lists the one entry named by the length characters at name in the folder
// open at folder, through that handle (a handle's first listing fixes which
// names it lists: it must not have listed before). ERROR_FILE_NOT_FOUND when
// there is none; ERROR_INVALID_NAME for "", ".", "..", or a name with a
// wildcard.
DWORD ListEntry(HANDLE folder, const wchar_t* name, size_t length, ListedEntry* entry);

// A folder's listing as it is read, a batch of entries at a time.
struct Listing {
    union {
        LONGLONG align;
        BYTE bytes[4096];
    } batch;
    ULONG at = 0;         // where the next entry of the batch begins
    bool empty = true;    // no entry of the batch is left
    bool narrow = false;  // read with 64-bit ids: the system or volume knows no other
};

// The next entry of the listing of the folder open at folder, read through
// listing, "." and ".." passed over: 0, ERROR_NO_MORE_FILES at its end, or
// why it broke off.
DWORD NextEntry(HANDLE folder, Listing* listing, ListedEntry* entry);
