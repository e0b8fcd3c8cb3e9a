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

// Every open shares everything: the hook never keeps another program out.
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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
// The same, also telling the item's attributes as it was opened.
DWORD OpenBelow(BaseFolder* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item,
                DWORD* attributes);

// Whether the object open at item is still the one at path below base, as
// OpenBelow proved it when it opened it: 0, kLinkInPath when it has moved or
// something else now takes its place on the way, or the platform's error.
DWORD StillBelow(BaseFolder* base, const wchar_t* path, HANDLE item);

// For a single item below base.
DWORD OpenBelow(const wchar_t* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item);

// The thread's last error after a call that failed; never 0, which would
// read as success.
DWORD LastFailure();

// Whether error says an item is not there: no such file, or no folder on its
// way. What the hook was to remove is then as good as removed, and says so
// nowhere in the log.
bool NotThere(DWORD error);

// The outcome of a call that reports failure through the thread's last error.
DWORD LastErrorUnless(BOOL succeeded);

// A query or change the volume does not know, as opposed to one it refused:
// FAT and exFAT answer no attribute-tag query, some network and user-mode
// file systems know neither it nor POSIX-semantics deletion, and systems
// before Windows 10 do not know the latter at all.
bool IsUnsupported(DWORD error);

// The attributes and reparse tag of the object open at handle. Where the
// volume tells only the attributes, the tag is 0: not reported, so a
// reparse point there counts as a link.
DWORD ReadAttributes(HANDLE handle, DWORD* attributes, DWORD* tag);

// The number of names (hard links) of the file open at file; 0, with the
// thread's last error set, when it cannot be told.
DWORD NameCount(HANDLE file);

// The path of the object open at handle as the platform resolves it, links
// included, without a trailing separator (a drive root "\\?\C:\" loses its):
// volume is VOLUME_NAME_DOS ("\\?\C:\...") or VOLUME_NAME_NT
// ("\Device\HarddiskVolume1\..."), the one every volume has.
DWORD FinalPath(HANDLE handle, DWORD volume, wchar_t (&path)[kFinalPathChars]);

// Two final paths name the same place: the platform compares names without
// regard to case.
bool SamePath(const wchar_t* a, const wchar_t* b);
