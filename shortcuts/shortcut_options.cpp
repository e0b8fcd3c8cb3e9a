#include "shortcuts/shortcut_options.h"

#include <string.h>

#include "hook/log.h"
#include "registry/installer_options.h"

const wchar_t kShortcutFileName[] = L"\\Kestrune Montavo Fablio 15.lnk";

bool QueryOptionValue(HKEY key, const wchar_t* name, wchar_t (&value)[kPathChars]) {
    DWORD type = 0;
    DWORD size = sizeof(value);
    value[0] = L'\0';
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
        ERROR_SUCCESS) {
        value[0] = L'\0';
        return false;
    }
    // Data need not end with a terminator; there must be room for one.
    const size_t characters = size / sizeof(wchar_t);
    size_t length = 0;
    while (length < characters && value[length] != L'\0') {
        ++length;
    }
    if (length >= kPathChars) {
        value[0] = L'\0';
        return false;
    }
    value[length] = L'\0';
    return true;
}

bool QueryStartMenuLocation(const HookContext* context, HKEY key, wchar_t (&location)[kPathChars]) {
    if (!QueryOptionValue(key, kStartMenuLocationValue, location)) {
        return false;
    }
    LogMessage(context, "VLX: Query STARTMENULOCATION Success", kLogLevelProgress);
    if (location[0] != L'\0' && AcceptStartMenuLocation(context, location)) {
        return true;
    }
    location[0] = L'\0';
    return false;
}

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// A component that names no folder of its own: empty, ".", "..", or only
// dots and blanks (which Windows strips to one of those).
bool IsUnsafeComponent(const wchar_t* begin, const wchar_t* end) {
    for (const wchar_t* c = begin; c < end; ++c) {
        if (*c != L'.' && *c != L' ') {
            return false;
        }
    }
    return true;
}

bool IsRelativeSubFolder(const wchar_t* location) {
    if (location[0] == L'\0' || IsSeparator(location[0]) || wcschr(location, L':') != nullptr) {
        return false;
    }
    const wchar_t* begin = location;
    for (const wchar_t* c = location;; ++c) {
        if (*c == L'\0' || IsSeparator(*c)) {
            const bool trailing = *c != L'\0' && c[1] == L'\0';
            if (IsUnsafeComponent(begin, c)) {
                return false;
            }
            if (*c == L'\0' || trailing) {
                return true;
            }
            begin = c + 1;
        }
    }
}

}  // namespace

bool AcceptStartMenuLocation(const HookContext* context, wchar_t (&location)[kPathChars]) {
    // One leading backslash: the folder below the programs folder that the
    // path built from the value names. Two begin a UNC path, which stays
    // refused below.
    if (IsSeparator(location[0]) && !IsSeparator(location[1])) {
        memmove(location, location + 1, wcslen(location) * sizeof(wchar_t));
    }
    if (IsRelativeSubFolder(location)) {
        return true;
    }
    LogMessage(context, "VLX: STARTMENULOCATION is not a folder below the Start Menu. Ignored.",
               kLogLevelProgress);
    return false;
}
