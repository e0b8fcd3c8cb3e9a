// Registry access by full textual path: a root key name, a backslash and a
// sub-key path, such as
// "HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\ProfileList".
// Each operation opens the key, makes one registry call and closes it again.
// Keys are reached in the process's own registry view (no view flag).
#pragma once

#include <windows.h>

#include <stdint.h>

#include "base/checked_text.h"
#include "base/guards.h"

// The status EnumSubKey reports for a path too long for its buffers.
const LONG kRegPathTooLong = ERROR_FILENAME_EXCED_RANGE;

class RegUtil {
public:
    RegUtil() : enumIndex(0) {}

    // The root key named before the first backslash (the whole path when it
    // has none); HKEY_LOCAL_MACHINE for a name that is not a root key name.
    HKEY ParseRootKey(const wchar_t* path);

    // Copies everything after the first backslash into subKeyOut (260
    // characters); the empty text when the path holds no backslash. False,
    // with subKeyOut untouched, when the sub-key does not fit.
    bool ParseSubKey(const wchar_t* path, wchar_t* subKeyOut);

    // True when the key opens for reading.
    bool KeyExists(const wchar_t* path);

    // Copies the text of a value (at most 259 characters) into textOut (260
    // characters), always terminated. textOut stays as it was when the key
    // or value cannot be read or the text does not fit.
    void QueryStringValue(const wchar_t* path, const wchar_t* valueName, wchar_t* textOut);

    // One step of a walk over the sub-keys of path: the name of sub-key
    // enumIndex goes to nameOut (260 characters). Returns the registry status:
    // 0 for a name, 259 (ERROR_NO_MORE_ITEMS) at the end, which also writes
    // "ERROR_NO_MORE_ITEMS" and starts the walk over. A key that does not open
    // gives the open's status and changes nothing.
    LONG EnumSubKey(const wchar_t* path, wchar_t* nameOut);

    // Deletes a value; true when the key opened with full access and the
    // value was deleted.
    bool DeleteValue(const wchar_t* path, const wchar_t* valueName);

    // Deletes the key when it holds neither values nor sub-keys.
    bool DeleteEmptyKey(const wchar_t* path);

    // The sub-key index that the next EnumSubKey asks for.
    uint32_t enumIndex;

private:
    // Root and sub-key of path; false when the path is too long to handle.
    bool Resolve(const wchar_t* path, HKEY* root, wchar_t (&subKey)[kPathChars]);
    // The key at path opened with access; empty, with the open's status (or
    // kRegPathTooLong) in *status, when it does not open.
    RegKey OpenKey(const wchar_t* path, REGSAM access, LONG* status);
};

