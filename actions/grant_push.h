// The data folder's access lists as the grant reads and writes them, each
// through the handle the hook proved, and the grant's push of the folder's
// new entry down its tree (permissions.h).
#pragma once

#include <windows.h>

#include "base/folder_listing.h"
#include "base/guards.h"

// What the grant reads and writes of each item: its access list.
const DWORD kListAccess = READ_CONTROL | WRITE_DAC;

// The inheritance of the data folder's entry, and of the one a sub-folder
// inherits from it; a file's is INHERITED_ACE alone.
const BYTE kInheritedByAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// Whether list holds an entry that allows Everyone all access, with exactly
// the inheritance flags among object and container inherit, inherited and
// inherit only. The platform keeps GENERIC_ALL
// as it was given or maps it to FILE_ALL_ACCESS.
bool HoldsEntry(PACL list, PSID everyone, BYTE flags);

// A descriptor read through a handle: its access list (null: none at all)
// and the marks of it.
struct ListRead {
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    PACL list = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
};

// Reads the access list of the item open at item, with its marks: 0 or why not.
DWORD ReadList(HANDLE item, ListRead* read);

// Writes list as the access list of the item open at item, with the marks
// of control: through that handle, with a call that pushes nothing down to
// what lies below it. Never a null list.
DWORD WriteList(HANDLE item, PACL list, SECURITY_DESCRIPTOR_CONTROL control);

// Pushes the data folder's new entry down the tree of the proven folder open
// at folder (entry: its listing entry), as Push (grant_push.cpp) tells: the
// first error met (0 when none), *leftLink when a link or a file with another
// name was left, and *walked the walk's own result: 0 when it ended;
// otherwise it left what it had not reached (kWalkBound at a bound, or why
// it could not go on).
DWORD PushGrant(FileHandle* folder, const ListedEntry& entry, PSID everyone, bool* leftLink, DWORD* walked);
