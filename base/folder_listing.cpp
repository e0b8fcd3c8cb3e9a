#include "base/folder_listing.h"

#include <string.h>

#include "base/nt_file.h"

bool IsLink(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

bool IsKnownId(const FileId& id) {
    const ULONGLONG none = id.wide ? ~0ULL : 0;
    return !(id.low == 0 && id.high == 0) && !(id.low == ~0ULL && id.high == none);
}

namespace {

// The entry info holds, into *entry: the listing's form with 128-bit ids,
// or (narrow) the one with 64-bit ids, whose reparse tag is in EaSize.
template <typename Information>
DWORD TakeEntry(const Information& info, DWORD tag, const FileId& id, ListedEntry* entry) {
    const size_t length = info.FileNameLength / sizeof(wchar_t);
    if (length >= sizeof(entry->name) / sizeof(wchar_t)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    entry->attributes = info.FileAttributes;
    entry->tag = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? tag : 0;
    entry->id = id;
    entry->created = info.CreationTime.QuadPart;
    memcpy(entry->name, info.FileName, length * sizeof(wchar_t));
    entry->name[length] = L'\0';
    return ERROR_SUCCESS;
}

DWORD TakeEntry(const BYTE* at, bool narrow, ListedEntry* entry) {
    if (narrow) {
        const auto& info = *reinterpret_cast<const VlxFileIdBothDirInformation*>(at);
        const FileId id = {static_cast<ULONGLONG>(info.FileId.QuadPart), 0, false};
        return TakeEntry(info, info.EaSize, id, entry);
    }
    const auto& info = *reinterpret_cast<const VlxFileIdExtdDirInformation*>(at);
    FileId id = {0, 0, true};
    memcpy(&id.low, info.FileId, sizeof(id.low));
    memcpy(&id.high, info.FileId + sizeof(id.low), sizeof(id.high));
    return TakeEntry(info, info.ReparsePointTag, id, entry);
}

// Whether a listing's status says the system or the volume does not know the
// form with 128-bit ids.
bool KnowsNoWideIds(VlxNtStatus status) {
    return status == kVlxStatusInvalidInfoClass || status == kVlxStatusInvalidParameter ||
           status == kVlxStatusNotSupported;
}

// Queries the folder's listing into buffer: the entry matching mask (a
// handle's first query, one entry), or the next batch (mask null); with
// 128-bit ids unless *narrow, which turns true where they are not known
// (a refused class starts no listing, so the query is asked again).
DWORD Query(HANDLE folder, VlxUnicodeString* mask, void* buffer, ULONG size, bool* narrow) {
    VlxIoStatusBlock io = {};
    VlxNtStatus status = kVlxStatusInvalidInfoClass;
    if (!*narrow) {
        status = NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, buffer, size,
                                      kVlxFileIdExtdDirectoryInformation, mask != nullptr, mask, FALSE);
    }
    if (KnowsNoWideIds(status)) {
        *narrow = true;
        status = NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, buffer, size,
                                      kVlxFileIdBothDirectoryInformation, mask != nullptr, mask, FALSE);
    }
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
        VlxFileIdExtdDirInformation info;
        BYTE bytes[sizeof(VlxFileIdExtdDirInformation) + sizeof(entry->name)];
    } buffer;
    bool narrow = false;
    const DWORD status = Query(folder, &mask, &buffer, sizeof(buffer), &narrow);
    return status == ERROR_SUCCESS ? TakeEntry(buffer.bytes, narrow, entry) : status;
}

DWORD NextEntry(HANDLE folder, Listing* listing, ListedEntry* entry) {
    for (;;) {
        if (listing->empty) {
            const DWORD status =
                Query(folder, nullptr, listing->batch.bytes, sizeof(listing->batch.bytes), &listing->narrow);
            if (status != ERROR_SUCCESS) {
                return status;
            }
            listing->at = 0;
        }
        const BYTE* at = listing->batch.bytes + listing->at;
        const ULONG next = *reinterpret_cast<const ULONG*>(at);  // NextEntryOffset, first in both forms
        listing->empty = next == 0;
        listing->at += next;
        const DWORD status = TakeEntry(at, listing->narrow, entry);
        if (status != ERROR_SUCCESS || !IsDotOrDotDot(entry->name, wcslen(entry->name))) {
            return status;
        }
    }
}
