// The old deletion's way to free the name of a file another program holds
// (Wine's answers, Windows 7 and 8, FAT, ReFS): the temporary name it takes,
// and everything that must not happen when that goes wrong.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

#include <functional>
#include <string>
#include <tuple>

#include "actions/interrupted_deletions.h"
#include "base/deletion_record.h"
#include "base/delete_below.h"
#include "base/guards.h"
#include "tests/support/iat_patch.h"
#include "tests/support/links.h"
#include "tests/support/log_capture.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

const wchar_t kFixedName[] = L"~VLX12345678.tmp";

enum class Fault {
    kNone, kNameTakenBack, kNoRandom, kFixedRandom, kZeroId, kRenameReportedFailed, kRecordedName, kShare
};

// kRecordedName: the name another leftover's record holds, once.
BOOLEAN Random(PVOID buffer, ULONG length, Fault& fault) {
    if (fault == Fault::kNoRandom) {
        return FALSE;
    }
    if ((fault == Fault::kFixedRandom || fault == Fault::kRecordedName) && length == sizeof(DWORD)) {
        fault = fault == Fault::kRecordedName ? Fault::kNone : fault;
        *static_cast<DWORD*>(buffer) = 0x12345678;
        return TRUE;
    }
    memset(buffer, 0x5A, length);
    return TRUE;
}

struct FallbackCase {
    const char* name;
    Fault fault;
    bool force;
    bool readOnly;
    DWORD result;
    bool renamed;  // a temporary name was taken at all
    bool leftAside;
    bool fat = false;
    bool deep = false;  // its temporary path would pass the path limit
};

class DeletionFallbackTest : public testing::TestWithParam<FallbackCase> {};

