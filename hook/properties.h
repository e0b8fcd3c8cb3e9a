// The host's property map and the application's install folder.
#pragma once

#include <stddef.h>

#include "base/checked_text.h"
#include "base/guards.h"
#include "hook/context.h"

// Looks name up in the context's property map (exact, case-sensitive; the
// first match wins). On success *value borrows the host's text, valid for the
// current call only; on failure *value is not written.
bool GetProperty(const HookContext* context, const char* name, const char** value);

// Fills installDir with the host's INSTALLDIR, without a trailing backslash,
// followed by "\Kestrune Montavo Fablio 15". Returns false, logs why and
// leaves installDir empty when there is no usable folder (INSTALLDIR missing,
// empty, not convertible, too long for the buffer, or not a full path such as
// "Apps", "\Apps" or "C:Apps"): callers then skip their file and process work
// rather than work relative to the host's current folder or drive.
bool GetInstallDir(const HookContext* context, wchar_t (&installDir)[kPathChars]);

// installDir followed by entry in path. False, with one log line, when the
// result would not fit: the entry is then skipped.
bool BuildInstallPath(const HookContext* context, const wchar_t* installDir, const wchar_t* entry,
                      wchar_t (&path)[kPathChars]);

enum class Conversion {
    kEmpty,      // the text is empty
    kConverted,  // *wide holds the text, terminated
    kFailed,     // the platform's converter or the allocation failed
};

// Converts the UTF-8 text (its bytes up to the terminator) to UTF-16 in an
// array from the C runtime's heap. Invalid bytes become U+FFFD.
Conversion Utf8ToWide(const char* text, HeapArray<wchar_t>* wide);
