#include "registry/keys.h"

bool ReadTextValue(HKEY key, const wchar_t* name, wchar_t* text, size_t capacity, DWORD dataBytes) {
    if (capacity == 0) {
        return false;
    }
    text[0] = L'\0';
    if (dataBytes > capacity * sizeof(wchar_t)) {
        dataBytes = static_cast<DWORD>(capacity * sizeof(wchar_t));
    }
    DWORD type = 0;
    DWORD size = dataBytes;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
        ERROR_SUCCESS) {
        text[0] = L'\0';
        return false;
    }
    // Stored data need not end with a terminator; there must be room for one.
    const size_t characters = size / sizeof(wchar_t);
    size_t length = 0;
    while (length < characters && text[length] != L'\0') {
        ++length;
    }
    if (length >= capacity) {
        text[0] = L'\0';
        return false;
    }
    text[length] = L'\0';
    return true;
}
