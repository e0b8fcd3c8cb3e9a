// What counts as a link on the way to an item the hook changes: what lies
// below the base, which reparse points lead elsewhere, and files with more
// than one name. Wine makes no reparse point but its own links, so the tags
// of the others are reported through the import table.
#include <gtest/gtest.h>

#include <windows.h>

#include <stddef.h>
#include <string.h>

#include <string>
#include <tuple>
#include <vector>

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

// How a volume tells its items' ids, as Windows answers: the listing's form
// with 128-bit ids (which Wine 8 does not know), FileIdInfo, and the 64-bit
// FileInternalInformation; and its access lists.
struct IdCase {
    const char* name;
    bool refs;             // 128-bit ids: the listing's and FileIdInfo's alike, another 64-bit form
    bool none;             // no id told anywhere
    bool fat;              // no access lists
    LONGLONG createdShift; // the listing's creation time against the item's
    DWORD result;
    bool untold64 = false; // ReFS: an id too large for 64 bits, told there as -1
};

class VolumeIdTest : public testing::TestWithParam<IdCase> {};

TEST_P(VolumeIdTest, ItemIsProvenByTheIdItsVolumeTells) {
    const IdCase& c = GetParam();
    SandboxFolder sandbox;
    const std::wstring file = sandbox / L"Apps\\ols_config.xml";
    ASSERT_TRUE(WriteTextFile(file, "oem"));
    const HMODULE library = GetModuleHandleW(nullptr);
    const ULONGLONG kHigh = 0x5EF5;  // a 128-bit id's upper half
    ImportPatch<decltype(NtQueryDirectoryFile)> listing(library, "NtQueryDirectoryFile",
        [&](HANDLE folder, HANDLE event, PVOID apc, PVOID context, VlxIoStatusBlock* io, PVOID data, ULONG size,
            int kind, BOOLEAN single, VlxUnicodeString* mask, BOOLEAN restart) {
        std::vector<BYTE> narrow(size);
        const bool wide = c.refs && kind == kVlxFileIdExtdDirectoryInformation;
        const VlxNtStatus status = listing.original()(folder, event, apc, context, io, wide ? narrow.data() : data,
                                                      size, wide ? kVlxFileIdBothDirectoryInformation : kind, single,
                                                      mask, restart);
        for (ULONG at = 0, to = 0, next = 1; status == 0 && next != 0; at += next) {
            auto& entry = *reinterpret_cast<VlxFileIdBothDirInformation*>((wide ? narrow.data() : static_cast<BYTE*>(data)) + at);
            next = entry.NextEntryOffset;
            entry.FileId.QuadPart = c.none ? 0 : entry.FileId.QuadPart;
            entry.CreationTime.QuadPart += c.createdShift;
            if (wide) {  // the same entry in the form with 128-bit ids
                auto& extd = *reinterpret_cast<VlxFileIdExtdDirInformation*>(static_cast<BYTE*>(data) + to);
                memcpy(&extd, &entry, offsetof(VlxFileIdExtdDirInformation, ReparsePointTag));
                extd.ReparsePointTag = entry.EaSize;
                memcpy(extd.FileId, &entry.FileId, 8);
                memcpy(extd.FileId + 8, &kHigh, 8);
                extd.FileNameLength = entry.FileNameLength;
                memcpy(extd.FileName, entry.FileName, entry.FileNameLength);
                const ULONG length = (offsetof(VlxFileIdExtdDirInformation, FileName) + entry.FileNameLength + 7) & ~7u;
                extd.NextEntryOffset = next == 0 ? 0 : length;
                to += length;
            }
        }
        return status;
    });
    ImportPatch<decltype(NtQueryInformationFile)> internal(library, "NtQueryInformationFile", [&](auto... call) {
        const VlxNtStatus status = internal.original()(call...);
        auto* id = static_cast<ULONGLONG*>(std::get<2>(std::make_tuple(call...)));
        if (status == 0 && std::get<4>(std::make_tuple(call...)) == kVlxFileInternalInformation) {
            *id = c.none ? 0 : c.untold64 ? ~0ULL : c.refs ? ~*id : *id;  // ReFS: another form of the id
        }
        return status;
    });
    ImportPatch<decltype(GetFileInformationByHandleEx)> about(library, "GetFileInformationByHandleEx",
                                                              [&](auto file, auto kind, auto data, auto size) {
        const BOOL answered = about.original()(file, kind, data, size);
        BYTE* id = static_cast<VlxFileIdInfo*>(data)->id;
        if (answered && kind == kVlxFileIdInfo) {
            memcpy(id + 8, &kHigh, c.refs ? 8 : 0);
            memset(id, 0, c.none ? 16 : 0);
        }
        return answered;
    });
    const FatVolume volume(library, c.fat);
    EXPECT_EQ(ForceDeleteBelow((sandbox / L"Apps").c_str(), file.c_str()), c.result);
    EXPECT_EQ(PathExists(file), c.result != ERROR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, VolumeIdTest,
    testing::Values(IdCase{"ReFSIdsOf128Bits", true, false, false, 0, ERROR_SUCCESS},
                    IdCase{"ReFSIdsNotToldIn64Bits", true, false, false, 0, ERROR_SUCCESS, true},
                    IdCase{"NoIdWhereAccessListsAreKept", false, true, false, 0, kNoFileIdentity},
                    IdCase{"NoIdOnFatProvenByItsCreationTime", false, true, true, 0, ERROR_SUCCESS},
                    IdCase{"NoIdOnFatAnotherCreationTime", false, true, true, 1, kOtherItemAtName}),
    [](const testing::TestParamInfo<IdCase>& info) { return std::string(info.param.name); });

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
