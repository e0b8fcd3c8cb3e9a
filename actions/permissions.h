// Opens the application's per-machine data folder to every user.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "hook/context.h"
#include "hook/no_follow.h"

// Grants Everyone full, inherited access to
// "<common application data>\Kestrune\Montavo Fablio\15.0" when it exists,
// does not have that access yet, and no link lies on its way or below it.
// Always 0.
int32_t FixPermission(const HookContext* context);

// True when path (a folder, no trailing backslash) exists.
bool FolderExists(const wchar_t* path);

// Merges an allow-full-access entry for Everyone, inherited by sub-folders
// and files, into the access list of the folder open at folder (opened with
// READ_CONTROL and WRITE_DAC, found at path below base); when that cannot be
// done, sets a null list instead. Writes nothing when the list already grants
// Everyone full inherited access, or when the tree below path holds a link, a
// file with more than one name, or a place too deep to name, or the folder
// walked is no longer the one open: the platform pushes the new entry down to
// every item below the folder, and through such an item it would reach a
// file elsewhere. 0 on success or when nothing was needed, kLinkInPath when
// the tree stopped the grant, otherwise a Win32 error code.
uint32_t GrantEveryoneFullAccess(HANDLE folder, BaseFolder* base, const wchar_t* path);
