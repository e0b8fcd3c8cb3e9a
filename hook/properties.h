// The host's property map and the application's install folder.
#pragma once

#include <string>

#include "hook/checked_text.h"
#include "hook/context.h"

// Looks name up in the context's property map (exact, case-sensitive; the
// first match wins). On success *value borrows the host's text, valid for the
// current call only; on failure *value is not written.
bool GetProperty(const HookContext* context, const char* name, const char** value);

// Fills installDir with the host's INSTALLDIR, without a trailing backslash,
// followed by "\Kestrune Montavo Fablio 15". Returns false, logs why and
// leaves installDir empty when there is no usable folder (INSTALLDIR missing,
// empty, or too long for the buffer): callers then skip their file and
// process work rather than work at the drive root.
bool GetInstallDir(const HookContext* context, wchar_t (&installDir)[kPathChars]);

// installDir followed by entry in path. False, with one log line, when the
// result would not fit: the entry is then skipped.
bool BuildInstallPath(const HookContext* context, const wchar_t* installDir, const wchar_t* entry,
                      wchar_t (&path)[kPathChars]);

// Converts UTF-8 text to UTF-16. Invalid bytes become U+FFFD; an empty result
// means an empty text or a failed conversion.
std::wstring Utf8ToWide(const std::string& text);
