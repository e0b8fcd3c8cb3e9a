// The uninstall's cleanup on a populated install folder: OEM files and their
// folders (PrePayload), the catalog database (PrePayload), and the codec
// files in the companion organizer's folder (PostPayload).
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <set>
#include <string>
#include <tuple>

#include "base/folder_tree.h"
#include "base/nt_file.h"
#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/links.h"
#include "tests/support/payload.h"
#include "tests/support/processes.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"
#include "tests/support/snapshot.h"

namespace {

// Files of the payload that are not the hook's to delete.
const wchar_t* const kOtherFiles[] = {
    L"\\" VLX_PRODUCT_NAME L".exe", L"\\32\\mc_dec_amr_ds.ax", L"\\MediaIO\\plugins\\plugin.dll",
    L"\\Settings\\User\\prefs.xml",  L"\\Settings\\Info\\.keep",
};

// What is below folder, by relative path.
std::set<std::wstring> FilesBelow(const std::wstring& folder) {
    std::set<std::wstring> found;
    for (const auto& entry : SnapshotFiles(folder, FolderAccess::kIgnored)) {
        if (!entry.first.empty()) {
            found.insert(entry.first);
        }
    }
    return found;
}

class UninstallPrePayloadTest : public testing::Test {
protected:
    void SetUp() override {
        installDir = sandbox / L"Apps";
        app = installDir + L"\\" + FromUtf8(VLX_PRODUCT_NAME);
        properties = ProductProperties(ToUtf8(installDir));
        for (const wchar_t* file : kOemFiles) {
            ASSERT_TRUE(WriteTextFile(app + file, "oem"));
        }
        for (const wchar_t* file : kOtherFiles) {
            ASSERT_TRUE(WriteTextFile(app + file, "payload"));
        }
        ASSERT_TRUE(MakeFolders(app + L"\\MediaIO\\codecs\\empty"));
        SetFileAttributesW((app + L"\\ols_config.xml").c_str(), FILE_ATTRIBUTE_READONLY);
    }

    SandboxFolder sandbox;
    HookDll hook;
    // The filters are unregistered first; no registration tool runs here.
    CreateProcessRecorder noTools{hook.module(), Children::kRefuse};
    std::wstring installDir;
    std::wstring app;
    PropertyMapBuilder properties;
};

TEST_F(UninstallPrePayloadTest, DeletesExactlyTheListedFilesAndPrunesTheirTrees) {
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), PrePayload, Uninstall), 0);
    // The phase: entry line, filters, OEM files; the catalog database logs nothing.
    EXPECT_EQ(capture.lines(), L4s({"VLX: In PrePayloadUninstallProc"}) +
                                   UnregisterFiltersLines(ToUtf8(installDir)) +
                                   OemFilesLines(ToUtf8(installDir)));
    EXPECT_EQ(FilesBelow(app),
              (std::set<std::wstring>{L"32", L"32\\mc_dec_amr_ds.ax", VLX_PRODUCT_NAME L".exe", L"MediaIO",
                                      L"MediaIO\\plugins", L"MediaIO\\plugins\\plugin.dll", L"Settings",
                                      L"Settings\\Info", L"Settings\\Info\\.keep", L"Settings\\User",
                                      L"Settings\\User\\prefs.xml"}));
}

