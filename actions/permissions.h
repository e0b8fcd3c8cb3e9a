// Opens the application's per-machine data folder to every user.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "hook/context.h"

// Grants Everyone full, inherited access to
// "<common application data>\Kestrune\Montavo Fablio\15.0" when it exists
// and no link lies on its way. Always 0.
int32_t FixPermission(const HookContext* context);

// True when path (a folder, no trailing backslash) exists.
bool FolderExists(const wchar_t* path);

// Merges an allow-full-access entry for Everyone, inherited by sub-folders
// and files, into the access list of the folder open at folder (opened with
// READ_CONTROL and WRITE_DAC); when that cannot be done, sets a null list
// instead. 0 on success, otherwise a Win32 error code.
uint32_t GrantEveryoneFullAccess(HANDLE folder);
