#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "hook/folder_tree.h"
#include "tests/support/iat_patch.h"
#include "tests/support/sandbox.h"

namespace {

class RemoveEmptyFolderTreeTest : public testing::Test {
protected:
    SandboxFolder sandbox;
    std::wstring tree() const { return sandbox / L"Settings"; }
};

TEST_F(RemoveEmptyFolderTreeTest, MissingFolderIsNoError) {
    EXPECT_EQ(RemoveEmptyFolderTree((sandbox / L"Absent").c_str()), 0u);
}

TEST_F(RemoveEmptyFolderTreeTest, TreeWithoutFilesIsRemovedCompletely) {
    ASSERT_TRUE(MakeFolders(tree() + L"\\Info\\Deep\\Deeper"));
    ASSERT_TRUE(MakeFolders(tree() + L"\\Other"));
    EXPECT_EQ(RemoveEmptyFolderTree(tree().c_str()), 0u);
    EXPECT_FALSE(PathExists(tree()));
}

TEST_F(RemoveEmptyFolderTreeTest, FilesStayWithTheFoldersOnTheirWay) {
    ASSERT_TRUE(WriteTextFile(tree() + L"\\Info\\Keep\\user.txt", "mine"));
    ASSERT_TRUE(MakeFolders(tree() + L"\\Info\\Empty"));
    ASSERT_TRUE(MakeFolders(tree() + L"\\Sibling\\Empty"));
    EXPECT_EQ(RemoveEmptyFolderTree(tree().c_str()), static_cast<uint32_t>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(PathExists(tree() + L"\\Info\\Keep\\user.txt"));
    EXPECT_FALSE(PathExists(tree() + L"\\Info\\Empty"));
    EXPECT_FALSE(PathExists(tree() + L"\\Sibling"));
}

TEST_F(RemoveEmptyFolderTreeTest, FileDirectlyInsideKeepsFolderWithoutError) {
    ASSERT_TRUE(WriteTextFile(tree() + L"\\user.txt", "mine"));
    ASSERT_TRUE(MakeFolders(tree() + L"\\Empty"));
    EXPECT_EQ(RemoveEmptyFolderTree(tree().c_str()), 0u);
    EXPECT_TRUE(PathExists(tree() + L"\\user.txt"));
    EXPECT_FALSE(PathExists(tree() + L"\\Empty"));
}

// Names beginning with a period are neither counted nor descended into.
TEST_F(RemoveEmptyFolderTreeTest, PeriodNamesAreNotCountedButStay) {
    ASSERT_TRUE(WriteTextFile(tree() + L"\\.hidden", "x"));
    ASSERT_TRUE(MakeFolders(tree() + L"\\.cache\\Empty"));
    EXPECT_EQ(RemoveEmptyFolderTree(tree().c_str()), static_cast<uint32_t>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(PathExists(tree() + L"\\.hidden"));
    EXPECT_TRUE(PathExists(tree() + L"\\.cache\\Empty"));
}

DWORD g_failure = 0;

BOOL WINAPI FailFindNext(HANDLE, LPWIN32_FIND_DATAW) {
    SetLastError(g_failure);
    return FALSE;
}

FILE_INFO_BY_HANDLE_CLASS g_failingClass = FileBasicInfo;
decltype(&SetFileInformationByHandle) g_realSetInformation = nullptr;

// Fails one kind of change through the folder's handle: its attributes, or
// its removal.
BOOL WINAPI FailSetInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID data, DWORD size) {
    if (kind == g_failingClass) {
        SetLastError(g_failure);
        return FALSE;
    }
    return g_realSetInformation(file, kind, data, size);
}

TEST_F(RemoveEmptyFolderTreeTest, InterruptedListingReturnsItsErrorAndKeepsFolder) {
    ASSERT_TRUE(MakeFolders(tree()));
    ImportPatch<decltype(FindNextFileW)> patch(GetModuleHandleW(nullptr), "kernel32.dll", "FindNextFileW",
                                               &FailFindNext);
    ASSERT_TRUE(patch.applied());
    g_failure = ERROR_ACCESS_DENIED;
    EXPECT_EQ(RemoveEmptyFolderTree(tree().c_str()), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(PathExists(tree()));
}

TEST_F(RemoveEmptyFolderTreeTest, FailedRemovalOrAttributeChangeReturnsItsError) {
    ASSERT_TRUE(MakeFolders(tree()));
    ImportPatch<decltype(SetFileInformationByHandle)> patch(GetModuleHandleW(nullptr), "kernel32.dll",
                                                            "SetFileInformationByHandle",
                      &FailSetInformation);
    ASSERT_TRUE(patch.applied());
    g_realSetInformation = patch.original();
    const struct {
        FILE_INFO_BY_HANDLE_CLASS step;
        DWORD failure;
    } cases[] = {{FileDispositionInfo, ERROR_SHARING_VIOLATION}, {FileBasicInfo, ERROR_ACCESS_DENIED}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        g_failingClass = c.step;
        g_failure = c.failure;
        EXPECT_EQ(RemoveEmptyFolderTree(tree().c_str()), static_cast<uint32_t>(c.failure));
    }
    EXPECT_TRUE(PathExists(tree()));
}

}  // namespace

namespace {

// Entries named "Link" are reported as reparse points with the case's tag;
// everything else passes through unchanged.
DWORD g_tag = 0;
decltype(&FindFirstFileW) g_realFindFirst = nullptr;
decltype(&FindNextFileW) g_realFindNext = nullptr;

void MarkLink(LPWIN32_FIND_DATAW entry) {
    if (lstrcmpW(entry->cFileName, L"Link") == 0) {
        entry->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        entry->dwReserved0 = g_tag;
    }
}

HANDLE WINAPI FindFirstMarkingLinks(LPCWSTR pattern, LPWIN32_FIND_DATAW entry) {
    const HANDLE search = g_realFindFirst(pattern, entry);
    if (search != INVALID_HANDLE_VALUE) {
        MarkLink(entry);
    }
    return search;
}

BOOL WINAPI FindNextMarkingLinks(HANDLE search, LPWIN32_FIND_DATAW entry) {
    const BOOL found = g_realFindNext(search, entry);
    if (found) {
        MarkLink(entry);
    }
    return found;
}

struct TagCase {
    const char* name;
    DWORD tag;
    bool link;
};

class PruningReparseTest : public RemoveEmptyFolderTreeTest, public testing::WithParamInterface<TagCase> {};

// A link is not followed and keeps its parent; any other reparse point (a
// deduplicated, compressed or cloud folder) is a folder like the others.
TEST_P(PruningReparseTest, OnlyLinksAreNotFollowed) {
    const TagCase& c = GetParam();
    ASSERT_TRUE(MakeFolders(tree() + L"\\Link\\Empty"));
    ASSERT_TRUE(MakeFolders(tree() + L"\\Plain\\Empty"));
    ImportPatch<decltype(FindFirstFileW)> first(GetModuleHandleW(nullptr), "kernel32.dll", "FindFirstFileW",
                                                &FindFirstMarkingLinks);
    ImportPatch<decltype(FindNextFileW)> next(GetModuleHandleW(nullptr), "kernel32.dll", "FindNextFileW",
                                              &FindNextMarkingLinks);
    ASSERT_TRUE(first.applied() && next.applied());
    g_realFindFirst = first.original();
    g_realFindNext = next.original();
    g_tag = c.tag;

    EXPECT_EQ(RemoveEmptyFolderTree(tree().c_str()), 0u);
    EXPECT_EQ(PathExists(tree() + L"\\Link\\Empty"), c.link) << "what a link points at is not pruned";
    EXPECT_FALSE(PathExists(tree() + L"\\Plain"));
}

INSTANTIATE_TEST_SUITE_P(
    Tags, PruningReparseTest,
    testing::Values(TagCase{"Junction", IO_REPARSE_TAG_MOUNT_POINT, true},
                    TagCase{"SymbolicLink", IO_REPARSE_TAG_SYMLINK, true},
                    TagCase{"TagNotReported", 0, true},
                    TagCase{"Deduplicated", IO_REPARSE_TAG_DEDUP, false},
                    TagCase{"CloudPlaceholder", IO_REPARSE_TAG_CLOUD_6, false}),
    [](const testing::TestParamInfo<TagCase>& info) { return std::string(info.param.name); });

}  // namespace
