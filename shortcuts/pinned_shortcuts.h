// Removal of the pinned taskbar shortcut from every user profile.
#pragma once

#include "base/checked_text.h"
#include "hook/context.h"

// Deletes "...\User Pinned\TaskBar\<product>.lnk" below the
// roaming application-data folder of the default profile and of every
// profile in the machine's profile list.
void DeletePinnedShortcut(const HookContext* context);

// Replaces each backslash-separated component of path that holds a
// %VARIABLE% by that environment variable's value; a variable that is not
// set leaves its component as it is. False, with path unchanged, when the
// result does not fit the 260-character buffer.
bool ExpandPathVariables(wchar_t (&path)[kPathChars]);