// The file is held open, with its deletion shared, by another program.
TEST_P(DeletionFallbackTest, HeldFileKeepsItsNameOrIsSaidToBeElsewhere) {
    const FallbackCase& c = GetParam();
    SandboxFolder sandbox;
    const std::wstring apps = sandbox / L"Apps";
    const std::wstring folder = c.deep ? apps + L"\\" + std::wstring(242 - apps.size(), L'd') : apps;
    const std::wstring oem = folder + L"\\ols_config.xml";
    const std::wstring taken = sandbox / (std::wstring(L"Apps\\") + kFixedName);
    ASSERT_TRUE(WriteTextFile(oem, "oem") && WriteTextFile(taken, "someone else's"));
    ASSERT_TRUE(SetFileAttributesW(oem.c_str(), c.readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
    const HMODULE library = GetModuleHandleW(nullptr);
    DeletionRecord another = {};  // another leftover's, at the first random name
    wcscpy(another.base, apps.c_str());
    if (c.fault == Fault::kRecordedName) {
        ASSERT_EQ(IdentifyFile(Handle(CreateFileW(taken.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr)).get(),
                               &another), 0u);
        ASSERT_EQ(WriteDeletionRecord(taken.c_str(), another, kNewRecord), 0u);
    }
    Fault fault = c.fault;
    // The records key's owner and list as RegCreateKeyExW returns (Windows makes it so; Wine ignores it).
    std::wstring born;
    ImportPatch<decltype(RegCreateKeyExW)> create(library, "RegCreateKeyExW", [&](auto... call) {
        const LPSECURITY_ATTRIBUTES given = std::get<6>(std::make_tuple(call...));
        LPWSTR text = nullptr;
        const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
        born = given != nullptr && ConvertSecurityDescriptorToStringSecurityDescriptorW(
                                       given->lpSecurityDescriptor, SDDL_REVISION_1, parts, &text, nullptr) ? text : L"";
        LocalFree(text);
        return create.original()(call...);
    });
    unsigned renames = 0;
    // The mark is refused (a module in use), and meanwhile a user takes the name.
    ImportPatch<decltype(SetFileInformationByHandle)> mark(library, "SetFileInformationByHandle",
                                                           [&](auto file, auto kind, auto data, auto size) {
        if (fault == Fault::kNameTakenBack && kind == FileDispositionInfo) {
            CloseHandle(CreateFileW(oem.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return mark.original()(file, kind, data, size);
    });
    ImportPatch<BOOLEAN WINAPI(PVOID, ULONG)> random(library, "SystemFunction036", [&](auto buffer, auto length) {
        return Random(buffer, length, fault);
    });
    ImportPatch<decltype(NtSetInformationFile)> rename(library, "NtSetInformationFile", [&](auto... call) {
        ++renames;
        const NTSTATUS status = rename.original()(call...);  // kRenameReportedFailed: a share that drops
        return fault == Fault::kRenameReportedFailed ? static_cast<NTSTATUS>(0xC00000C4L) : status;
    });
    // kShare: a volume that a server holds.
    ImportPatch<decltype(NtQueryVolumeInformationFile)> device(library, "NtQueryVolumeInformationFile",
                                                               [&](auto file, auto io, auto data, auto size, auto kind) {
        const NTSTATUS status = device.original()(file, io, data, size, kind);
        if (status == 0 && fault == Fault::kShare && kind == 4 /* FileFsDeviceInformation */) {
            static_cast<ULONG*>(data)[1] |= 0x10;  // its characteristics: FILE_REMOTE_DEVICE
        }
        return status;
    });
    // A FAT volume: no access lists, and an id (its entry's place) that follows the name.
    const FatVolume volume(library, c.fat);
    ImportPatch<decltype(GetFileInformationByHandleEx)> about(library, "GetFileInformationByHandleEx",
                                                              [&](auto file, auto kind, auto data, auto size) {
        wchar_t path[1024] = {};
        const BOOL answered = about.original()(file, kind, data, size);
        if (answered && c.fat && kind == static_cast<FILE_INFO_BY_HANDLE_CLASS>(18) &&
            GetFinalPathNameByHandleW(file, path, 1024, 0)) {
            static_cast<DWORD*>(data)[2] = static_cast<DWORD>(std::hash<std::wstring>()(path));  // FileIdInfo's id
        }
        if (answered && fault == Fault::kZeroId && kind == static_cast<FILE_INFO_BY_HANDLE_CLASS>(18)) {
            memset(static_cast<BYTE*>(data) + 8, 0, 16);  // as some network redirectors answer
        }
        return answered;
    });
    LeftAside leftAside;
    {
        const HANDLE held = CreateFileW(oem.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(c.force ? ForceDeleteBelow(apps.c_str(), oem.c_str(), &leftAside)
                          : DeleteBelow(apps.c_str(), oem.c_str(), &leftAside),
                  c.result);
        EXPECT_EQ(renames > 0, c.renamed);
        EXPECT_EQ(leftAside.name[0] != L'\0', c.leftAside);
        if (c.leftAside) {
            EXPECT_EQ(leftAside.error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
            EXPECT_TRUE(PathExists(sandbox / (L"Apps\\" + std::wstring(leftAside.name)))) << "where the line says";
        }
        CloseHandle(held);
    }
    fault = Fault::kNone;
    EXPECT_EQ(PathExists(oem), c.result != ERROR_SUCCESS) << "nothing marked when it failed";
    WIN32_FILE_ATTRIBUTE_DATA other;
    EXPECT_TRUE(GetFileAttributesExW(taken.c_str(), GetFileExInfoStandard, &other) && other.nFileSizeLow == 14)
        << "someone else's file is never overwritten";
    if (c.readOnly && c.result != ERROR_SUCCESS) {
        EXPECT_NE(GetFileAttributesW(oem.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << "as it was";
    }
    EXPECT_EQ(RegistryKeyExists(HKEY_LOCAL_MACHINE, kDeletionRecordsKey), c.leftAside || c.fault == Fault::kRecordedName)
        << "a record only of a file left under its temporary name";
    if (c.renamed) {
        EXPECT_EQ(born, L"O:BAD:P(A;;KA;;;SY)(A;;KA;;;BA)") << "born readable by SYSTEM and Administrators alone";
    }
    DeletionRecord kept = {};
    DWORD size = sizeof(kept);
    another.layout = kDeletionRecordLayout;
    EXPECT_TRUE(c.fault != Fault::kRecordedName || (RegGetValueW(HKEY_LOCAL_MACHINE, kDeletionRecordsKey, taken.c_str(),
                                                                RRF_RT_REG_BINARY, nullptr, &kept, &size) == 0 &&
                                                   memcmp(&kept, &another, size) == 0))
        << "the other leftover's record as it was";
    if (c.leftAside) {
        PSECURITY_DESCRIPTOR security = nullptr;
        LPWSTR text = nullptr;
        ASSERT_EQ(GetNamedSecurityInfoW((L"MACHINE\\" + std::wstring(kDeletionRecordsKey)).c_str(), SE_REGISTRY_KEY,
                                        DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr, &security), 0u);
        ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(security, SDDL_REVISION_1,
                                                                         DACL_SECURITY_INFORMATION, &text, nullptr));
        EXPECT_STREQ(wcschr(text, L'('), L"(A;;KA;;;SY)(A;;KA;;;BA)") << "SYSTEM and Administrators alone";
        LocalFree(text);
        LocalFree(security);
        // The next run, on the same volume, finishes it.
        LogCapture capture;
        const HookContext context = TestContext();
        FinishInterruptedDeletions(&context);
        EXPECT_FALSE(PathExists(apps + L"\\" + leftAside.name));
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kDeletionRecordsKey));
    }
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kDeletionRecordsKey);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DeletionFallbackTest,
    testing::Values(FallbackCase{"MovedAsideAndDeleted", Fault::kNone, true, true, ERROR_SUCCESS, true, false},
                    FallbackCase{"NameTakenBeforeItComesBack", Fault::kNameTakenBack, true, false, ERROR_ACCESS_DENIED,
                                 true, true},
                    FallbackCase{"NoRandomName", Fault::kNoRandom, true, false, ERROR_GEN_FAILURE, false, false},
                    FallbackCase{"EveryRandomNameTaken", Fault::kFixedRandom, true, false, ERROR_ALREADY_EXISTS, true,
                                 false},
                    FallbackCase{"ReadOnlyPlainDeletion", Fault::kNone, false, true, ERROR_ACCESS_DENIED, false, false},
                    FallbackCase{"OnFatNameTakenBack", Fault::kNameTakenBack, true, false, ERROR_ACCESS_DENIED, true,
                                 true, true},
                    FallbackCase{"TemporaryPathPastTheLimit", Fault::kNone, true, false, ERROR_SUCCESS, false, false,
                                 false, true},
                    FallbackCase{"NoIdentityMarkedUnderItsName", Fault::kZeroId, true, false, ERROR_SUCCESS, false,
                                 false},
                    FallbackCase{"OnAShareMarkedUnderItsName", Fault::kShare, true, false, ERROR_SUCCESS, false, false},
                    FallbackCase{"RenameDoneButReportedFailed", Fault::kRenameReportedFailed, true, false,
                                 ERROR_SUCCESS, true, false},
                    FallbackCase{"RandomNameOfAnotherRecord", Fault::kRecordedName, true, false, ERROR_SUCCESS, true,
                                 false}),
    [](const testing::TestParamInfo<FallbackCase>& info) { return std::string(info.param.name); });

}  // namespace
