// Deletion as NTFS on Windows 10 1809 and later answers it, for a module whose
// SetFileInformationByHandle import it takes over (Wine 8 refuses class 21).
// The flags are delete (0x1), POSIX semantics (0x2) and ignore read-only
// (0x10): a read-only file is refused with ERROR_ACCESS_DENIED without 0x10,
// a folder that is not empty with ERROR_DIR_NOT_EMPTY, a mapped image as the
// old mark refuses it. With POSIX semantics an item another program holds
// leaves its folder at once: it moves through its own handle into a holding
// folder on its volume, outside every watched place, before the old mark.
// VLX_DELETION_WAY=windows10 chooses this way; otherwise Wine's own answers
// (the fallback of Windows 7 and 8, FAT and ReFS).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

// Whether this run answers as Windows 10 does.
bool Windows10DeletionWay();
// The way's name in figures: "Wine's deletion" or "Windows 10 deletion";
// and as the setting spells it: "wine" or "windows10".
std::string DeletionWayName();
std::string DeletionWaySetting();

// Answers module's class-21 calls as Windows 10 does for as long as it lives.
class Windows10Deletion {
public:
    explicit Windows10Deletion(HMODULE module);
    ~Windows10Deletion();
    Windows10Deletion(const Windows10Deletion&) = delete;
    Windows10Deletion& operator=(const Windows10Deletion&) = delete;

    bool applied() const;

private:
    struct Patch;
    std::unique_ptr<Patch> patch_;
};

// The layer for module when this run takes the Windows 10 way; null otherwise.
std::unique_ptr<Windows10Deletion> DeletionWayFor(HMODULE module);
