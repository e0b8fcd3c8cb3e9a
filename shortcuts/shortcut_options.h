// What shortcut creation and removal share: the option reads, the names of
// the shortcut file, and the check that keeps a custom Start-menu location
// below the programs folder.
#pragma once

#include <windows.h>

#include "hook/checked_text.h"
#include "hook/context.h"

// Appended to the desktop or Start-menu folder.
extern const wchar_t kShortcutFileName[];  // "\Kestrune Montavo Fablio 15.lnk"

// Reads a text option of the open option key into value, terminated within
// the buffer. False (and value empty) when the option is missing, unreadable
// or does not fit; its registry type is not examined.
bool QueryOptionValue(HKEY key, const wchar_t* name, wchar_t (&value)[kPathChars]);

// Reads STARTMENULOCATION of the open option key into location, logging
// "VLX: Query STARTMENULOCATION Success" when it is read. True when it names
// a custom sub-folder that AcceptStartMenuLocation accepts; location is then
// that relative folder path. False (location empty) otherwise.
bool QueryStartMenuLocation(const HookContext* context, HKEY key, wchar_t (&location)[kPathChars]);

// True when location is a relative folder path below the programs folder,
// after one leading backslash is taken off it in place ("\Kestrune\Video" is
// the folder Kestrune\Video below the programs folder, as the path built
// from it always was): no drive, no UNC path, no "." or ".." or empty
// components (one trailing backslash is allowed). Logs one line and returns
// false otherwise.
bool AcceptStartMenuLocation(const HookContext* context, wchar_t (&location)[kPathChars]);
