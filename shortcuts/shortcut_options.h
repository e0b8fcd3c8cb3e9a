// What shortcut creation and removal share: the option key, the reader of
// the custom Start-menu location, and the name of the shortcut file.
#pragma once

#include <windows.h>

#include "base/checked_text.h"
#include "base/guards.h"
#include "hook/context.h"

// Appended to the desktop or Start-menu folder: "\<product>.lnk".
extern const wchar_t kShortcutFileName[];

// The installer option key, opened with full access as both readers open it
// (a key the process may only read counts as missing); empty when it does
// not open.
RegKey OpenOptionKey();

// Reads STARTMENULOCATION of the open option key into location, logging
// "VLX: Query STARTMENULOCATION Success" when it is read. True when it names
// a relative folder below the programs folder; location then holds that
// folder path, without the one leading backslash it may have had
// ("\Kestrune\Video" is Kestrune\Video below the programs folder, as the
// path built from it always was). A value with a drive, a UNC path, or ".",
// ".." or empty components, or a component ending in a dot or a blank (which
// Windows would strip from the folder it makes), is refused with one line.
// False (location empty) when there is no custom location.
bool QueryStartMenuLocation(const HookContext* context, HKEY key, wchar_t (&location)[kPathChars]);
