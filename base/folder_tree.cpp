#include "base/folder_tree.h"

#include "base/delete_below.h"
#include "base/guards.h"

namespace {

// One walk: the path being looked at grows and shrinks in one buffer as the
// walk goes down and up, and every level shares one search record (each has
// read its entry before it goes down).
struct Walk {
    TreeVisitor* visitor;
    wchar_t path[kPathChars];
    WIN32_FIND_DATAW entry;
    bool stopped;
};

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Walks the folder in walk->path; the buffer holds it again on return.
// *stays tells whether the folder is still there for all the walk knows.
DWORD WalkFolder(Walk* walk, bool* stays) {
    *stays = true;
    wchar_t* const folder = walk->path;
    const size_t length = wcslen(folder);
    // A folder whose search pattern does not fit cannot be listed either.
    FindHandle search;
    DWORD notListed = ERROR_FILENAME_EXCED_RANGE;
    if (CheckedAppend(walk->path, L"\\*.*")) {
        search.reset(FindFirstFileW(folder, &walk->entry));
        notListed = search.valid() ? ERROR_SUCCESS : GetLastError();
        folder[length] = L'\0';
    }
    if (!search.valid()) {
        // Gone, or there still (the parent then finds out when it is tried).
        *stays = false;
        walk->stopped = walk->visitor->NotListed(notListed) == TreeVisitor::kStop;
        return walk->stopped ? ERROR_CANCELLED : ERROR_SUCCESS;
    }
    bool kept = false;
    bool keptBelow = false;
    DWORD listingError = ERROR_SUCCESS;
    for (;;) {
        const WIN32_FIND_DATAW& entry = walk->entry;
        if (!IsDotOrDotDot(entry.cFileName)) {
            TreeVisitor::Step step = TreeVisitor::kNext;
            if (CheckedAppend(walk->path, L"\\") && CheckedAppend(walk->path, entry.cFileName)) {
                step = walk->visitor->Entry(folder, entry);
                const bool folderEntry = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                         !IsLink(entry.dwFileAttributes, entry.dwReserved0);
                if (step == TreeVisitor::kDescend && folderEntry) {
                    bool below = false;
                    WalkFolder(walk, &below);
                    keptBelow = keptBelow || below;
                    step = walk->stopped ? TreeVisitor::kStop : TreeVisitor::kNext;
                }
            } else {
                step = walk->visitor->TooDeep(entry);
            }
            folder[length] = L'\0';
            if (step == TreeVisitor::kStop) {
                walk->stopped = true;
                return ERROR_CANCELLED;
            }
            kept = kept || step == TreeVisitor::kKeep;
        }
        if (!FindNextFileW(search.get(), &walk->entry)) {
            listingError = GetLastError();
            break;
        }
    }
    search.reset();
    const DWORD result = walk->visitor->Leave(folder, listingError, kept, keptBelow);
    *stays = kept || keptBelow || result != ERROR_SUCCESS;
    return result;
}

// Keeps every folder that holds a file, a link or an entry too deep to
// name; removes the others below base.
class Pruning final : public TreeVisitor {
public:
    explicit Pruning(BaseFolder* base) : base_(base) {}

    Step Entry(const wchar_t*, const WIN32_FIND_DATAW& entry) override {
        // Names beginning with a period (hidden names) are passed over.
        if (entry.cFileName[0] == L'.') {
            return kNext;
        }
        // What a link points at is not ours to prune, and it keeps this folder.
        if (IsLink(entry.dwFileAttributes, entry.dwReserved0)) {
            return kKeep;
        }
        return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? kDescend : kKeep;
    }
    Step TooDeep(const WIN32_FIND_DATAW& entry) override { return entry.cFileName[0] == L'.' ? kNext : kKeep; }
    // A folder that cannot be listed stays, and does not keep its parent.
    Step NotListed(DWORD) override { return kNext; }
    DWORD Leave(const wchar_t* folder, DWORD listingError, bool kept, bool keptBelow) override {
        if (listingError != ERROR_NO_MORE_FILES) {
            return listingError;
        }
        if (kept) {
            return ERROR_SUCCESS;
        }
        // Not tried: it would only be refused, and tried it would have lost
        // its attributes on the way.
        return keptBelow ? ERROR_DIR_NOT_EMPTY : RemoveFolderBelow(base_, folder);
    }

private:
    BaseFolder* base_;
};

}  // namespace

DWORD WalkTree(const wchar_t* folder, TreeVisitor* visitor) {
    Walk walk;
    walk.visitor = visitor;
    walk.stopped = false;
    if (!CheckedCopy(walk.path, folder)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    bool stays = false;
    return WalkFolder(&walk, &stays);
}

DWORD PruneTree(BaseFolder* base, const wchar_t* folder) {
    Pruning pruning(base);
    return WalkTree(folder, &pruning);
}
