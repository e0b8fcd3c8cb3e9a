// Walking a folder tree without following links, and pruning the folders of
// a tree that hold no file. The walk keeps the path it is at in one fixed
// buffer, so its depth is bounded by the path limit; a link (as IsLink tells)
// is reported as an entry and never descended into.
#pragma once

#include <windows.h>

#include "base/checked_text.h"
#include "base/no_follow.h"

// What a walk does at the entries of each folder it lists.
class TreeVisitor {
public:
    enum Step {
        kNext,     // go on with the next entry
        kKeep,     // go on; the folder being listed holds something to keep
        kDescend,  // walk the entry's folder first (only for a folder that is no link)
        kStop,     // end the whole walk now
    };

    // An entry of the folder being listed, "." and ".." aside; path is the
    // entry's full path.
    virtual Step Entry(const wchar_t* path, const WIN32_FIND_DATAW& entry) = 0;
    // An entry whose full path would not fit a path buffer.
    virtual Step TooDeep(const WIN32_FIND_DATAW& entry) = 0;
    // A folder whose listing cannot even start (missing, refused): error is
    // why. kStop ends the walk; anything else goes on as if it were empty.
    virtual Step NotListed(DWORD error) = 0;
    // After the listing of folder ended: listingError is ERROR_NO_MORE_FILES
    // when it was complete; kept when an entry asked to keep the folder;
    // keptBelow when a sub-folder walked is still there (it was kept, or its
    // result was not 0). The result is the folder's, and the walk's for its
    // top folder.
    virtual DWORD Leave(const wchar_t* folder, DWORD listingError, bool kept, bool keptBelow) = 0;

protected:
    ~TreeVisitor() = default;
};

// Walks the tree at folder (no trailing separator) depth first. The result
// of Leave for folder; 0 when folder cannot be listed and NotListed goes on;
// ERROR_FILENAME_EXCED_RANGE when folder does not fit a path buffer;
// ERROR_CANCELLED when a step stopped the walk.
DWORD WalkTree(const wchar_t* folder, TreeVisitor* visitor);

// Removes every folder of the tree at folder (no trailing backslash) that has
// no file beneath it, deepest first, each through a handle proven to lie
// below base; every file stays. Names beginning with a period are neither
// descended into nor counted as files; a link keeps the folder that holds it,
// and so does an entry too deep to name. A folder that stays is left as it
// is: one that keeps a sub-folder is not even tried. Returns a Windows error
// code: 0 when the folder was removed, is missing or keeps a file; otherwise
// the failure's code (ERROR_DIR_NOT_EMPTY when a sub-folder stays).
DWORD PruneTree(BaseFolder* base, const wchar_t* folder);
