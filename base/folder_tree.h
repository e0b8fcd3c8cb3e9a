// Walking a folder tree without following links, and pruning the folders of
// a tree that hold no file. The walk keeps a stack of proven folders, each
// opened by its name relative to the one above it (no_follow.h), so it
// builds no path; a link (as the listing tells) is reported as an entry and
// never descended into. A walk has an end whatever a user makes or keeps
// adding below the folder: it holds at most kWalkMaxLevels folders open (its
// top among them) and reads at most kWalkMaxEntries entries, and past either
// it stops (kWalkBound), leaving what it has not seen as it is.
#pragma once

#include <windows.h>

#include "base/no_follow.h"

// The bounds of one walk. Each level costs a handle and about 4.6 KB of the
// installer's heap; a million entries are far more than the folders the hook
// walks hold.
const size_t kWalkMaxLevels = 1024;
const DWORD kWalkMaxEntries = 1000000;

// What a walk does at the entries of each folder it lists.
class TreeVisitor {
public:
    enum Step {
        kNext,     // go on with the next entry
        kKeep,     // go on; the folder being listed holds something to keep
        kDescend,  // walk the entry's folder first (only for a folder that is no link)
        kStop,     // end the whole walk now
    };

    // An entry of the folder open at folder, "." and ".." aside.
    virtual Step Entry(HANDLE folder, const ListedEntry& entry) = 0;
    // A folder to descend into that cannot be opened (gone, refused, another
    // item put in its place): error is why. kStop ends the walk; anything
    // else goes on as if it were not there.
    virtual Step NotOpened(DWORD error) = 0;
    // A folder to descend into, just opened at folder and not yet listed:
    // kDescend walks it, kStop ends the walk, anything else passes it over.
    virtual Step Enter(HANDLE folder, const ListedEntry& entry) {
        (void)folder;
        (void)entry;
        return kDescend;
    }
    // After the listing of the folder that entry lists ended: folder is the
    // walk's handle of it (empty for a top the walk does not own), which
    // Leave may close; listingError is ERROR_NO_MORE_FILES when the listing
    // was complete; kept when an entry asked to keep the folder; keptBelow
    // when a sub-folder walked is still there (it was kept, or its result
    // was not 0). The result is the folder's, and the walk's for its top
    // folder.
    virtual DWORD Leave(FileHandle* folder, const ListedEntry& entry, DWORD listingError, bool kept,
                        bool keptBelow) = 0;

protected:
    ~TreeVisitor() = default;
};

// Walks the tree at the proven folder open at top (not yet listed), which
// entry lists in its parent, depth first, each sub-folder opened with its
// listing and access; the walk closes top when it owns it. The result of Leave for
// top; ERROR_CANCELLED when a step stopped the walk; kWalkBound when it
// reached a bound (a folder past the deepest level is not even opened);
// ERROR_NOT_ENOUGH_MEMORY when the stack of folders could not grow.
DWORD WalkTree(FileHandle* top, bool ownsTop, const ListedEntry& entry, TreeVisitor* visitor, DWORD access = 0);

// Removes every folder of the tree at folder below base that has no file
// beneath it, deepest first, each through its proven handle; every file
// stays. A name beginning with a period is not descended into and keeps the
// folder that holds it, as a file or a link does. A folder that stays is
// left as it is: one that keeps anything is not even tried. Returns a Windows
// error code: 0 when the folder was removed, is missing or keeps a file;
// kLinkInPath or kOtherItemAtName for a link at or above its top or another
// item put there; kWalkBound when the walk stopped at a bound (the folder,
// and what it had not yet removed below it, stay); otherwise the failure's
// code (ERROR_DIR_NOT_EMPTY when a sub-folder stays).
DWORD PruneTree(const wchar_t* base, const wchar_t* folder);
