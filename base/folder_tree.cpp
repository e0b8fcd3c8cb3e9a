#include "base/folder_tree.h"

#include <stdlib.h>

#include "base/delete_below.h"
#include "base/guards.h"

namespace {

// A folder the walk is in: its handle (none once its listing ended, and the
// top's only when the walk owns it), its entry in its parent's listing, and
// what it keeps so far.
struct Level {
    HANDLE folder;
    ListedEntry entry;
    Listing listing;
    bool kept;
    bool keptBelow;
};

// The folders from the top down to the one being listed, on the heap: as
// deep as the tree goes. Every handle the walk owns is closed when its
// level's listing ends, and all of them when the walk does.
class Levels {
public:
    explicit Levels(bool ownsTop) : ownsTop_(ownsTop) {}
    Levels(const Levels&) = delete;
    Levels& operator=(const Levels&) = delete;
    ~Levels() {
        for (; depth_ > 0; --depth_) {
            FileHandle closing(Take());
        }
        free(levels_);
    }

    // Takes the folder (but a top the walk does not own); false, with the
    // folder closed, when the stack cannot grow.
    bool Push(HANDLE folder, const ListedEntry& entry) {
        if (depth_ == capacity_) {
            const size_t capacity = capacity_ == 0 ? 16 : capacity_ * 2;
            void* grown = realloc(levels_, capacity * sizeof(Level));
            if (grown == nullptr) {
                if (depth_ > 0 || ownsTop_) {
                    CloseHandle(folder);
                }
                return false;
            }
            levels_ = static_cast<Level*>(grown);
            capacity_ = capacity;
        }
        Level& level = levels_[depth_++];
        level.folder = folder;
        level.entry = entry;
        level.listing.at = 0;
        level.listing.empty = true;
        level.kept = false;
        level.keptBelow = false;
        return true;
    }
    Level& Top() { return levels_[depth_ - 1]; }
    // The top level's handle where the walk owns it, which the caller then
    // owns; none (INVALID_HANDLE_VALUE) otherwise, or once taken.
    HANDLE Take() {
        Level& level = levels_[depth_ - 1];
        const HANDLE folder = depth_ > 1 || ownsTop_ ? level.folder : INVALID_HANDLE_VALUE;
        level.folder = INVALID_HANDLE_VALUE;
        return folder;
    }
    void Pop() { --depth_; }
    size_t depth() const { return depth_; }

private:
    bool ownsTop_;
    Level* levels_ = nullptr;
    size_t depth_ = 0;
    size_t capacity_ = 0;
};

bool IsFolder(const ListedEntry& entry) {
    return (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsLink(entry.attributes, entry.tag);
}

// Keeps every folder that holds a file or a link; removes the others.
class Pruning final : public TreeVisitor {
public:
    Step Entry(HANDLE, const ListedEntry& entry) override {
        // A name beginning with a period (a hidden name) is not entered, and
        // keeps its folder as a file does.
        if (entry.name[0] == L'.') {
            return kKeep;
        }
        // What a link points at is not ours to prune, and it keeps this folder.
        return IsFolder(entry) ? kDescend : kKeep;
    }
    // A folder that cannot be opened stays, and does not keep its parent.
    Step NotOpened(DWORD) override { return kNext; }
    DWORD Leave(FileHandle* folder, const ListedEntry& entry, DWORD listingError, bool kept,
                bool keptBelow) override {
        if (listingError != ERROR_NO_MORE_FILES) {
            return listingError;
        }
        if (kept) {
            return ERROR_SUCCESS;
        }
        // Not tried: it would only be refused, and tried it would have lost
        // its attributes on the way.
        if (keptBelow) {
            return ERROR_DIR_NOT_EMPTY;
        }
        // Opened for its removal once its listing ended (a handle that may
        // delete a folder keeps others from listing it), through the walk's
        // handle, which closes first.
        FileHandle removing;
        const DWORD opened = Reopen(folder->get(), DELETE | FILE_WRITE_ATTRIBUTES, kShareAll, kFolderItem, &removing);
        folder->reset();
        return opened == ERROR_SUCCESS ? RemoveOpenFolder(removing.get(), entry.attributes, &posix_) : opened;
    }

private:
    bool posix_ = true;
};

}  // namespace

DWORD WalkTree(FileHandle* top, bool ownsTop, const ListedEntry& entry, TreeVisitor* visitor, DWORD access) {
    Levels levels(ownsTop);
    if (!levels.Push(ownsTop ? top->release() : top->get(), entry)) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    ListedEntry listed;
    DWORD entries = 0;
    for (;;) {
        Level& level = levels.Top();
        const DWORD next = NextEntry(level.folder, &level.listing, &listed);
        if (next == ERROR_SUCCESS) {
            if (++entries > kWalkMaxEntries) {
                return kWalkBound;
            }
            TreeVisitor::Step step = visitor->Entry(level.folder, listed);
            if (step == TreeVisitor::kDescend && IsFolder(listed)) {
                if (levels.depth() == kWalkMaxLevels) {
                    return kWalkBound;
                }
                FileHandle below;
                const DWORD opened = OpenListed(level.folder, listed, kFolderListing | access, kFolderItem, &below);
                step = opened == ERROR_SUCCESS ? visitor->Enter(below.get(), listed) : visitor->NotOpened(opened);
                if (opened == ERROR_SUCCESS && step == TreeVisitor::kDescend) {
                    if (!levels.Push(below.release(), listed)) {
                        return ERROR_NOT_ENOUGH_MEMORY;
                    }
                    continue;
                }
            }
            if (step == TreeVisitor::kStop) {
                return ERROR_CANCELLED;
            }
            level.kept = level.kept || step == TreeVisitor::kKeep;
            continue;
        }
        FileHandle folder(levels.Take());
        const DWORD result = visitor->Leave(&folder, level.entry, next, level.kept, level.keptBelow);
        folder.reset();
        const bool stays = level.kept || level.keptBelow || result != ERROR_SUCCESS;
        levels.Pop();
        if (levels.depth() == 0) {
            return result;
        }
        levels.Top().keptBelow = levels.Top().keptBelow || stays;
    }
}

DWORD PruneTree(const wchar_t* base, const wchar_t* folder) {
    FileHandle top;
    ListedEntry entry;
    const DWORD opened = OpenBelow(base, folder, kFolderListing, kFolderItem, &top, &entry);
    if (opened != ERROR_SUCCESS) {
        return NotThere(opened) ? ERROR_SUCCESS : opened;
    }
    Pruning pruning;
    return WalkTree(&top, true, entry, &pruning);
}
