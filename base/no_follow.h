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
// Every operation here answers with a Windows error code (errors.h); logging
// is the caller's.
#pragma once

#include <windows.h>

#include "base/errors.h"
#include "base/folder_listing.h"
#include "base/guards.h"

// Every open shares everything: the hook never keeps another program out.
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What a proven folder is opened with: its listing, and opens below it.
const DWORD kFolderListing = FILE_LIST_DIRECTORY | FILE_TRAVERSE;

enum ItemKind {
    kFileItem,
    kFolderItem,
};

// Opens the item that entry lists in the folder open at folder, by its name
// relative to that folder, with access (and FILE_READ_ATTRIBUTES), sharing
// everything: kLinkInPath for a link, kOtherItemAtName for a handle that is
// not the entry listed, kSecondName for a file that has another name (a hard
// link: attributes, access lists and data belong to the file behind all its
// names); ERROR_DIRECTORY or ERROR_ACCESS_DENIED for the other kind.
DWORD OpenListed(HANDLE folder, const ListedEntry& entry, DWORD access, ItemKind kind, FileHandle* item);

// Opens base and each folder of path below it, down to path itself (base
// alone when path is base), each in the one above it with kFolderListing
// alone (which keeps no listing of another program out), into levels (base
// first; capacity of them, two or more): *opened of them. 0 when every one
// opened, otherwise why the next did not: ERROR_INVALID_PARAMETER for a path
// not below base; ERROR_PATH_NOT_FOUND for a folder on the way that is not
// there; kLinkInPath for a link on the way.
DWORD OpenEachBelow(const wchar_t* base, const wchar_t* path, FileHandle* levels, size_t capacity,
                    size_t* opened);

// Opens the item open at item once more, through that handle (an empty name
// relative to it), with access and sharing: kOtherItemAtName when what opens
// is not that very item (its id, or where none is told its creation time).
DWORD Reopen(HANDLE item, DWORD access, DWORD sharing, ItemKind kind, FileHandle* again);

// Opens, below base, the folder that holds the last component of path (base,
// a separator, the rest), as OpenEachBelow opens each, and lists that
// component in it: *folder, and its *entry. ERROR_INVALID_PARAMETER also for
// a path that names base itself.
DWORD ListBelow(const wchar_t* base, const wchar_t* path, FileHandle* folder, ListedEntry* entry);

// Opens the item at path below base, proven as OpenListed proves it, with
// access: its entry in *listed when given.
DWORD OpenBelow(const wchar_t* base, const wchar_t* path, DWORD access, ItemKind kind, FileHandle* item,
                ListedEntry* listed = nullptr);
