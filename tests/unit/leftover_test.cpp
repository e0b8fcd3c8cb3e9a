// What a run killed between the rename and the mark leaves: the file under
// its temporary name and the record (the old deletion's way to free the name
// of a held file: deletion_fallback_test.cpp). The next run deletes that very
// file, and nothing that merely has its name or is reached another way; where
// it cannot tell, it keeps the record until the last finishing pass.
#include <gtest/gtest.h>

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "actions/interrupted_deletions.h"
#include "base/delete_below.h"
#include "base/deletion_record.h"
#include "base/guards.h"
#include "dll/dispatch.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/links.h"
#include "tests/support/log_capture.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

const wchar_t kFixedName[] = L"~VLX12345678.tmp";

enum class Leftover {
    kRecorded, kOtherFileByItsName, kBehindLink, kGivenUpBehindLink, kSecondName, kReadOnlyPlain, kFolderAtName,
    kLinkAtName, kFolderGone, kVolumeGone, kBesideOneThatStays, kSameNameSetAsideAgain, kPreCheck, kPostPayload,
    kFatClockChanged, kFatResized, kOtherVolume, kOtherVolumeFolderGone, kIdReused, kDamagedKey, kGivenUpEarlier,
    kDeletePending, kBaseOnItsOwnVolume, kFatClockOffQuarter
};

struct LeftoverCase {
    const char* name;
    Leftover leftover;
    std::vector<std::string> lines;  // "%s" stands for the leftover's path, "%o" for the other's
    bool fileStays;
    bool recordStays;
};

class LeftoverTest : public testing::TestWithParam<LeftoverCase> {};

