// The old deletion's way to free the name of a file another program holds
// (Wine's answers, Windows 7 and 8, FAT, ReFS): the temporary name it takes,
// and everything that must not happen when that goes wrong.
#include <gtest/gtest.h>

#include <windows.h>
#include <winternl.h>

#include <memory>
#include <string>

#include "actions/interrupted_deletions.h"
#include "base/delete_below.h"
#include "base/guards.h"
#include "tests/support/environment.h"
#include "tests/support/iat_patch.h"
#include "tests/support/links.h"
#include "tests/support/log_capture.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

const wchar_t kFixedName[] = L"~VLX12345678.tmp";

enum class Fault { kNone, kNameTakenBack, kNoRandom, kFixedRandom, kFolderElsewhere };
Fault g_fault = Fault::kNone;
std::wstring g_file;  // the file's path, for the name taken back
unsigned g_renames = 0;
decltype(&SetFileInformationByHandle) g_realSet = nullptr;
decltype(&GetFinalPathNameByHandleW) g_realFinal = nullptr;
decltype(&NtSetInformationFile) g_realRename = nullptr;

// The mark is refused (a module in use), and meanwhile a user takes the name.
BOOL WINAPI RefuseMark(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID data, DWORD size) {
    if (g_fault == Fault::kNameTakenBack && kind == FileDispositionInfo) {
        HANDLE squatter = CreateFileW(g_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        CloseHandle(squatter);
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return g_realSet(file, kind, data, size);
}

BOOLEAN WINAPI Random(PVOID buffer, ULONG length) {
    if (g_fault == Fault::kNoRandom) {
        return FALSE;
    }
    if (g_fault == Fault::kFixedRandom && length == sizeof(DWORD)) {
        *static_cast<DWORD*>(buffer) = 0x12345678;
        return TRUE;
    }
    memset(buffer, 0x5A, length);
    return TRUE;
}

// A folder's final path that is not where the file lies.
DWORD WINAPI FinalPathElsewhere(HANDLE item, LPWSTR path, DWORD size, DWORD flags) {
    const DWORD length = g_realFinal(item, path, size, flags);
    BY_HANDLE_FILE_INFORMATION about;
    if (g_fault == Fault::kFolderElsewhere && length > 0 && length + 1 < size &&
        GetFileInformationByHandle(item, &about) && (about.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        wcscat(path, L"X");
        return length + 1;
    }
    return length;
}

NTSTATUS NTAPI CountRenames(HANDLE file, PIO_STATUS_BLOCK status, PVOID data, ULONG length,
                            FILE_INFORMATION_CLASS kind) {
    ++g_renames;
    return g_realRename(file, status, data, length, kind);
}

struct FallbackCase {
    const char* name;
    Fault fault;
    bool force;
    bool readOnly;
    DWORD result;
    bool renamed;  // a temporary name was taken at all
    bool leftAside;
};

class DeletionFallbackTest : public testing::TestWithParam<FallbackCase> {};

// The file is held open, with its deletion shared, by another program.
TEST_P(DeletionFallbackTest, HeldFileKeepsItsNameOrIsSaidToBeElsewhere) {
    const FallbackCase& c = GetParam();
    SandboxFolder sandbox;
    g_file = sandbox / L"Apps\\ols_config.xml";
    const std::wstring taken = sandbox / (std::wstring(L"Apps\\") + kFixedName);
    ASSERT_TRUE(WriteTextFile(g_file, "oem") && WriteTextFile(taken, "someone else's"));
    ASSERT_TRUE(SetFileAttributesW(g_file.c_str(), c.readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
    const HMODULE library = GetModuleHandleW(nullptr);
    ImportPatch<decltype(SetFileInformationByHandle)> mark(library, "kernel32.dll", "SetFileInformationByHandle", &RefuseMark);
    ImportPatch<BOOLEAN WINAPI(PVOID, ULONG)> random(library, "advapi32.dll", "SystemFunction036", &Random);
    ImportPatch<decltype(GetFinalPathNameByHandleW)> final(library, "kernel32.dll", "GetFinalPathNameByHandleW",
                                                           &FinalPathElsewhere);
    ImportPatch<decltype(NtSetInformationFile)> rename(library, "ntdll.dll", "NtSetInformationFile", &CountRenames);
    g_realSet = mark.original();
    g_realFinal = final.original();
    g_realRename = rename.original();
    g_fault = c.fault;
    g_renames = 0;
    {
        const HANDLE held = CreateFileW(g_file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        LeftAside leftAside;
        const std::wstring apps = sandbox / L"Apps";
        EXPECT_EQ(c.force ? ForceDeleteBelow(apps.c_str(), g_file.c_str(), &leftAside)
                          : DeleteBelow(apps.c_str(), g_file.c_str(), &leftAside),
                  c.result);
        EXPECT_EQ(g_renames > 0, c.renamed);
        EXPECT_EQ(leftAside.name[0] != L'\0', c.leftAside);
        if (c.leftAside) {
            EXPECT_EQ(leftAside.error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
            EXPECT_TRUE(PathExists(sandbox / (L"Apps\\" + std::wstring(leftAside.name)))) << "where the line says";
        }
        CloseHandle(held);
    }
    g_fault = Fault::kNone;
    EXPECT_EQ(PathExists(g_file), c.result != ERROR_SUCCESS) << "nothing marked when it failed";
    WIN32_FILE_ATTRIBUTE_DATA other;
    EXPECT_TRUE(GetFileAttributesExW(taken.c_str(), GetFileExInfoStandard, &other) && other.nFileSizeLow == 14)
        << "someone else's file is never overwritten";
    if (c.readOnly && c.result != ERROR_SUCCESS) {
        EXPECT_NE(GetFileAttributesW(g_file.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << "as it was";
    }
    EXPECT_EQ(RegistryKeyExists(HKEY_LOCAL_MACHINE, kAsideRecordsKey), c.leftAside)
        << "a record only of a file left under its temporary name";
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kAsideRecordsKey);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DeletionFallbackTest,
    testing::Values(FallbackCase{"MovedAsideAndDeleted", Fault::kNone, true, true, ERROR_SUCCESS, true, false},
                    FallbackCase{"NameTakenBeforeItComesBack", Fault::kNameTakenBack, true, false, ERROR_ACCESS_DENIED,
                                 true, true},
                    FallbackCase{"NoRandomName", Fault::kNoRandom, true, false, ERROR_GEN_FAILURE, false, false},
                    FallbackCase{"EveryRandomNameTaken", Fault::kFixedRandom, true, false, ERROR_ALREADY_EXISTS, true,
                                 false},
                    FallbackCase{"FolderNotItsOwn", Fault::kFolderElsewhere, true, false, 4395, false, false},
                    FallbackCase{"ReadOnlyPlainDeletion", Fault::kNone, false, true, ERROR_ACCESS_DENIED, false, false}),
    [](const testing::TestParamInfo<FallbackCase>& info) { return std::string(info.param.name); });

// What a run killed between the rename and the mark leaves: the file under
// its temporary name and the record. The next run deletes that very file,
// and nothing that merely has its name or is reached another way.
enum class Leftover { kRecorded, kOtherFileByItsName, kBehindLink, kSecondName, kReadOnlyPlain };

struct LeftoverCase {
    const char* name;
    Leftover leftover;
    std::vector<std::string> lines;  // "%s" stands for the leftover's path
    bool recordStays;                // and so does the file
};

class LeftoverTest : public testing::TestWithParam<LeftoverCase> {};

TEST_P(LeftoverTest, NextRunDeletesTheRecordedFileAlone) {
    const LeftoverCase& c = GetParam();
    SandboxFolder sandbox;
    const std::wstring apps = sandbox / L"Apps";
    const std::wstring leftover = apps + L"\\Info\\" + kFixedName;
    ASSERT_TRUE(WriteTextFile(leftover, "oem"));
    AsideRecord record = {0, 0, 0, c.leftover == Leftover::kReadOnlyPlain ? 0u : 1u, {}, {}};
    ASSERT_EQ(IdentifyFile(Handle(CreateFileW(leftover.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr)).get(),
                           &record), 0u);
    wcscpy(record.name, kFixedName);
    wcscpy(record.base, apps.c_str());
    std::wstring at = leftover;  // where the file is left
    std::unique_ptr<ScopedLink> link;
    if (c.leftover == Leftover::kOtherFileByItsName) {
        // Made before the recorded file goes, so that it cannot have its index.
        ASSERT_TRUE(WriteTextFile(sandbox / L"other", "someone else's"));
        ASSERT_TRUE(DeleteFileW(leftover.c_str()) && MoveFileW((sandbox / L"other").c_str(), leftover.c_str()));
    } else if (c.leftover == Leftover::kBehindLink) {
        at = sandbox / (std::wstring(L"Elsewhere\\") + kFixedName);
        ASSERT_TRUE(MoveFileW((apps + L"\\Info").c_str(), (sandbox / L"Elsewhere").c_str()));
        link.reset(new ScopedLink(apps + L"\\Info", sandbox / L"Elsewhere"));
    } else if (c.leftover == Leftover::kSecondName) {
        link.reset(new ScopedLink(sandbox / L"second.tmp", leftover, LinkKind::kHard));
    } else if (c.leftover == Leftover::kReadOnlyPlain) {
        ASSERT_TRUE(SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    ASSERT_TRUE(link == nullptr || link->made());
    ASSERT_EQ(WriteAsideRecord((apps + L"\\Info\\ols_config.xml").c_str(), record), 0u);

    LogCapture capture;
    const HookContext context = TestContext();
    FinishInterruptedDeletions(&context);
    std::vector<LogLine> expected;
    for (const std::string& line : c.lines) {
        const size_t slot = line.find("%s");
        expected.push_back(
            L4(slot == std::string::npos ? line : line.substr(0, slot) + ToUtf8(leftover) + line.substr(slot + 2)));
    }
    EXPECT_EQ(capture.lines(), expected);
    EXPECT_EQ(PathExists(at), c.recordStays || c.leftover == Leftover::kOtherFileByItsName);
    EXPECT_EQ(RegistryKeyExists(HKEY_LOCAL_MACHINE, kAsideRecordsKey), c.recordStays);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kAsideRecordsKey);
    SetFileAttributesW(at.c_str(), FILE_ATTRIBUTE_NORMAL);
}

const char kStays[] = "VLX: Leftover %s stays.";
INSTANTIATE_TEST_SUITE_P(
    Kinds, LeftoverTest,
    testing::Values(LeftoverCase{"Recorded", Leftover::kRecorded, {"VLX: Deleted leftover %s."}, false},
                    LeftoverCase{"OtherFileByItsName", Leftover::kOtherFileByItsName, {}, false},
                    LeftoverCase{"BehindLink", Leftover::kBehindLink, {kStays, "VLX: Link in path. Skipped."}, true},
                    LeftoverCase{"SecondName", Leftover::kSecondName, {kStays, "VLX: Link in path. Skipped."}, true},
                    LeftoverCase{"ReadOnlyPlain", Leftover::kReadOnlyPlain, {kStays, "VLX: Could not delete. Error 5."},
                                 true}),
    [](const testing::TestParamInfo<LeftoverCase>& info) { return std::string(info.param.name); });

}  // namespace
