// Changing a file or folder below a base folder without following a link
// (junction, symbolic link, mount point) that someone planted on the way.
// We run elevated, and a standard user may create folders below the common
// application data folder, owns their own profile and may own an install
// folder: a link there would turn a deletion or an access-list change of ours
// against any file of the machine. The base folder itself is trusted (an
// administrator may have moved it with a junction); everything from it down
// to the item itself must be plain.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "hook/context.h"
#include "hook/guards.h"

// What OpenBelow reports for a link on the way or at the item: the platform's
// ERROR_REPARSE_POINT_ENCOUNTERED, which not every SDK's headers define.
const DWORD kLinkInPath = 4395;

enum ItemKind {
    kFileItem,
    kFolderItem,
};

// Final paths carry a "\\?\" or "\\?\UNC\" prefix, and a junctioned base may
// lead far: more room than a path buffer.
const size_t kFinalPathChars = 1024;

// A trusted base folder below which items are changed. Where it really
// leads (its final path) is worked out only once an item's final path is not
// the very path it was opened by (a link at the base, which is fine, or below
// it, which is not), and is then kept for the next items.
struct BaseFolder {
    explicit BaseFolder(const wchar_t* folder) : path(folder) {}
    const wchar_t* path;
    bool resolved = false;
    DWORD status = ERROR_SUCCESS;  // once resolved: 0, or why finalPath is not known
    wchar_t finalPath[kFinalPathChars] = {};
};

// Opens path, which was built from base, with access, without following a
// link at its end, and proves through the handle that it is the object at
// exactly that place: not a link itself, of the kind asked for, and its final
// path is the final path of base followed by the rest of path. Returns 0 with
// *item open; kLinkInPath (item empty) when a link is on the way or at the
// end; otherwise the platform's error (missing, of the other kind, refused,
// or the base's own).
DWORD OpenBelow(BaseFolder* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item);

// The one line for an item skipped because of a link on its path.
void LogLinkSkipped(const HookContext* context);

// Deletes the file at path below base through a handle that OpenBelow gave;
// a link on the way is logged with LogLinkSkipped and nothing is deleted.
// False when the file was not deleted (missing, read-only, in use, a link).
bool DeleteBelow(const HookContext* context, BaseFolder* base, const wchar_t* path);

// The same, clearing read-only, hidden and system attributes first, as a
// forced delete does.
bool ForceDeleteBelow(const HookContext* context, BaseFolder* base, const wchar_t* path);

// Clears the attributes of the folder at path below base and removes it,
// through a handle that OpenBelow gave. 0, kLinkInPath, or the error of the
// failing step (ERROR_DIR_NOT_EMPTY for a folder that still holds anything).
uint32_t RemoveFolderBelow(BaseFolder* base, const wchar_t* path);

// For a single item below base.
DWORD OpenBelow(const wchar_t* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item);
bool DeleteBelow(const HookContext* context, const wchar_t* base, const wchar_t* path);
bool ForceDeleteBelow(const HookContext* context, const wchar_t* base, const wchar_t* path);
