// Deleting a file or removing a folder below a base folder, through a handle
// opened by its name in its proven folder (no_follow.h), so that the name is
// free once the deletion returns, even while another program holds the item
// open and shares its deletion.
//
// Where the volume knows it (Windows 10 1709 and later, on NTFS), the
// deletion has POSIX semantics: the name leaves its folder when the hook's
// handle closes. Elsewhere (Windows 7 and 8, FAT, ReFS, Wine) the old mark
// keeps the name taken for as long as anyone holds the item; a file that
// another program holds then first takes a temporary name in its own folder,
// and takes its own name back should the mark be refused. That rename is
// recorded first (deletion_record.h), so that a run ended between it and the
// mark leaves the next run a deletion to finish (FinishLeftover), never a file
// under a name nobody knows. A record goes once its file is marked: a power
// cut while another program still holds a marked file leaves that file
// under its temporary name. Where the temporary path would pass the path
// limit, a held file is marked under its own name, without a rename.
//
// The life of a held file under the old mark, step by step, with what a
// kill after each step leaves and what the next run does with it:
//
//   step                   a kill leaves                     the next run
//   own name               the file as it was                deletes it afresh
//   attributes cleared     it, without read-only, hidden     deletes it afresh (a forced
//     (forced only)          and system                        deletion clears them anyway)
//   recorded (flushed)     a record; the file at its own     finds nothing at the temporary
//                            name                              path: forgets the record once
//                                                              the volume at the root is the
//                                                              one recorded
//   temporary name         the file at it, and the record    finishes it (FinishLeftover) when
//                                                              it is the very file recorded:
//                                                              its id and creation time, or on
//                                                              FAT its size and both times
//                                                              shifted alike by whole quarter
//                                                              hours
//   marked                 the mark, kept by the holder's    deletes it again (Wine), or is
//                            handle, and the record            refused until the holder lets
//                                                              go (Windows): counts the pass
//   record removed         the file marked, no record        nothing: it goes when the holder
//                                                              lets go (a power cut first
//                                                              leaves it under the temporary
//                                                              name, with nobody to know)
// Should the rename report failure, the name the file has now decides:
//   the temporary one      as after the temporary name       as above
//   its own                the file as it was, the record    forgets the record (nothing at
//                            until it goes                     the temporary path)
//   none told              the file at either name, the      finishes it, or forgets the
//                            record kept                       record, as above
// Should the mark be refused (a module in use):
//   own name taken back    the file as it was, attributes    forgets the record (nothing at
//                            put back, the record until it     the temporary path)
//                            goes
//   left under the         the file at the temporary name,   finishes it, as above
//     temporary name         the record kept (LeftAside says
//     (its name taken)       where)
// A file its volume gives no identity (an id of zeros) is marked under its
// own name, as one whose temporary path would pass the path limit. A record
// whose leftover cannot be told (a link on the way, a volume that does not
// answer or another volume at its letter, a refusal) stays until the
// finishing gives it up, once (the rules: docs/safety.md).
#pragma once

#include <windows.h>

#include "base/move_aside.h"
#include "base/no_follow.h"

// A file that could not be deleted and then could not take its own name
// back: the name it has in its folder now, and why it kept it.
struct LeftAside {
    wchar_t name[kTemporaryNameChars] = {};  // empty: the file has its own name
    DWORD error = ERROR_SUCCESS;
};

// Deletes the file at path below base, as DeleteFileW does: a read-only file
// is refused (ERROR_ACCESS_DENIED) and stays as it is. A file that cannot be
// deleted (one in use) keeps its name; should it not get it back, leftAside
// (when given) says where it is.
DWORD DeleteBelow(const wchar_t* base, const wchar_t* path, LeftAside* leftAside = nullptr);

// The same, as a forced delete: read-only, hidden and system attributes do not
// stop it, and a file that cannot be deleted keeps them.
DWORD ForceDeleteBelow(const wchar_t* base, const wchar_t* path, LeftAside* leftAside = nullptr);

enum FolderRemoval {
    kPlainRemoval,     // as RemoveDirectoryW: the folder's attributes stay as they are
    kClearingRemoval,  // read-only, hidden and system are cleared first, and put back should it stay
};

// Removes the proven folder open at folder (with DELETE, and for a clearing
// removal FILE_WRITE_ATTRIBUTES), whose attributes are attributes; it goes
// when its last handle closes (ERROR_DIR_NOT_EMPTY for a folder that still
// holds anything). Where posix is given, POSIX semantics are tried only
// while it is true, and it turns false where the volume does not know them:
// a walk asks once.
DWORD RemoveOpenFolder(HANDLE folder, DWORD attributes, FolderRemoval how = kClearingRemoval,
                       bool* posix = nullptr);

// What finishing a recorded deletion found at the temporary path.
enum LeftoverFound {
    kLeftoverDeleted,  // the very file recorded, deleted as the record says
    kLeftoverGone,     // nothing there, on the volume recorded
    kLeftoverNotOurs,  // a folder, a link, a file of another identity or with a second name: left as it is
    kLeftoverStays,    // it cannot be told, or the deletion was refused: *error says why
};

// Finishes the deletion that a killed run left half-done: the file recorded
// (deletion_record.h) as set aside at leftover, its temporary path, below the
// base the record names, if and only if it is the very file recorded, with
// no other name and no link on its way; deleted as the record says, never
// renamed again. A leftover that is missing counts as gone only while the
// volume that answers at its root is the one recorded; a file or a root of
// another volume leaves it to be told (ERROR_WRONG_DISK).
LeftoverFound FinishLeftover(const wchar_t* leftover, const DeletionRecord& record, DWORD* error);
