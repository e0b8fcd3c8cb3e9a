// The record of a file that the old deletion sets aside under a temporary
// name (move_aside.h); when it is written and removed, and what the next run
// does with one a killed run left: the table at the top of delete_below.h.
// It lives under HKEY_LOCAL_MACHINE, where only administrators write, in a
// key that only SYSTEM and administrators can read, so no user can forge one
// or learn from it; the file it names is proven by what survives the rename
// (a name alone proves nothing: anyone may create a file of any name).
#pragma once

#include <windows.h>

#include "base/checked_text.h"

// A four-character prefix, eight hexadecimal digits and ".tmp", with the
// terminator.
const size_t kTemporaryNameChars = 17;

// The hook's own key, in its own (32-bit) view: one binary value per file
// set aside, named by its temporary path; made for the first record and
// removed once it holds nothing.
extern const wchar_t kDeletionRecordKey[];

// What proves that a file is the one set aside, by what its volume keeps.
enum FileProof : DWORD {
    // Where the volume answers FileIdInfo (Windows 8 and later; ReFS needs
    // it): the 64-bit volume serial number and the 128-bit file id.
    kProofFileId = 1,
    // Elsewhere (Windows 7): the volume serial number and the 64-bit index.
    kProofIndex = 2,
    // A volume that keeps no access lists (FAT, exFAT), where any user may
    // delete any file anyway: its index is the place of the file's entry in
    // its folder, which the longer temporary name moves, so the proof is
    // what the rename leaves alone: the volume serial number, the size and
    // the creation and last-write times.
    kProofTraits = 3,
};

// A record's value, laid out alike by every compiler (no padding). A value
// of another size or layout is no record of this hook.
struct DeletionRecord {
    DWORD layout;              // kDeletionRecordLayout
    DWORD proof;               // FileProof
    ULONGLONG volume;          // the volume's serial number
    BYTE id[16];               // the file id; the index, low half first
    ULONGLONG size;            // kProofTraits: the file's size and times
    ULONGLONG created;
    ULONGLONG written;
    DWORD forced;              // 1: read-only, hidden and system do not stop its deletion
    DWORD passes;              // finishing passes that found it and left it
    wchar_t base[kPathChars];  // the base folder it was found below
};

const DWORD kDeletionRecordLayout = 2;

// The proof of the file open at file that its volume allows, into record: 0,
// or why it cannot be had.
DWORD IdentifyFile(HANDLE file, DeletionRecord* record);

// Whether the file open at file is the one record names, proven the way the
// record was: 0 with *same set, or why it cannot be told.
DWORD MatchRecordedFile(HANDLE file, const DeletionRecord& record, bool* same);

enum RecordWrite {
    kNewRecord,      // refused (ERROR_ALREADY_EXISTS) where temporaryPath has a record
    kUpdatedRecord,  // over the record of temporaryPath
};

// Writes the record of the file set aside (or about to be) at temporaryPath,
// after it has given the key its access list (SYSTEM and
// Administrators, nothing inherited), and makes it durable before it
// returns: 0 or why not.
DWORD WriteDeletionRecord(const wchar_t* temporaryPath, const DeletionRecord& record, RecordWrite how);

// Removes the record of temporaryPath, and then the key once it holds nothing:
// true when no record of temporaryPath is left. Other records are never touched.
bool RemoveDeletionRecord(const wchar_t* temporaryPath);

// The record at index: the temporary path it is named by (empty for a name
// too long to be one of ours), and the record, zeroed (layout 0) where the
// value is none of this hook's. False when there is none at index or the key
// cannot be read; an empty key is removed then.
bool NextDeletionRecord(DWORD index, wchar_t (&leftover)[kPathChars], DeletionRecord* record);
