// Changing a file or folder below a base folder without following a link
// (junction, symbolic link, mount point) that someone planted on the way.
// We run elevated, and a standard user may create folders below the common
// application data folder, owns their own profile and may own an install
// folder: a link there would turn a deletion or an access-list change of ours
// against any file of the machine.
//
// The base folder itself is trusted and opened by its path (an administrator
// may have moved it with a junction). Below it nothing is opened by a path:
// every item is opened by one name relative to a proven folder (the base, or
// a folder opened so), as its parent lists it. The listing refuses a link at
// the name (its attributes and reparse tag), and the handle opened must be
// the very entry listed (the same file id), which also refuses a link or
// another folder put at the name between the listing and the open. What Wine
// answers for each of these calls: docs/safety.md.
//
// Every operation here answers with a Windows error code: ERROR_SUCCESS,
// kLinkInPath for a link on the way, or the platform's own error. Logging is
// the caller's.
#pragma once

#include <windows.h>

#include "base/folder_listing.h"
#include "base/guards.h"

// What is reported for a link on the way or at the item (and for a file with
// more than one name): the platform's ERROR_REPARSE_POINT_ENCOUNTERED, which
// not every SDK's headers define.
const DWORD kLinkInPath = 4395;

// Every open shares everything: the hook never keeps another program out.
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What a proven folder is opened with: its listing, and opens below it.
const DWORD kFolderListing = FILE_LIST_DIRECTORY | FILE_TRAVERSE;

enum ItemKind {
    kFileItem,
    kFolderItem,
};

// Opens the base folder at path, by its path, with kFolderListing and access.
DWORD OpenBase(const wchar_t* path, DWORD access, FileHandle* folder);

// Opens the item that entry lists in the folder open at folder, by its name
// relative to that folder, with access (and FILE_READ_ATTRIBUTES) and
// sharing: kLinkInPath for a link, or for a handle that is not the entry
// listed; ERROR_DIRECTORY or ERROR_ACCESS_DENIED for the other kind.
DWORD OpenListed(HANDLE folder, const ListedEntry& entry, DWORD access, DWORD sharing, ItemKind kind,
                 FileHandle* item);

// kLinkInPath for a file that has another name (a hard link: attributes,
// access lists and data belong to the file behind all its names), 0 for one
// that has none, or why it cannot be told.
DWORD SingleName(HANDLE file);

// Opens, below the base folder base, the folder that holds the last
// component of path (base, a separator, the rest): *folder proven and not yet
// listed, *leaf the offset of that component in path. ERROR_INVALID_PARAMETER
// for a path not below base or naming it; ERROR_PATH_NOT_FOUND for a folder
// on the way that is not there; kLinkInPath for a link on the way.
DWORD OpenParentBelow(const wchar_t* base, const wchar_t* path, FileHandle* folder, size_t* leaf);

// Opens base and each folder of path below it, down to path itself (base
// alone when path is base), each in the one above it with kFolderListing
// alone (which keeps no listing of another program out), into levels (base
// first; capacity of them, two or more): *opened of them. 0 when every one
// opened, otherwise why the next did not (as OpenParentBelow tells it).
DWORD OpenEachBelow(const wchar_t* base, const wchar_t* path, FileHandle* levels, size_t capacity,
                    size_t* opened);

// Opens the item open at item once more, through that handle (an empty name
// relative to it), with access and sharing: kLinkInPath when what opens is
// not that very item (its id, or where none is told its creation time).
DWORD Reopen(HANDLE item, DWORD access, DWORD sharing, ItemKind kind, FileHandle* again);

// Opens, below base, the folder that holds the last component of path (as
// OpenParentBelow) and lists that component in it: *folder, and its *entry.
DWORD ListBelow(const wchar_t* base, const wchar_t* path, FileHandle* folder, ListedEntry* entry);

// Opens the item at path below base, proven as OpenListed proves it (and a
// file of one name), with access: its entry in *listed when given.
DWORD OpenBelow(const wchar_t* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item,
                ListedEntry* listed = nullptr);

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
// some network and user-mode file systems do not know POSIX-semantics
// deletion, and systems before Windows 10 do not know it at all.
bool IsUnsupported(DWORD error);

// Two names are the same name: the platform compares them without regard to
// case.
bool SameName(const wchar_t* a, const wchar_t* b);
