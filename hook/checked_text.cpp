#include "hook/checked_text.h"

#include <string.h>

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

bool CheckedJoin(wchar_t* dst, size_t capacity, std::initializer_list<const wchar_t*> parts) {
    if (capacity == 0) {
        return false;
    }
    // Each step refuses as a whole, so only a shorter prefix could be left:
    // that is emptied too.
    bool fits = true;
    bool first = true;
    for (const wchar_t* part : parts) {
        fits = fits && (first ? CheckedCopy(dst, capacity, part) : CheckedAppend(dst, capacity, part));
        first = false;
    }
    if (!fits) {
        dst[0] = L'\0';
    }
    return fits;
}