TEST_P(LeftoverTest, NextRunDeletesTheRecordedFileAlone) {
    const LeftoverCase& c = GetParam();
    SandboxFolder sandbox;
    const std::wstring apps = sandbox / L"Apps";
    std::wstring leftover = apps + L"\\Info\\" + kFixedName;
    const std::wstring other = apps + L"\\Info\\~VLX87654321.tmp";
    ASSERT_TRUE(WriteTextFile(leftover, "oem") && WriteTextFile(other, "held"));
    DeletionRecord record = {};
    const bool fat = c.leftover == Leftover::kFatClockChanged || c.leftover == Leftover::kFatResized ||
                     c.leftover == Leftover::kFatClockOffQuarter;
    const FatVolume volume(GetModuleHandleW(nullptr), fat);
    ASSERT_EQ(IdentifyFile(Handle(CreateFileW(leftover.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr)).get(),
                           &record), 0u);
    // FAT's local times after a change of time zone (or both moved by ten minutes, which no zone does), and a
    // new file's id.
    const ULONGLONG shift = c.leftover == Leftover::kFatClockChanged      ? 36000000000
                            : c.leftover == Leftover::kFatClockOffQuarter ? 6000000000
                                                                          : 0;
    record.created -= c.leftover == Leftover::kIdReused ? 1 : shift;
    record.written -= shift;
    record.size += c.leftover == Leftover::kFatResized ? 1 : 0;
    record.volume ^= c.leftover == Leftover::kOtherVolume || c.leftover == Leftover::kOtherVolumeFolderGone ? 1 : 0;
    record.forced = c.leftover == Leftover::kReadOnlyPlain ? 0 : 1;
    // The tenth pass gives it up; a record marked given up goes with no pass.
    record.passes = c.leftover == Leftover::kGivenUpBehindLink ? 9 : c.leftover == Leftover::kGivenUpEarlier ? 10 : 0;
    wcscpy(record.base, apps.c_str());
    std::wstring at = leftover;  // where the file is left
    std::unique_ptr<ScopedLink> link;
    Handle held;
    if (c.leftover == Leftover::kOtherFileByItsName) {
        // Made before the recorded file goes, so that it cannot have its index.
        ASSERT_TRUE(WriteTextFile(sandbox / L"other", "someone else's"));
        ASSERT_TRUE(DeleteFileW(leftover.c_str()) && MoveFileW((sandbox / L"other").c_str(), leftover.c_str()));
    } else if (c.leftover == Leftover::kBehindLink || c.leftover == Leftover::kGivenUpBehindLink) {
        at = sandbox / (std::wstring(L"Elsewhere\\") + kFixedName);
        ASSERT_TRUE(MoveFileW((apps + L"\\Info").c_str(), (sandbox / L"Elsewhere").c_str()));
        link.reset(new ScopedLink(apps + L"\\Info", sandbox / L"Elsewhere"));
    } else if (c.leftover == Leftover::kSecondName) {
        link.reset(new ScopedLink(sandbox / L"second.tmp", leftover, LinkKind::kHard));
    } else if (c.leftover == Leftover::kReadOnlyPlain) {
        ASSERT_TRUE(SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_READONLY));
    } else if (c.leftover == Leftover::kFolderAtName) {
        ASSERT_TRUE(DeleteFileW(leftover.c_str()) && CreateDirectoryW(leftover.c_str(), nullptr));
    } else if (c.leftover == Leftover::kFolderGone || c.leftover == Leftover::kOtherVolumeFolderGone ||
               c.leftover == Leftover::kBaseOnItsOwnVolume) {
        at = leftover = apps + L"\\Gone\\" + kFixedName;  // its folder removed
    } else if (c.leftover == Leftover::kVolumeGone) {
        at = leftover = L"Q:\\Apps\\Info\\" + std::wstring(kFixedName);  // a drive that is not there
        wcscpy(record.base, L"Q:\\Apps");
    } else if (c.leftover == Leftover::kDamagedKey) {
        std::fill(std::begin(record.base), std::end(record.base), L'A');  // a base folder without its end
    }
    ASSERT_TRUE(link == nullptr || link->made());
    ASSERT_EQ(WriteDeletionRecord(leftover.c_str(), record, kNewRecord), 0u);
    if (c.leftover == Leftover::kDamagedKey) {
        // Beside it, a value whose name holds a NUL (it reads back as the record's name) and one past the limit.
        RegKey key;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeletionRecordsKey, 0, KEY_SET_VALUE, key.put()), 0);
        std::wstring name = leftover + L'\0' + L"x";
        UNICODE_STRING text = {USHORT(name.size() * 2), USHORT(name.size() * 2), &name[0]};
        const auto setValue = reinterpret_cast<NTSTATUS(WINAPI*)(HANDLE, UNICODE_STRING*, ULONG, ULONG, PVOID, ULONG)>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "NtSetValueKey")));
        ASSERT_EQ(setValue(key.get(), &text, 0, REG_BINARY, &record, sizeof(record)), 0);
        ASSERT_EQ(RegSetValueExW(key.get(), (leftover + std::wstring(300, L'x')).c_str(), 0, REG_BINARY,
                                 reinterpret_cast<const BYTE*>(&record), sizeof(record)), 0);
    } else if (c.leftover == Leftover::kBesideOneThatStays) {
        DeletionRecord stays = record;  // the other leftover, held without delete sharing
        ASSERT_EQ(IdentifyFile(Handle(CreateFileW(other.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr)).get(),
                               &stays), 0u);
        ASSERT_EQ(WriteDeletionRecord(other.c_str(), stays, kNewRecord), 0u);
        held.reset(CreateFileW(other.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    } else if (c.leftover == Leftover::kSameNameSetAsideAgain) {
        const std::wstring again = apps + L"\\Info\\ols_config.xml";  // a new file at the old name, held
        ASSERT_TRUE(WriteTextFile(again, "new"));
        const Handle holder(CreateFileW(again.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_EQ(DeleteBelow(apps.c_str(), again.c_str()), 0u);
    }

    // The base is a mount point, or moved below another volume's letter: the
    // drive's root answers another volume.
    ImportPatch<decltype(GetFileInformationByHandleEx)> root(GetModuleHandleW(nullptr), "GetFileInformationByHandleEx",
                                                             [&](HANDLE file, auto kind, LPVOID data, DWORD size) {
        wchar_t path[MAX_PATH] = {};
        const BOOL answered = root.original()(file, kind, data, size);
        GetFinalPathNameByHandleW(file, path, MAX_PATH, 0);
        if (answered && c.leftover == Leftover::kBaseOnItsOwnVolume && std::wstring(path).back() == L'\\' &&
            kind == static_cast<FILE_INFO_BY_HANDLE_CLASS>(18)) {
            static_cast<DWORD*>(data)[0] ^= 1;  // FileIdInfo's volume
        }
        return answered;
    });
    // Another program is deleting it: an open of its name is refused so.
    ImportPatch<decltype(NtCreateFile)> pending(GetModuleHandleW(nullptr), "NtCreateFile", [&](auto... call) {
        const UNICODE_STRING* name = std::get<2>(std::make_tuple(call...))->ObjectName;
        return c.leftover == Leftover::kDeletePending && std::wstring(name->Buffer, name->Length / 2) == kFixedName
                   ? static_cast<NTSTATUS>(0xC0000056L)
                   : pending.original()(call...);
    });
    // A symbolic link to a file at the name, as Windows lists one (Wine lists it as the file it leads to).
    const ListingAnswer linkAtName(GetModuleHandleW(nullptr), ReparsePointAt(c.leftover == Leftover::kLinkAtName
                                                                                 ? kFixedName : L"\\"));
    LogCapture capture;
    PropertyMapBuilder properties = PropertyMapBuilder().Set("ProductName", "Another product");
    HookContext context = TestContext(properties.map());
    context.entryMode = c.leftover == Leftover::kPreCheck ? PreSystemCheck : PostPayload;
    std::vector<LogLine> expected;
    for (std::string line : c.lines) {
        for (const auto& slot : {std::make_pair("%s", leftover), std::make_pair("%o", other)}) {
            const size_t at = line.find(slot.first);
            line = at == std::string::npos ? line : line.substr(0, at) + ToUtf8(slot.second) + line.substr(at + 2);
        }
        expected.push_back(L4(line));
    }
    // Through the dispatcher, a phase's lines after those asked for are its actions'.
    const bool phase = c.leftover == Leftover::kPreCheck || c.leftover == Leftover::kPostPayload;
    EXPECT_EQ(phase ? DispatchPhase(&context) : (FinishInterruptedDeletions(&context), 0), 0);
    std::vector<LogLine> lines = capture.lines();
    lines.resize(phase ? std::min(lines.size(), expected.size()) : lines.size());
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(PathExists(at), c.fileStays);
    EXPECT_EQ(RegistryKeyExists(HKEY_LOCAL_MACHINE, kDeletionRecordsKey), c.recordStays);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kDeletionRecordsKey);
    SetFileAttributesW(at.c_str(), FILE_ATTRIBUTE_NORMAL);
}

const char kStays[] = "VLX: Leftover %s stays.";
INSTANTIATE_TEST_SUITE_P(
    Kinds, LeftoverTest,
    testing::Values(
        LeftoverCase{"Recorded", Leftover::kRecorded, {"VLX: Deleted leftover %s."}, false, false},
        LeftoverCase{"OtherFileByItsName", Leftover::kOtherFileByItsName, {}, true, false},
        LeftoverCase{"BehindLink", Leftover::kBehindLink, {kStays, kLinkSkippedLine}, true, true},
        LeftoverCase{"GivenUpBehindLink", Leftover::kGivenUpBehindLink,
                     {kStays, kLinkSkippedLine, "VLX: Gave up on leftover %s after 10 tries."}, true,
                     false},
        LeftoverCase{"SecondName", Leftover::kSecondName, {}, true, false},
        LeftoverCase{"ReadOnlyPlain", Leftover::kReadOnlyPlain, {kStays, CouldNotDeleteLine(5)}, true,
                     true},
        LeftoverCase{"FolderAtName", Leftover::kFolderAtName, {}, true, false},
        LeftoverCase{"LinkAtName", Leftover::kLinkAtName, {}, true, false},
        LeftoverCase{"FolderGone", Leftover::kFolderGone, {}, false, false},
        LeftoverCase{"VolumeGone", Leftover::kVolumeGone, {kStays}, false, true},
        LeftoverCase{"BesideOneThatStays", Leftover::kBesideOneThatStays,
                     {"VLX: Deleted leftover %s.", "VLX: Leftover %o stays.", CouldNotDeleteLine(32)},
                     false, true},
        LeftoverCase{"SameNameSetAsideAgain", Leftover::kSameNameSetAsideAgain, {"VLX: Deleted leftover %s."}, false,
                     false},
        LeftoverCase{"InstallPreCheckChangesNothing", Leftover::kPreCheck, {"In InstallPreSystemCheckProc"}, true,
                     true},
        LeftoverCase{"InstallPostPayloadFinishesAfterItsEntryLine", Leftover::kPostPayload,
                     {"VLX: In PostPayloadInstallProc", "VLX: Deleted leftover %s."}, false, false},
        LeftoverCase{"FatClockChangedAnHour", Leftover::kFatClockChanged, {"VLX: Deleted leftover %s."}, false, false},
        LeftoverCase{"FatResized", Leftover::kFatResized, {}, true, false},
        LeftoverCase{"FatClockMovedByNoZone", Leftover::kFatClockOffQuarter, {}, true, false},
        LeftoverCase{"OnAnotherVolume", Leftover::kOtherVolume, {kStays, CouldNotDeleteLine(34)}, true, true},
        LeftoverCase{"FolderGoneOnAnotherVolume", Leftover::kOtherVolumeFolderGone, {kStays, CouldNotDeleteLine(34)},
                     false, true},
        LeftoverCase{"IdOfADeletedFileReused", Leftover::kIdReused, {}, true, false},
        LeftoverCase{"DamagedKeyEndsAndGoes", Leftover::kDamagedKey, {}, true, false},
        LeftoverCase{"GivenUpEarlier", Leftover::kGivenUpEarlier, {}, true, false},
        LeftoverCase{"BeingDeletedIsGone", Leftover::kDeletePending, {}, true, false},
        LeftoverCase{"FolderGoneBelowABaseOnItsOwnVolume", Leftover::kBaseOnItsOwnVolume, {}, false, false}),
    [](const testing::TestParamInfo<LeftoverCase>& info) { return std::string(info.param.name); });

}  // namespace
