#include "base/checked_text.h"

#include <string.h>
#include <wchar.h>

bool CheckedCopy(wchar_t* dst, size_t capacity, const wchar_t* src) {
    const size_t length = wcslen(src);
    if (capacity == 0 || length >= capacity) {
        return false;
    }
    memmove(dst, src, (length + 1) * sizeof(wchar_t));
    return true;
}

bool CheckedAppend(wchar_t* dst, size_t capacity, const wchar_t* src) {
    size_t used = 0;
    while (used < capacity && dst[used] != L'\0') {
        ++used;
    }
    if (used == capacity) {
        return false;
    }
    const size_t length = wcslen(src);
    if (length >= capacity - used) {
        return false;
    }
    memmove(dst + used, src, (length + 1) * sizeof(wchar_t));
    return true;
}

bool CheckedJoin(wchar_t* dst, size_t capacity, const wchar_t* const* parts, size_t count) {
    if (capacity == 0) {
        return false;
    }
    // Each step refuses as a whole, so only a shorter prefix could be left:
    // that is emptied too.
    bool fits = true;
    for (size_t i = 0; i < count && fits; ++i) {
        fits = i == 0 ? CheckedCopy(dst, capacity, parts[i]) : CheckedAppend(dst, capacity, parts[i]);
    }
    if (!fits) {
        dst[0] = L'\0';
    }
    return fits;
}

namespace {

// A character no file or folder name may hold; the drive's colon is judged
// by its place.
bool IsForbiddenInPath(wchar_t c) {
    return c < 0x20 || wcschr(L"\"<>|*?:", c) != nullptr;
}

}  // namespace

size_t LeafAt(const wchar_t* path) {
    size_t leaf = 0;
    for (size_t i = 0; path[i] != L'\0'; ++i) {
        if (IsPathSeparator(path[i])) {
            leaf = i + 1;
        }
    }
    return leaf;
}

bool IsFullPath(const wchar_t* path) {
    const bool driveLetter = (path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z');
    const bool drive = driveLetter && path[1] == L':';
    for (size_t i = drive ? 2 : 0; path[i] != L'\0'; ++i) {
        if (IsForbiddenInPath(path[i])) {
            return false;
        }
    }
    if (drive) {
        return IsPathSeparator(path[2]);
    }
    // "\\server\share": a server and a share, each non-empty; "\\.\" names
    // a device ("\\?\" has fallen already, with its '?').
    if (!IsPathSeparator(path[0]) || !IsPathSeparator(path[1])) {
        return false;
    }
    const wchar_t* server = path + 2;
    const wchar_t* c = server;
    while (*c != L'\0' && !IsPathSeparator(*c)) {
        ++c;
    }
    if (c == server || *c == L'\0' || (c == server + 1 && server[0] == L'.')) {
        return false;
    }
    const wchar_t* share = c + 1;
    return *share != L'\0' && !IsPathSeparator(*share);
}
