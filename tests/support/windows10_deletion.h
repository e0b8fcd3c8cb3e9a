// Deletion as Windows 10 1809 and later answers it on NTFS, for a module
// whose SetFileInformationByHandle import it takes over: Wine 8 refuses the
// extended disposition class (21) that real machines answer, so without this
// layer the branch they take would never run.
//
// Class 21 is answered as documented: the flags are delete (0x1), POSIX
// semantics (0x2) and ignore read-only (0x10); a read-only file is refused
// with ERROR_ACCESS_DENIED unless 0x10 is given, a folder that is not empty
// with ERROR_DIR_NOT_EMPTY, a mapped image as the old mark refuses it. With
// POSIX semantics the name leaves its folder when the deleting handle closes,
// even while other programs hold the item: emulated, for an item another
// program holds, by moving it through its own handle into a holding folder on
// its volume (outside every place a test watches) before the old mark. Every
// other class goes to the platform.
//
// Which way a run deletes is chosen by VLX_DELETION_WAY ("windows10" for
// this layer; anything else, Wine's own answers: the fallback of Windows 7
// and 8, FAT and ReFS).
#pragma once

#include <windows.h>

#include <memory>
#include <string>


// Whether this run answers as Windows 10 does.
bool Windows10DeletionWay();
// The way's name in figures: "Wine's deletion" or "Windows 10 deletion".
std::string DeletionWayName();

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