// A codec module still loaded (by the host, a player, the indexer) cannot be
// deleted: it stays as it was, attributes and all, and the log says so.
TEST_F(UninstallPrePayloadTest, ModuleInUseStaysAsItWasAndIsLogged) {
    const std::wstring module = app + L"\\mc_dec_dd.dll";
    const DWORD attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(CopyFileW(BesideTests(L"test_filter.dll").c_str(), module.c_str(), FALSE));
    const HMODULE loaded = LoadLibraryExW(module.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(loaded, nullptr);
    ASSERT_TRUE(SetFileAttributesW(module.c_str(), attributes));
    LogCapture capture;
    hook.Proc(properties.map(), PrePayload, Uninstall);
    FreeLibrary(loaded);
    EXPECT_EQ(ActionLines(capture.lines(), kOemFilesFrame),
              OemFilesLines(ToUtf8(installDir), L"\\mc_dec_dd.dll", ERROR_ACCESS_DENIED));
    const DWORD kept = GetFileAttributesW(module.c_str());
    EXPECT_NE(kept, INVALID_FILE_ATTRIBUTES) << "under its own name";
    EXPECT_EQ(kept & attributes, attributes);
    EXPECT_FALSE(PathExists(app + L"\\MFDolbyEncoder.dll")) << "the others still go";
    SetFileAttributesW(module.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A program holds an opportunistic lock on a module and never lets it go (a
// stuck sync client; Wine has no such locks, so the hook's imports answer as
// Windows does), and a pruned tree is deeper than a walk may go: the phase
// ends all the same, the module's line says it was held, and the tree is
// kept with one line.
TEST_F(UninstallPrePayloadTest, LockNeverLetGoAndTreeWithoutEndStillEndThePhase) {
    ASSERT_TRUE(MakeFolders(app + L"\\MediaIO\\d"));
    const EndlessDepth depth(hook.module(), app + L"\\MediaIO", kWalkMaxLevels);
    const std::wstring locked = L"MFDolbyEncoder.dll";
    bool waitsForEver = false;
    std::set<HANDLE> module;  // its handles, through which it is opened again by an empty name
    // An open of the module for more than its attributes breaks the lock: it
    // completes at once when asked to, and would wait for ever otherwise.
    ImportPatch<decltype(NtCreateFile)> open(hook.module(), "NtCreateFile", [&](HANDLE* file, ACCESS_MASK access,
                                                                                VlxObjectAttributes* object,
                                                                                auto... rest) {
        const VlxNtStatus status = open.original()(file, access, object, rest...);
        const std::wstring name(object->ObjectName->Buffer, object->ObjectName->Length / 2);
        const bool isModule = name == locked || (name.empty() && module.count(object->RootDirectory) != 0);
        if (status == 0 && isModule) {
            module.insert(*file);
        }
        const bool breaks = isModule && (access & ~(FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE)) != 0;
        waitsForEver = waitsForEver || (breaks && (std::get<5>(std::make_tuple(rest...)) & 0x100) == 0);
        return status == 0 && breaks ? kVlxStatusOplockBreakInProgress : status;
    });
    ImportPatch<decltype(CloseHandle)> close(hook.module(), "CloseHandle", [&](HANDLE handle) {
        module.erase(handle);
        return close.original()(handle);
    });
    // The break never completes; its wait, cancelled, completes at once.
    unsigned cancelled = 0;
    ImportPatch<decltype(DeviceIoControl)> notify(hook.module(), "DeviceIoControl", [&](auto...) {
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    });
    ImportPatch<decltype(CancelIoEx)> cancel(hook.module(), "CancelIoEx", [&](HANDLE, LPOVERLAPPED overlapped) {
        ++cancelled;
        overlapped->Internal = 0xC0000120;  // STATUS_CANCELLED
        return SetEvent(overlapped->hEvent);
    });
    LogCapture capture;
    hook.Proc(properties.map(), PrePayload, Uninstall);
    EXPECT_FALSE(waitsForEver);
    EXPECT_EQ(cancelled, 1u) << "one wait, given up";
    Lines expected = OemFilesLines(ToUtf8(installDir), L"\\MFDolbyEncoder.dll", ERROR_SHARING_VIOLATION);
    expected.insert(expected.end() - 1, L4(kWalkBoundLine));  // after "\\MediaIO"
    EXPECT_EQ(ActionLines(capture.lines(), kOemFilesFrame), expected);
    EXPECT_TRUE(PathExists(app + L"\\MFDolbyEncoder.dll") && PathExists(app + L"\\MediaIO\\d"));
}

TEST_F(UninstallPrePayloadTest, EmptiedTreesGoCompletelyButThe32FolderStays) {
    for (const wchar_t* file : kOtherFiles) {
        RemoveTree(app + file);
    }
    RemoveTree(app + L"\\MediaIO\\plugins");
    RemoveTree(app + L"\\Settings\\User");
    hook.Proc(properties.map(), PrePayload, Uninstall, nullptr);
    EXPECT_EQ(FilesBelow(app), std::set<std::wstring>{L"32"});
}

TEST_F(UninstallPrePayloadTest, ListedNameThatIsAFolderIsPrunedOnlyWhenEmpty) {
    for (const wchar_t* name : {L"TeamNames", L"CustomCredits"}) {
        RemoveTree(app + L"\\Settings\\Info\\" + name);
        ASSERT_TRUE(MakeFolders(app + L"\\Settings\\Info\\" + name));
    }
    ASSERT_TRUE(WriteTextFile(app + L"\\Settings\\Info\\CustomCredits\\user.txt", "mine"));
    hook.Proc(properties.map(), PrePayload, Uninstall, nullptr);
    EXPECT_FALSE(PathExists(app + L"\\Settings\\Info\\TeamNames"));
    EXPECT_TRUE(PathExists(app + L"\\Settings\\Info\\CustomCredits\\user.txt"));
}

TEST_F(UninstallPrePayloadTest, NoInstallFolderTouchesNothing) {
    PropertyMapBuilder noInstallDir = ProductWithoutInstallDir();
    LogCapture capture;
    hook.Proc(noInstallDir.map(), PrePayload, Uninstall);
    EXPECT_EQ(ActionLines(capture.lines(), kOemFilesFrame),
              L4s({kOemFilesFrame.first}) + NoInstallDirLines() + L4s({kOemFilesFrame.last}));
}

// The catalog database below the common application data folder.
class CatalogDatabaseTest : public testing::Test {
protected:
    void SetUp() override {
        folder = CatalogDatabase().substr(0, CatalogDatabase().find_last_of(L'\\'));
        ASSERT_TRUE(WriteTextFile(CatalogDatabase(), "catalog"));
        ASSERT_TRUE(WriteTextFile(folder + L"\\Other.db", "keep"));
        SetFileAttributesW(CatalogDatabase().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    }
    void TearDown() override { RemoveTree(VendorDataFolder()); }

    std::wstring folder;
    HookDll hook;
};

TEST_F(CatalogDatabaseTest, ReinstallPrePayloadDeletesReadOnlyDatabaseSilently) {
    CreateProcessRecorder noTools(hook.module(), Children::kRefuse);
    // No install folder: only the database is at work.
    PropertyMapBuilder properties = ProductWithoutInstallDir();
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), PrePayload, Reinstall), 0);
    EXPECT_FALSE(PathExists(CatalogDatabase()));
    EXPECT_TRUE(PathExists(folder + L"\\Other.db"));
    // The database removal logs nothing.
    EXPECT_EQ(capture.lines(), L4s({"In PrePayloadReinstallProc", kUnregisterFiltersFrame.first}) +
                                   NoInstallDirLines() + L4s({kUnregisterFiltersFrame.last}));
    hook.Proc(properties.map(), PrePayload, Reinstall, nullptr);  // absent now: no error either
}

TEST_F(CatalogDatabaseTest, NoCommonFolderDeletesNothing) {
    ImportPatch<decltype(SHGetFolderPathW)> patch(hook.module(), "SHGetFolderPathW",
                                                  [](auto, auto csidl, auto, auto, auto path) {
        path[0] = L'\0';
        return csidl == CSIDL_COMMON_APPDATA ? E_FAIL : S_OK;
    });
    CreateProcessRecorder noTools(hook.module(), Children::kRefuse);
    PropertyMapBuilder properties = ProductProperties();
    hook.Proc(properties.map(), PrePayload, Reinstall, nullptr);
    EXPECT_TRUE(PathExists(CatalogDatabase()));
}

// The organizer's CAHeadless folder, found through its registry entry in the
// 64-bit view.
class OrganizerTest : public testing::Test {
protected:
    void SetUp() override {
        organizer = sandbox / L"Organizer";
        for (const wchar_t* file : {L"\\mc_dec_dd.dll", L"\\keep.dll"}) {
            ASSERT_TRUE(WriteTextFile(organizer + L"\\CAHeadless" + file, "codec"));
        }
    }
    Lines Run() { return ActionLines(hook.Logged(properties.map(), PostPayload, Uninstall), kOrganizerCleanupFrame); }
    Lines FolderLines(const std::wstring& folder) const {
        return L4s({kOrganizerCleanupFrame.first, "VLX: GET CX install dir successful. ",
                    "VLX: CX Install dir is : ", ToUtf8(folder)});
    }

    ShortcutState shortcuts;
    SandboxFolder sandbox;
    ScopedRegistryKey key{HKEY_LOCAL_MACHINE, kOrganizerKey, KEY_WOW64_64KEY};
    std::wstring organizer;
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
};

TEST_F(OrganizerTest, DeletesPresentCodecFilesAndLogsEachEntry) {
    ASSERT_TRUE(key.SetString(L"", organizer + L"\\"));
    const std::wstring deleted = organizer + L"\\CAHeadless\\mc_dec_dd.dll";
    Lines expected = FolderLines(organizer);
    for (const wchar_t* entry : kCaHeadlessFiles) {
        expected = expected + L4s({ToUtf8(entry)});
        if (organizer + L"\\CAHeadless" + entry == deleted) {
            expected = expected + L4s({"VLX: Delete File: ", ToUtf8(deleted)});
        }
    }
    EXPECT_EQ(Run(), expected + L4s({kOrganizerCleanupFrame.last}));
    EXPECT_FALSE(PathExists(deleted));
    EXPECT_TRUE(PathExists(organizer + L"\\CAHeadless\\keep.dll"));
}

TEST_F(OrganizerTest, ReadOnlyFileStaysAndNoCallbackStillDeletes) {
    ASSERT_TRUE(key.SetString(L"", organizer));
    ASSERT_TRUE(WriteTextFile(organizer + L"\\CAHeadless\\mc_dec_amr.dll", "codec"));
    SetFileAttributesW((organizer + L"\\CAHeadless\\mc_dec_amr.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    hook.Proc(properties.map(), PostPayload, Uninstall, nullptr);
    EXPECT_TRUE(PathExists(organizer + L"\\CAHeadless\\mc_dec_amr.dll"));
    EXPECT_FALSE(PathExists(organizer + L"\\CAHeadless\\mc_dec_dd.dll"));
}

// Without the organizer's folder nothing is deleted, and never at a root or
// in the current folder.
TEST_F(OrganizerTest, MissingOverlongOrNotFullEntryDeletesNothing) {
    EXPECT_EQ(Run(), NoOrganizerLines());
    const std::wstring overlong = organizer + L"\\" + std::wstring(260, L'o');
    ASSERT_TRUE(key.SetString(L"", overlong));
    EXPECT_EQ(Run(), L4s({kOrganizerCleanupFrame.first, "VLX: GET CX install dir successful. ",
                          "VLX: CX Install dir is : ", ToUtf8(overlong).substr(0, 259), kPathTooLongLine,
                          kOrganizerMissingLine, kOrganizerCleanupFrame.last}));
    // Relative, a device path, a character Windows refuses in a name.
    for (const std::wstring& notFull : {std::wstring(L"Organizer"), L"\\\\?\\" + organizer, organizer + L"|x"}) {
        SCOPED_TRACE(ToUtf8(notFull));
        ASSERT_TRUE(key.SetString(L"", notFull));
        EXPECT_EQ(Run(), FolderLines(notFull) + L4s({kOrganizerMissingLine, kOrganizerCleanupFrame.last}));
    }
    EXPECT_TRUE(PathExists(organizer + L"\\CAHeadless\\mc_dec_dd.dll"));
}

}  // namespace
