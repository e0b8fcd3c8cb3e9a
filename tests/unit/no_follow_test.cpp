// What counts as a link on the way to an item the hook changes: what lies
// below the base, which reparse points lead elsewhere, and files with more
// than one name. Wine makes no reparse point but its own links, so the tags
// of the others are reported through the import table.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <tuple>

#include "base/delete_below.h"
#include "base/nt_file.h"
#include "base/no_follow.h"
#include "tests/support/expected_log.h"
#include "tests/support/iat_patch.h"
#include "tests/support/links.h"
#include "tests/support/sandbox.h"

namespace {

struct BelowCase {
    const char* name;
    const wchar_t* base;  // relative to the sandbox; "" is the sandbox itself
    const wchar_t* path;
    DWORD result;
    wchar_t drive = 0;  // the path's, where it is not the sandbox's
};

class OpenBelowTest : public testing::TestWithParam<BelowCase> {};

TEST_P(OpenBelowTest, OpensOnlyWhatLiesBelowTheBase) {
    const BelowCase& c = GetParam();
    SandboxFolder sandbox;
    ASSERT_TRUE(WriteTextFile(sandbox / L"Apps\\y", "x") && WriteTextFile(sandbox / L"AppsX\\y", "x"));
    const std::wstring base = *c.base == L'\0' ? sandbox.path() + L"\\" : sandbox / c.base;
    std::wstring path = sandbox / c.path;
    path[0] = c.drive != 0 ? c.drive : path[0];
    FileHandle item;
    EXPECT_EQ(OpenBelow(base.c_str(), path.c_str(), FILE_READ_ATTRIBUTES, kFileItem, &item), c.result);
    EXPECT_EQ(item.valid(), c.result == ERROR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OpenBelowTest,
    testing::Values(BelowCase{"Below", L"Apps", L"Apps\\y", ERROR_SUCCESS},
                    BelowCase{"BaseEndsInSeparator", L"", L"Apps\\y", ERROR_SUCCESS},
                    BelowCase{"SiblingSharingThePrefix", L"Apps", L"AppsX\\y", ERROR_INVALID_PARAMETER},
                    BelowCase{"TheBaseItself", L"Apps\\y", L"Apps\\y", ERROR_INVALID_PARAMETER},
                    BelowCase{"SameTailOnAnotherDrive", L"Apps", L"Apps\\y", ERROR_INVALID_PARAMETER, L'C'}),
    [](const testing::TestParamInfo<BelowCase>& info) { return std::string(info.param.name); });

class ReparseTagTest : public testing::TestWithParam<ReparseTag> {};

// A deduplicated, compressed or cloud file is deleted like any other; a
// junction, mount point or symbolic link (or a reparse point whose tag the
// platform does not tell, as Wine's own links) is not.
TEST_P(ReparseTagTest, OnlyNameSurrogatesAreLinks) {
    const ReparseTag& c = GetParam();
    SandboxFolder sandbox;
    const std::wstring file = sandbox / L"Apps\\ols_config.xml";
    ASSERT_TRUE(WriteTextFile(file, "oem"));
    // Its folder lists it as a reparse point with the case's tag.
    const ListingAnswer listing(GetModuleHandleW(nullptr), ReparsePointAt(L"ols_config.xml", c.tag));

    EXPECT_EQ(ForceDeleteBelow((sandbox / L"Apps").c_str(), file.c_str()), c.link ? kLinkInPath : ERROR_SUCCESS);
    EXPECT_EQ(PathExists(file), c.link);
}

INSTANTIATE_TEST_SUITE_P(Tags, ReparseTagTest, testing::ValuesIn(kReparseTags),
                         [](const testing::TestParamInfo<ReparseTag>& info) { return std::string(info.param.name); });

// A path may name a folder on the way by its short (8.3) name.
TEST(OpenBelowTest, ShortNameOnTheWayIsNoLink) {
    SandboxFolder sandbox;
    ASSERT_TRUE(WriteTextFile(sandbox / L"Long Folder Name\\ols_config.xml", "oem"));
    wchar_t shortName[MAX_PATH];
    ASSERT_NE(GetShortPathNameW((sandbox / L"Long Folder Name").c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortName), sandbox / L"Long Folder Name");
    EXPECT_EQ(ForceDeleteBelow(sandbox.path().c_str(), (std::wstring(shortName) + L"\\ols_config.xml").c_str()), 0u);
    EXPECT_FALSE(PathExists(sandbox / L"Long Folder Name\\ols_config.xml"));
}

// A second name of a file shares its data and attributes: neither a plain
// nor a forced deletion touches the file through it.
TEST(HardLinkTest, FileWithAnotherNameIsLeftAsItIs) {
    SandboxFolder sandbox;
    const std::wstring other = sandbox / L"Elsewhere\\system.dll";
    const std::wstring name = sandbox / L"Apps\\ols_config.xml";
    ASSERT_TRUE(WriteTextFile(other, "not ours") && MakeFolders(sandbox / L"Apps"));
    const ScopedLink link(name, other, LinkKind::kHard);
    ASSERT_TRUE(link.made());
    ASSERT_TRUE(SetFileAttributesW(other.c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(ForceDeleteBelow((sandbox / L"Apps").c_str(), name.c_str()), kSecondName);
    EXPECT_EQ(DeleteBelow((sandbox / L"Apps").c_str(), name.c_str()), kSecondName);
    EXPECT_TRUE(PathExists(name));
    EXPECT_NE(GetFileAttributesW(other.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << "its attributes are as they were";
    SetFileAttributesW(other.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A file that another program is deleting is as good as gone: neither
// deletion reports it.
TEST(DeletePendingTest, FileAnotherProgramDeletesIsGone) {
    SandboxFolder sandbox;
    const std::wstring file = sandbox / L"Apps\\ols_config.xml";
    ASSERT_TRUE(WriteTextFile(file, "oem"));
    ImportPatch<decltype(NtCreateFile)> pending(GetModuleHandleW(nullptr), "NtCreateFile", [&](auto... call) {
        const VlxUnicodeString* name = std::get<2>(std::make_tuple(call...))->ObjectName;
        return std::wstring(name->Buffer, name->Length / 2) == L"ols_config.xml" ? kVlxStatusDeletePending
                                                                                : pending.original()(call...);
    });
    EXPECT_EQ(ForceDeleteBelow((sandbox / L"Apps").c_str(), file.c_str()), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(DeleteBelow((sandbox / L"Apps").c_str(), file.c_str()), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
