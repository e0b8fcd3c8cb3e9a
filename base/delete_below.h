// Deleting a file or removing a folder below a base folder, through a handle
// opened by its name in its proven folder (no_follow.h), so that the name is
// free once the deletion returns, even while another program holds the item
// open and shares its deletion.
//
// Where the volume knows it (Windows 10 1709 and later, on NTFS), the
// deletion has POSIX semantics: the name leaves its folder when the hook's
// handle closes. Elsewhere (Windows 7 and 8, FAT, ReFS, Wine) the old mark
// keeps the name taken for as long as anyone holds the item. So a file that
// another program holds (a share-nothing open of it is refused) first takes
// a temporary name in its own folder (move_aside.h), recorded before the
// rename (deletion_record.h), and takes its own name back should the mark be
// refused; the record goes once the file is marked or has its name back, and
// a file left under its temporary name keeps it for the next run, which
// finishes it (FinishLeftover). A file whose temporary path would pass the
// path limit, that its volume gives no identity, or that lies on a share
// (where the new name is a path the server resolves, following its own
// links), is marked under its own name, which then stays taken until the
// other program lets go. Each step,
// what a kill after it leaves and what the next run does: docs/safety.md.
#pragma once

#include <windows.h>

#include "base/deletion_record.h"
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

// The same, for a file whose folder the caller has opened below base (as
// OpenEachBelow does): folder is that proven folder, not yet listed.
DWORD ForceDeleteIn(HANDLE folder, const wchar_t* base, const wchar_t* path, LeftAside* leftAside = nullptr);

// Removes the proven folder open at folder (with DELETE, and
// FILE_WRITE_ATTRIBUTES where attributes hold any of read-only, hidden and
// system), whose attributes are attributes: those three are cleared first and
// put back should it stay (0 leaves them as they are, as RemoveDirectoryW
// does). It goes when its last handle closes (ERROR_DIR_NOT_EMPTY for a
// folder that still holds anything). Where posix is given, POSIX semantics
// are tried only while it is true, and it turns false where the volume does
// not know them: a walk asks once.
DWORD RemoveOpenFolder(HANDLE folder, DWORD attributes, bool* posix = nullptr);

// What finishing a recorded deletion found at the temporary path.
enum LeftoverFound {
    kLeftoverDeleted,  // the very file recorded, deleted as the record says
    kLeftoverGone,     // nothing there, on the volume recorded
    kLeftoverNotOurs,  // a folder, a link, a file of another identity or with a second name: left as it is
    kLeftoverStays,    // it cannot be told, or the deletion was refused: *error says why
};

// Finishes the deletion that a killed run left half-done: the file recorded
// as set aside at leftover, its temporary path, below the base the record
// names, if and only if it is the very file recorded, with no other name and
// no link on its way; deleted as the record says, never renamed again. A
// leftover that is missing, or that another program is deleting, counts as
// gone only while the volume of the recorded base (where that does not open,
// the one at its root) is the one recorded; a file or a base of another
// volume leaves it to be told (ERROR_WRONG_DISK).
LeftoverFound FinishLeftover(const wchar_t* leftover, const DeletionRecord& record, DWORD* error);
