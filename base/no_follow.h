// Changing a file or folder below a base folder without following a link
// (junction, symbolic link, mount point) that someone planted on the way.
// We run elevated, and a standard user may create folders below the common
// application data folder, owns their own profile and may own an install
// folder: a link there would turn a deletion or an access-list change of ours
// against any file of the machine. The base folder itself is trusted (an
// administrator may have moved it with a junction); everything from it down
// to the item itself must be plain.
//
// Every operation here answers with a Windows error code: ERROR_SUCCESS,
// kLinkInPath for a link on the way, or the platform's own error. Logging is
// the caller's.
#pragma once

#include <windows.h>

#include "base/guards.h"

// What is reported for a link on the way or at the item (and for a file with
// more than one name): the platform's ERROR_REPARSE_POINT_ENCOUNTERED, which
// not every SDK's headers define.
const DWORD kLinkInPath = 4395;

enum ItemKind {
    kFileItem,
    kFolderItem,
};

// Final paths carry a "\\?\" or "\\?\UNC\" prefix, and a junctioned base may
// lead far: more room than a path buffer.
const size_t kFinalPathChars = 1024;

// True for a reparse point that leads elsewhere: a name surrogate (junction,
// mount point, symbolic link), or one whose tag the platform does not report.
// Any other reparse point (a deduplicated or compressed file, a cloud
// placeholder) is the file or folder itself.
bool IsLink(DWORD attributes, DWORD reparseTag);

// Where a folder really leads: its final path in one volume form, worked out
// once when first needed.
struct ResolvedPath {
    bool resolved = false;
    DWORD status = ERROR_SUCCESS;  // once resolved: 0, or why path is not known
    wchar_t path[kFinalPathChars] = {};
};

// A trusted base folder below which items are changed. Where it really
// leads is worked out only once an item's final path is not the very path it
// was opened by (a link at the base, which is fine, or below it, which is
// not), and is then kept for the next items: by drive letter, and by the
// volume's device name for volumes that have no drive-letter name.
struct BaseFolder {
    explicit BaseFolder(const wchar_t* folder) : path(folder) {}
    const wchar_t* path;
    ResolvedPath dos;
    ResolvedPath nt;
};

// Opens path, which must lie below base (base, a separator, the rest), with
// access, without following a link at its end, and proves through the handle
// that it is the object at exactly that place: not a link itself, of the kind
// asked for, a file with no other name (a change to its attributes would show
// under every name), and its final path is the final path of base followed
// by the rest of path. 0 with *item open; kLinkInPath (item empty) for a link
// on the way or at the end, or a file with more names; otherwise
// ERROR_INVALID_PARAMETER for a path not below base, or the platform's error
// (missing, of the other kind, refused, or the base's own).
DWORD OpenBelow(BaseFolder* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item);

// Whether the object open at item is still the one at path below base, as
// OpenBelow proved it when it opened it: 0, kLinkInPath when it has moved or
// something else now takes its place on the way, or the platform's error.
DWORD StillBelow(BaseFolder* base, const wchar_t* path, HANDLE item);

// Deletes the file at path below base through a handle that OpenBelow gave,
// so that its name is free when this returns, even while another program
// holds the file open (and shares its deletion): nothing is left behind once
// that program closes it. A file that cannot be deleted (one in use) keeps its
// name.
DWORD DeleteBelow(BaseFolder* base, const wchar_t* path);

// The same, as a forced delete: read-only, hidden and system attributes do not
// stop it, and a file that cannot be deleted keeps them.
DWORD ForceDeleteBelow(BaseFolder* base, const wchar_t* path);

// Clears the attributes of the folder at path below base and removes it,
// through a handle that OpenBelow gave (ERROR_DIR_NOT_EMPTY for a folder that
// still holds anything). A folder that stays keeps its attributes.
DWORD RemoveFolderBelow(BaseFolder* base, const wchar_t* path);

// For a single item below base.
DWORD OpenBelow(const wchar_t* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item);
DWORD DeleteBelow(const wchar_t* base, const wchar_t* path);
DWORD ForceDeleteBelow(const wchar_t* base, const wchar_t* path);
