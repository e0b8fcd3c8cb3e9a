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

// A drive letter and its colon at the start of path.
bool HasDrive(const wchar_t* path) {
    const bool letter = (path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z');
    return letter && path[1] == L':';
}

// Where "\\server\share" ends at the start of path: 0 unless a server and a
// share follow, each non-empty, and the server is no device ("\\.\"; "\\?\"
// falls with its '?' where that matters).
size_t ShareEnd(const wchar_t* path) {
    if (!IsPathSeparator(path[0]) || !IsPathSeparator(path[1])) {
        return 0;
    }
    const wchar_t* server = path + 2;
    const wchar_t* c = server;
    while (*c != L'\0' && !IsPathSeparator(*c)) {
        ++c;
    }
    if (c == server || *c == L'\0' || (c == server + 1 && server[0] == L'.')) {
        return 0;
    }
    const wchar_t* share = ++c;
    while (*c != L'\0' && !IsPathSeparator(*c)) {
        ++c;
    }
    return c == share ? 0 : static_cast<size_t>(c - path);
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
    const bool drive = HasDrive(path);
    for (size_t i = drive ? 2 : 0; path[i] != L'\0'; ++i) {
        if (IsForbiddenInPath(path[i])) {
            return false;
        }
    }
    return drive ? IsPathSeparator(path[2]) : ShareEnd(path) != 0;
}

size_t VolumeNameLength(const wchar_t* path) {
    return HasDrive(path) && IsPathSeparator(path[2]) ? 2 : ShareEnd(path);
}
