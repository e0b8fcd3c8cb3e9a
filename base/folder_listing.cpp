#include "base/folder_listing.h"

#include <string.h>

#include "base/nt_file.h"

bool IsLink(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

namespace {

// The entry info holds, into *entry.
DWORD TakeEntry(const VlxFileIdBothDirInformation& info, ListedEntry* entry) {
    const size_t length = info.FileNameLength / sizeof(wchar_t);
    if (length >= sizeof(entry->name) / sizeof(wchar_t)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    entry->attributes = info.FileAttributes;
    entry->tag = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? info.EaSize : 0;
    entry->id = info.FileId.QuadPart;
    entry->created = info.CreationTime.QuadPart;
    memcpy(entry->name, info.FileName, length * sizeof(wchar_t));
    entry->name[length] = L'\0';
    return ERROR_SUCCESS;
}

// Queries the folder's listing into buffer: the entry matching mask (a
// handle's first query, one entry), or the next batch (mask null).
DWORD Query(HANDLE folder, VlxUnicodeString* mask, void* buffer, ULONG size) {
    VlxIoStatusBlock io = {};
    const VlxNtStatus status = NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, buffer, size,
                                                    kVlxFileIdBothDirectoryInformation, mask != nullptr, mask, FALSE);
    // A listing without "." and ".." (a FAT root, some redirectors) finds
    // nothing at all in an empty folder: its end, not a missing name.
    if (status == kVlxStatusNoMoreFiles || (mask == nullptr && status == kVlxStatusNoSuchFile)) {
        return ERROR_NO_MORE_FILES;
    }
    return status == kVlxStatusNoSuchFile ? ERROR_FILE_NOT_FOUND : VlxError(status);
}

// "." or "..", of length characters.
bool IsDotOrDotDot(const wchar_t* name, size_t length) {
    return (length == 1 || length == 2) && name[0] == L'.' && name[length - 1] == L'.';
}

}  // namespace

DWORD ListEntry(HANDLE folder, const wchar_t* name, size_t length, ListedEntry* entry) {
    // A wildcard would list another entry than the one named.
    for (size_t i = 0; i < length; ++i) {
        if (name[i] == L'\0' || wcschr(L"*?<>\"", name[i]) != nullptr) {
            return ERROR_INVALID_NAME;
        }
    }
    if (length == 0 || IsDotOrDotDot(name, length)) {
        return ERROR_INVALID_NAME;
    }
    VlxUnicodeString mask = VlxName(name, length);
    // One entry, with room for the longest name.
    union {
        VlxFileIdBothDirInformation info;
        BYTE bytes[sizeof(VlxFileIdBothDirInformation) + sizeof(entry->name)];
    } buffer;
    const DWORD status = Query(folder, &mask, &buffer, sizeof(buffer));
    return status == ERROR_SUCCESS ? TakeEntry(buffer.info, entry) : status;
}

DWORD NextEntry(HANDLE folder, Listing* listing, ListedEntry* entry) {
    for (;;) {
        if (listing->empty) {
            const DWORD status = Query(folder, nullptr, listing->batch.bytes, sizeof(listing->batch.bytes));
            if (status != ERROR_SUCCESS) {
                return status;
            }
            listing->at = 0;
        }
        const auto& info = *reinterpret_cast<const VlxFileIdBothDirInformation*>(listing->batch.bytes + listing->at);
        listing->empty = info.NextEntryOffset == 0;
        listing->at += info.NextEntryOffset;
        const DWORD status = TakeEntry(info, entry);
        if (status != ERROR_SUCCESS || !IsDotOrDotDot(entry->name, wcslen(entry->name))) {
            return status;
        }
    }
}
