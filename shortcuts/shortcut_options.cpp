#include "shortcuts/shortcut_options.h"

#include <string.h>

#include "base/checked_text.h"
#include "hook/log.h"
#include "hook/product.h"
#include "registry/installer_options.h"
#include "registry/keys.h"

const wchar_t kShortcutFileName[] = VLX_WIDE("\\" VLX_LINK_FILE);

namespace {

// A component that does not name the folder it spells: empty, "." and "..",
// or one that ends in a dot or a blank, which Windows strips from a name it
// creates but not from a name on the way to a file ("Video " would be made
// as "Video", and the shortcut then saved into a "Video " that is not there).
bool IsUnsafeComponent(const wchar_t* begin, const wchar_t* end) {
    return begin == end || end[-1] == L'.' || end[-1] == L' ';
}

bool IsRelativeSubFolder(const wchar_t* location) {
    if (location[0] == L'\0' || IsPathSeparator(location[0]) || wcschr(location, L':') != nullptr) {
        return false;
    }
    const wchar_t* begin = location;
    for (const wchar_t* c = location;; ++c) {
        if (*c == L'\0' || IsPathSeparator(*c)) {
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

bool AcceptStartMenuLocation(const HookContext* context, wchar_t (&location)[kPathChars]) {
    // Windows takes a slash for a backslash in a path, and so does the hook,
    // once, here: every path built from the value then splits alike.
    for (wchar_t* c = location; *c != L'\0'; ++c) {
        *c = *c == L'/' ? L'\\' : *c;
    }
    // One leading backslash: the folder below the programs folder that the
    // path built from the value names. Two begin a UNC path, which stays
    // refused below.
    if (IsPathSeparator(location[0]) && !IsPathSeparator(location[1])) {
        memmove(location, location + 1, wcslen(location) * sizeof(wchar_t));
    }
    if (IsRelativeSubFolder(location)) {
        return true;
    }
    LogMessage(context, "VLX: STARTMENULOCATION is not a folder below the Start Menu. Ignored.",
               kLogLevelProgress);
    return false;
}

}  // namespace

RegKey OpenOptionKey() {
    return OpenRegKey(HKEY_LOCAL_MACHINE, kOptionSubKey, KEY_ALL_ACCESS);
}

bool QueryStartMenuLocation(const HookContext* context, HKEY key, wchar_t (&location)[kPathChars]) {
    if (!ReadTextValue(key, kStartMenuLocationValue, location)) {
        return false;
    }
    LogMessage(context, "VLX: Query STARTMENULOCATION Success", kLogLevelProgress);
    if (location[0] != L'\0' && AcceptStartMenuLocation(context, location)) {
        return true;
    }
    location[0] = L'\0';
    return false;
}
