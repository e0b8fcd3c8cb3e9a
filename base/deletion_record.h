// The record of a file that the old deletion sets aside under a temporary
// name: when it is written and removed, delete_below.h; what the next run
// does with one a killed run left, step by step: docs/safety.md.
// It lives under HKEY_LOCAL_MACHINE, where only administrators write, in a
// key that only SYSTEM and administrators can read, so no user can forge one
// or learn from it; the file it names is proven by what survives the rename
// (a name alone proves nothing: anyone may create a file of any name).
#pragma once

#include <windows.h>

#include "base/checked_text.h"
#include "base/errors.h"
#include "base/guards.h"

// A four-character prefix, eight hexadecimal digits and ".tmp", with the
// terminator.
const size_t kTemporaryNameChars = 17;

// The hook's own key, in its own (32-bit) view: one binary value per file
// set aside, named by its temporary path; made for the first record and
// removed once it holds nothing.
extern const wchar_t kDeletionRecordKey[];

// What proves that a file is the one set aside, by what its volume keeps.
// Each proof also holds the file's creation time: an id alone may be handed
// to a new file once the old one is gone (an inode number is).
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
    // the creation and last-write times (compared in any time zone).
    kProofTraits = 3,
};

// A record's value, laid out alike by every compiler (no padding). A value
// of another size or layout is no record of this hook.
struct DeletionRecord {
    DWORD layout;              // kDeletionRecordLayout
    DWORD proof;               // FileProof
    ULONGLONG volume;          // the volume's serial number
    BYTE id[16];               // the file id; the index, low half first
    ULONGLONG size;            // kProofTraits: the file's size and last-write time
    ULONGLONG created;         // every proof: the file's creation time
    ULONGLONG written;
    DWORD forced;              // 1: read-only, hidden and system do not stop its deletion
    DWORD passes;              // finishing passes that found it and left it
    wchar_t base[kPathChars];  // the base folder it was found below
};

// 3 since every proof holds the creation time.
const DWORD kDeletionRecordLayout = 3;

// The proof of the file open at file that its volume allows, into record: 0,
// kNoFileIdentity, or why it cannot be had.
DWORD IdentifyFile(HANDLE file, DeletionRecord* record);

// 0 when the object open at item is the file record names, proven the way
// the record was; ERROR_WRONG_DISK when it lies on another volume than the
// one recorded; kNotRecordedFile for another file (or folder) on that volume;
// or why it cannot be told. For a volume's root it tells whether that volume
// is the one recorded.
DWORD MatchRecordedFile(HANDLE item, const DeletionRecord& record);

enum RecordWrite {
    kNewRecord,      // refused (ERROR_ALREADY_EXISTS) where a value of that name is there
    kUpdatedRecord,  // over the value of that name
};

// Opens the records key, or its sub-key subKey (null: the key itself), with
// access, making what is missing: each is made with its owner and access
// list (SYSTEM and Administrators alone), or given them, before the caller
// writes anything to it. 0, or why not (*key then empty).
DWORD CreateRecordsKey(const wchar_t* subKey, REGSAM access, RegKey* key);

// Writes the value name (type, size bytes of data) into the records key or
// its sub-key subKey (as CreateRecordsKey makes them) and makes it durable
// before it returns: 0 or why not.
DWORD WriteRecordsValue(const wchar_t* subKey, const wchar_t* name, DWORD type, const void* data, DWORD size,
                        RecordWrite how);

// Writes the record of the file set aside (or about to be) at temporaryPath
// (WriteRecordsValue).
DWORD WriteDeletionRecord(const wchar_t* temporaryPath, const DeletionRecord& record, RecordWrite how);

// Removes the value named temporaryPath (a record, or a value that is none of
// ours), then the key as RemoveRecordsKeyWhenDone does: true when no value of
// that name is left. Other records are never touched.
bool RemoveDeletionRecord(const wchar_t* temporaryPath);

// The number of values the records key holds (0 when it is not there or
// cannot be read): no pass over the records reads more.
DWORD DeletionRecordCount();

// What the value at an index of the records key is.
enum RecordValue {
    kNoMoreValues,   // none at index, or the key cannot be read
    kOurRecord,      // a record of this hook's, named by its temporary path
    kForeignValue,   // none of ours (another type, size or layout, a base
                     // folder without its end, a name that is no full path),
                     // under a name that RegDeleteValueW can be given
    kUnnamedValue,   // none of ours, under a name that cannot be given (one
                     // holding a NUL, or past the path limit): left alone
};

// The value at index: its name in leftover (not for kUnnamedValue), and for
// kOurRecord the record.
RecordValue ReadDeletionRecord(DWORD index, wchar_t (&leftover)[kPathChars], DeletionRecord* record);

// Removes the records key once no record of this hook's is left in it,
// whatever else a damaged hive or another tool left there.
void RemoveRecordsKeyWhenDone();
