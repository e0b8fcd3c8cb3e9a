// The record of a file that the old deletion moves aside (move_aside.h):
// written before the rename, removed once the deletion has its answer. It
// lives under HKEY_LOCAL_MACHINE, where only administrators write, so no
// user can forge one; a run that is killed in between leaves it behind, and
// the next run finishes the deletion of the file it names, proven by the
// file's identity on its volume (a name alone proves nothing: anyone may
// create a file called "~VLX....tmp").
#pragma once

#include <windows.h>

#include "base/checked_text.h"

// "~VLX", eight hexadecimal digits and ".tmp", with the terminator.
const size_t kTemporaryNameChars = 17;

// The hook's own key, in its own (32-bit) view: one binary value per file,
// named by the path the file had; made for the first record and removed with
// the last.
extern const wchar_t kAsideRecordKey[];

struct AsideRecord {
    DWORD volume;                         // the volume's serial number
    DWORD indexHigh;                      // the file's index on that volume
    DWORD indexLow;
    DWORD forced;                         // 1: read-only, hidden and system do not stop its deletion
    wchar_t name[kTemporaryNameChars];    // its temporary name, in the folder it had
    wchar_t base[kPathChars];             // the base folder it was found below
};

// The identity of the file open at file, into record.
DWORD IdentifyFile(HANDLE file, AsideRecord* record);
// Whether the file open at file is the one record names.
bool IsRecordedFile(HANDLE file, const AsideRecord& record);

// Writes the record of the file that had path, over any earlier one, and
// makes it durable before it returns: 0 or why not.
DWORD WriteAsideRecord(const wchar_t* path, const AsideRecord& record);

// Removes the record of path, and the key with the last record: true when
// no record of path is left.
bool RemoveAsideRecord(const wchar_t* path);

// The record at index: the path it is named by (empty for a name too long to
// be one of ours), and the record (zeroed where the value is not one). False
// when there is none at index or the key cannot be read; an empty key is
// removed then.
bool NextAsideRecord(DWORD index, wchar_t (&path)[kPathChars], AsideRecord* record);
