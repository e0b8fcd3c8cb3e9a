#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>
#include <wchar.h>

#include <string>
#include <tuple>
#include <vector>

#include "base/folder_tree.h"
#include "base/nt_file.h"
#include "tests/support/environment.h"
#include "tests/support/iat_patch.h"
#include "tests/support/links.h"
#include "tests/support/sandbox.h"
#include "tests/support/snapshot.h"
#include "tests/support/windows10_deletion.h"

namespace {

// The pruning of a tree below the sandbox, as the OEM removal prunes its
// trees below the install folder.
class PruneTreeTest : public testing::Test {
protected:
    SandboxFolder sandbox;
    std::wstring tree() const { return sandbox / L"Settings"; }
    DWORD Prune() const { return PruneTree(sandbox.path().c_str(), tree().c_str()); }
};

// A tree laid out (files end in ".txt" or begin with a period, the rest are
// folders) -> the result and what is left.
struct PruneCase {
    const char* name;
    std::vector<std::wstring> laidOut;
    DWORD result;
    std::vector<std::wstring> left;  // below the tree; {L""}: the tree itself alone
    std::vector<std::wstring> hidden = {};  // folders laid out hidden and system: kept so when they stay
};

const DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

class PruneTest : public PruneTreeTest, public testing::WithParamInterface<PruneCase> {};

// Where a deletion was tried: the final path of every item marked.
std::vector<std::wstring> g_tried;

bool Tried(const std::wstring& folder) {
    for (const std::wstring& tried : g_tried) {
        if (tried.size() >= folder.size() - 2 && tried.compare(tried.size() - (folder.size() - 2), std::wstring::npos,
                                                               folder, 2, std::wstring::npos) == 0) {
            return true;
        }
    }
    return false;
}

TEST_P(PruneTest, RemovesEveryFolderWithoutAFileBeneath) {
    const PruneCase& c = GetParam();
    ImportPatch<decltype(SetFileInformationByHandle)> record(GetModuleHandleW(nullptr), "SetFileInformationByHandle",
                                                             [&](auto item, auto kind, auto data, auto size) {
        if (kind == FileDispositionInfo || kind == static_cast<FILE_INFO_BY_HANDLE_CLASS>(21)) {
            wchar_t path[1024] = {};
            GetFinalPathNameByHandleW(item, path, 1024, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            g_tried.push_back(path);
        }
        return record.original()(item, kind, data, size);
    });
    g_tried.clear();
    for (const std::wstring& entry : c.laidOut) {
        // Through the long-path prefix, one folder at a time: a tree may be deeper than a path.
        const bool file = entry.find(L".txt") != std::wstring::npos || entry.find(L"\\.h") != std::wstring::npos;
        for (size_t at = 0; at != std::wstring::npos; at = entry.find(L'\\', at + 1)) {
            CreateDirectoryW((L"\\\\?\\" + tree() + L"\\" + entry.substr(0, at)).c_str(), nullptr);
        }
        const std::wstring path = L"\\\\?\\" + tree() + L"\\" + entry;
        ASSERT_TRUE(file ? WriteTextFile(path, "mine") : CreateDirectoryW(path.c_str(), nullptr));
    }
    for (const std::wstring& folder : c.hidden) {
        ASSERT_TRUE(SetFileAttributesW((tree() + folder).c_str(), kHiddenSystem));
    }
    EXPECT_EQ(Prune(), c.result);
    std::vector<std::wstring> left;
    for (const auto& entry : SnapshotFiles(tree(), FolderAccess::kIgnored)) {
        left.push_back(entry.first);
    }
    EXPECT_EQ(left, c.left);
    for (const std::wstring& folder : c.hidden) {
        EXPECT_EQ(GetFileAttributesW((tree() + folder).c_str()) & kHiddenSystem, kHiddenSystem) << ToUtf8(folder);
        EXPECT_FALSE(Tried(tree() + folder)) << ToUtf8(folder) << " keeps a file below it: never tried";
    }
}

const DWORD kNotEmpty = ERROR_DIR_NOT_EMPTY;
const std::wstring kA(120, L'a'), kB(120, L'b'), kC(120, L'c');  // three levels, deeper than a path

INSTANTIATE_TEST_SUITE_P(
    Trees, PruneTest,
    testing::Values(
        PruneCase{"Missing", {}, 0, {}},
        PruneCase{"NoFilesAllGo", {L"Info\\Deep\\Deeper", L"Other"}, 0, {}},
        PruneCase{"FilesKeepTheFoldersOnTheirWay",
                  {L"Info\\Keep\\user.txt", L"Info\\Empty", L"Sibling\\Empty"}, kNotEmpty,
                  {L"", L"Info", L"Info\\Keep", L"Info\\Keep\\user.txt"}},
        // The folders that stay are left as they were, not cleared on the way.
        PruneCase{"KeptFoldersKeepTheirAttributes", {L"Info\\Keep\\user.txt", L"Info\\Empty"}, kNotEmpty,
                  {L"", L"Info", L"Info\\Keep", L"Info\\Keep\\user.txt"}, {L"", L"\\Info", L"\\Info\\Keep"}},
        PruneCase{"FileDirectlyInside", {L"user.txt", L"Empty"}, 0, {L"", L"user.txt"}},
        PruneCase{"DeeperThanAPathAllGo", {kA + L"\\" + kB + L"\\" + kC}, 0, {}},
        PruneCase{"DeeperThanAPathKeepsAFile", {kA + L"\\" + kB + L"\\" + kC + L"\\user.txt", kA + L"\\" + kB + L"\\" + kB}, kNotEmpty,
                  {L"", kA, kA + L"\\" + kB, kA + L"\\" + kB + L"\\" + kC, kA + L"\\" + kB + L"\\" + kC + L"\\user.txt"}},
        // A name beginning with a period is not entered, and keeps its folder untried.
        PruneCase{"PeriodNamesNotEnteredAndKept", {L"x\\.hidden", L".cache\\Empty"}, 0,
                  {L"", L".cache", L".cache\\Empty", L"x", L"x\\.hidden"}, {L"\\x"}}),
    [](const testing::TestParamInfo<PruneCase>& info) { return std::string(info.param.name); });

// An emptied folder that another program (Explorer, the indexer) holds open
// with its deletion shared: with POSIX semantics it leaves its parent at
// once and the parent goes too; with the old mark both stay until it is let go.
TEST_F(PruneTreeTest, EmptiedFolderHeldOpenLeavesItsParentOnlyWithPosixDeletion) {
    const std::wstring held = tree() + L"\\Info\\Held";
    ASSERT_TRUE(MakeFolders(held));
    FileHandle holder(CreateFileW(held.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(holder.valid());
    const bool posix = Windows10DeletionWay();
    EXPECT_EQ(Prune(), posix ? ERROR_SUCCESS : static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    holder.reset();
    EXPECT_FALSE(PathExists(held)) << "gone once let go";
    EXPECT_EQ(PathExists(tree()), !posix);
}

// The tree's own listing breaks off at ".." (refused), or tells nothing at
// all, as a listing without "." and ".." (a FAT root) tells an empty folder.
TEST_F(PruneTreeTest, InterruptedListingReturnsItsErrorAndKeepsFolder) {
    const struct {
        ULONG at;  // the entry's name length, in bytes
        VlxNtStatus status;
        DWORD result;
    } cases[] = {{4, static_cast<VlxNtStatus>(0xC0000022L), ERROR_ACCESS_DENIED},
                 {2, static_cast<VlxNtStatus>(0xC000000FL), ERROR_SUCCESS}};
    for (const auto& c : cases) {
        ASSERT_TRUE(MakeFolders(tree()));
        const ListingAnswer listing(GetModuleHandleW(nullptr), [&](VlxFileIdBothDirInformation& entry) {
            return entry.FileNameLength == c.at ? c.status : 0;
        });
        EXPECT_EQ(Prune(), c.result);
        EXPECT_EQ(PathExists(tree()), c.result != ERROR_SUCCESS);
    }
}

// A tree one level deeper than the walk may go: the walk holds its deepest
// level, the tree being the first, and stops there, having removed nothing.
TEST_F(PruneTreeTest, TreeOneLevelPastTheBoundStopsTheWalk) {
    ASSERT_TRUE(MakeFolders(tree() + L"\\d"));
    const EndlessDepth depth(GetModuleHandleW(nullptr), tree(), kWalkMaxLevels);
    EXPECT_EQ(Prune(), kWalkBound);
    EXPECT_EQ(depth.deepest(), kWalkMaxLevels) << "the deepest level it may hold, and not one more";
    EXPECT_TRUE(PathExists(tree() + L"\\d"));
}

// A listing that never ends (a user adding names that sort after the walk's
// position): the walk stops at its bound of entries, and the tree stays.
TEST_F(PruneTreeTest, ListingThatNeverEndsStopsAtTheBound) {
    ASSERT_TRUE(MakeFolders(tree()));
    DWORD told = 0;
    // Past its own entries the tree's listing tells new files, in batches, up to twice the bound.
    ImportPatch<decltype(NtQueryDirectoryFile)> endless(GetModuleHandleW(nullptr), "NtQueryDirectoryFile",
                                                        [&](HANDLE folder, auto... rest) {
        const VlxNtStatus status = endless.original()(folder, rest...);
        const auto call = std::make_tuple(rest...);
        auto* batch = static_cast<BYTE*>(std::get<4>(call));
        if (status != kVlxStatusNoMoreFiles || std::get<8>(call) != nullptr || told >= 2 * kWalkMaxEntries) {
            return status;
        }
        const ULONG size = (sizeof(VlxFileIdBothDirInformation) + 16 * sizeof(wchar_t) + 7) & ~7u;
        for (ULONG at = 0; at + size <= std::get<5>(call); at += size) {
            auto& entry = *reinterpret_cast<VlxFileIdBothDirInformation*>(batch + at);
            memset(&entry, 0, size);
            entry.NextEntryOffset = at + 2 * size <= std::get<5>(call) ? size : 0;
            entry.FileAttributes = FILE_ATTRIBUTE_ARCHIVE;
            entry.FileNameLength = static_cast<ULONG>(swprintf(entry.FileName, 16, L"%08lx.txt", ++told) * 2);
        }
        return VlxNtStatus{0};
    });
    EXPECT_EQ(Prune(), kWalkBound);
    EXPECT_LT(told, kWalkMaxEntries + 100) << "no batch read after the bound";
    EXPECT_TRUE(PathExists(tree()));
}

TEST_F(PruneTreeTest, FailedRemovalOrAttributeChangeReturnsItsError) {
    ASSERT_TRUE(MakeFolders(tree()));
    ASSERT_TRUE(SetFileAttributesW(tree().c_str(), kHiddenSystem));
    FILE_INFO_BY_HANDLE_CLASS failing = FileBasicInfo;
    DWORD failure = 0;
    // Fails one kind of change through the folder's handle: its attributes, or
    // its removal (the old mark, and the POSIX-semantics deletion where the run
    // answers it).
    ImportPatch<decltype(SetFileInformationByHandle)> patch(GetModuleHandleW(nullptr), "SetFileInformationByHandle",
                                                            [&](auto file, auto kind, auto data, auto size) {
        if (kind == failing || (failing == FileDispositionInfo && kind == static_cast<FILE_INFO_BY_HANDLE_CLASS>(21))) {
            SetLastError(failure);
            return FALSE;
        }
        return patch.original()(file, kind, data, size);
    });
    const struct {
        FILE_INFO_BY_HANDLE_CLASS step;
        DWORD failure;
    } cases[] = {{FileDispositionInfo, ERROR_SHARING_VIOLATION}, {FileBasicInfo, ERROR_ACCESS_DENIED}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        failing = c.step;
        failure = c.failure;
        EXPECT_EQ(Prune(), c.failure);
        EXPECT_EQ(GetFileAttributesW(tree().c_str()) & kHiddenSystem, kHiddenSystem) << "put back";
    }
    EXPECT_TRUE(PathExists(tree()));
}

class PruningReparseTest : public PruneTreeTest, public testing::WithParamInterface<ReparseTag> {};

// A link is not followed and keeps its parent; any other reparse point (a
// deduplicated, compressed or cloud folder) is a folder like the others.
TEST_P(PruningReparseTest, OnlyLinksAreNotFollowed) {
    const ReparseTag& c = GetParam();
    ASSERT_TRUE(MakeFolders(tree() + L"\\Link\\Empty"));
    ASSERT_TRUE(MakeFolders(tree() + L"\\Plain\\Empty"));
    // Entries named "Link" are listed as reparse points with the case's tag.
    const ListingAnswer listing(GetModuleHandleW(nullptr), ReparsePointAt(L"Link", c.tag));

    EXPECT_EQ(Prune(), 0u);
    EXPECT_EQ(PathExists(tree() + L"\\Link\\Empty"), c.link) << "what a link points at is not pruned";
    EXPECT_FALSE(PathExists(tree() + L"\\Plain"));
}

INSTANTIATE_TEST_SUITE_P(Tags, PruningReparseTest, testing::ValuesIn(kReparseTags),
                         [](const testing::TestParamInfo<ReparseTag>& info) { return std::string(info.param.name); });

}  // namespace
