// Bounded copy, append and join for fixed-size wide buffers, and what makes a
// path. A text that does not fit is refused as a whole and the caller is
// told, so a path is never cut into a different path.
#pragma once

#include <stddef.h>
#include <wchar.h>

const size_t kPathChars = 260;  // the system's path limit, terminator included

// Copies src into dst (capacity characters, terminator included).
// False, with dst unchanged, when src does not fit.
bool CheckedCopy(wchar_t* dst, size_t capacity, const wchar_t* src);

// Appends src to the text in dst. False, with dst unchanged, when the result
// would not fit or dst holds no terminator within its capacity.
bool CheckedAppend(wchar_t* dst, size_t capacity, const wchar_t* src);

// dst = the count parts one after the other: every path or command line
// built from parts goes through here. False, with dst emptied, when the
// whole does not fit: never a shorter path. The first part may be dst itself.
bool CheckedJoin(wchar_t* dst, size_t capacity, const wchar_t* const* parts, size_t count);

// A path separator: backslash or slash.
inline bool IsPathSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Where the last component of path begins: 0 when it has no separator.
size_t LeafAt(const wchar_t* path);

// True for a path that names its place on its own and that Windows would
// take as a file name: a drive and a separator ("C:\", "C:\Apps") or a UNC
// share ("\\server\share..."). False for "Apps", "\Apps" and "C:Apps", which
// depend on the current folder or drive; for a device path ("\\.\...",
// "\\?\..."); and for a path holding a character Windows refuses in a name
// (a control character, '"', '<', '>', '|', '*', '?', or a ':' other than the
// drive's), which could also carry extra text into a command line.
bool IsFullPath(const wchar_t* path);

// The length of the volume's name at the start of a full path: 2 for "C:\...",
// that of "\\server\share" for a UNC path; 0 for any other form.
size_t VolumeNameLength(const wchar_t* path);

template <size_t N>
bool CheckedCopy(wchar_t (&dst)[N], const wchar_t* src) {
    return CheckedCopy(dst, N, src);
}

template <size_t N>
bool CheckedAppend(wchar_t (&dst)[N], const wchar_t* src) {
    return CheckedAppend(dst, N, src);
}

// CheckedJoin(path, {folder, L"\\", name})
template <size_t N, size_t M>
bool CheckedJoin(wchar_t (&dst)[N], const wchar_t* const (&parts)[M]) {
    return CheckedJoin(dst, N, parts, M);
}
