// The one rule for reading registry text into a fixed buffer (keys are
// opened into a guard by OpenRegKey, base/guards.h).
#pragma once

#include <windows.h>

#include <stddef.h>

#include "base/guards.h"

// Reads the value name (null: the key's default value) of the open key as
// wide text into text (capacity characters), asking for at most dataBytes
// bytes of data (no more than the buffer holds). The text ends at its first
// terminator or at the end of the data, whichever comes first; it is always
// terminated within the buffer. False, with text empty, when the value
// cannot be read, is larger than dataBytes, or leaves no room for its
// terminator. The value's registry type is not examined.
bool ReadTextValue(HKEY key, const wchar_t* name, wchar_t* text, size_t capacity, DWORD dataBytes);

template <size_t N>
bool ReadTextValue(HKEY key, const wchar_t* name, wchar_t (&text)[N],
                   DWORD dataBytes = N * sizeof(wchar_t)) {
    return ReadTextValue(key, name, text, N, dataBytes);
}
