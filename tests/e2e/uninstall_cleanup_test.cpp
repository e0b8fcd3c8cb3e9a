// The uninstall's cleanup on a populated install folder: OEM files and their
// folders (PrePayload), the catalog database (PrePayload), and the codec
// files in the companion organizer's folder (PostPayload).
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/environment.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/process_recorder.h"
#include "tests/support/property_map.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

const wchar_t* const kOemFiles[] = {
    L"Settings\\Info\\CustomCredits",  L"Settings\\Info\\TeamNames",
    L"Settings\\Info\\PatentLegalNotice", L"Settings\\Info\\About.xst",
    L"Settings\\Info\\PatentTextMac.xst", L"Settings\\Info\\PatentTextWin.xst",
    L"Settings\\Info\\SplashAbout.xst", L"ols_config.xml",
    L"MediaIO\\codecs\\Dolby.vca",     L"mc_dec_dd.dll",
    L"mc_dec_dd_ds.ax",                L"32\\mc_dec_dd.dll",
    L"32\\mc_dec_dd_ds.ax",            L"MediaIO\\codecs\\mfdolby.vca",
    L"MFDolbyEncoder.dll",             L"MFDolbyImporter.dll",
};

// Files of the payload that are not the hook's to delete.
const wchar_t* const kOtherFiles[] = {
    L"Kestrune Montavo Fablio 15.exe", L"32\\mc_dec_amr_ds.ax", L"MediaIO\\plugins\\plugin.dll",
    L"Settings\\User\\prefs.xml",      L"Settings\\Info\\.keep",
};

std::set<std::wstring> FilesBelow(const std::wstring& folder, const std::wstring& prefix = L"") {
    std::set<std::wstring> found;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return found;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            found.insert(prefix + name + L"\\");
            for (const std::wstring& inner : FilesBelow(folder + L"\\" + name, prefix + name + L"\\")) {
                found.insert(inner);
            }
        } else {
            found.insert(prefix + name);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

class UninstallPrePayloadTest : public testing::Test {
protected:
    void SetUp() override {
        installDir = sandbox / L"Apps";
        app = installDir + L"\\Kestrune Montavo Fablio 15";
        properties = ProductProperties(ToUtf8(installDir));
        for (const wchar_t* file : kOemFiles) {
            ASSERT_TRUE(WriteTextFile(app + L"\\" + file, "oem"));
        }
        for (const wchar_t* file : kOtherFiles) {
            ASSERT_TRUE(WriteTextFile(app + L"\\" + file, "payload"));
        }
        ASSERT_TRUE(MakeFolders(app + L"\\MediaIO\\codecs\\empty"));
        SetFileAttributesW((app + L"\\ols_config.xml").c_str(), FILE_ATTRIBUTE_READONLY);
    }

    std::vector<LogLine> Run(const PropertyMap* map) {
        LogCapture capture;
        EXPECT_EQ(hook.Proc(map, 1, 2), 0);
        return capture.lines();
    }

    SandboxFolder sandbox;
    HookDll hook;
    // The filters are unregistered first; no registration tool runs here.
    CreateProcessRecorder noTools{hook.module(), false};
    std::wstring installDir;
    std::wstring app;
    PropertyMapBuilder properties;
};

TEST_F(UninstallPrePayloadTest, DeletesExactlyTheListedFilesAndPrunesTheirTrees) {
    const std::vector<LogLine> lines = Run(properties.map());

    std::vector<LogLine> oem = {L4("VLX: BEGIN - Uninstall OEM Files"), L4("Extracting INSTALLDIR..."),
                                L4(ToUtf8(installDir))};
    for (const char* entry :
         {"\\Settings\\Info\\CustomCredits", "\\Settings\\Info\\TeamNames",
          "\\Settings\\Info\\PatentLegalNotice", "\\Settings\\Info\\PatentLegalNotice",
          "\\Settings\\Info\\About.xst", "\\Settings\\Info\\PatentTextMac.xst",
          "\\Settings\\Info\\PatentTextWin.xst", "\\Settings\\Info\\SplashAbout.xst",
          "\\ols_config.xml", "\\MediaIO\\codecs\\Dolby.vca", "\\mc_dec_dd.dll", "\\mc_dec_dd_ds.ax",
          "\\32\\mc_dec_dd.dll", "\\32\\mc_dec_dd_ds.ax", "\\MediaIO\\codecs\\mfdolby.vca",
          "\\MFDolbyEncoder.dll", "\\MFDolbyImporter.dll", "\\Settings", "\\MediaIO",
          "VLX: END - Uninstall OEM Files"}) {
        oem.push_back(L4(entry));
    }
    // The phase: entry line, filters, OEM files; the catalog database logs nothing.
    std::vector<LogLine> expected = {L4("VLX: In PrePayloadUninstallProc"),
                                     L4("VLX: BEGIN - UnRegister Main Concept Filters"),
                                     L4("Extracting INSTALLDIR..."), L4(ToUtf8(installDir))};
    for (const char* filter : {"\\mc_dec_amr_ds.ax", "\\mc_dec_dd_ds.ax", "\\mc_dec_mp2v_ds.ax",
                               "\\mc_dec_mp4v_ds.ax", "\\mc_dec_mpa_ds.ax", "\\mc_demux_mp4_ds.ax",
                               "\\32\\mc_dec_amr_ds.ax", "\\32\\mc_dec_dd_ds.ax",
                               "\\32\\mc_dec_mp2v_ds.ax", "\\32\\mc_dec_mp4v_ds.ax",
                               "\\32\\mc_dec_mpa_ds.ax", "\\32\\mc_demux_mp4_ds.ax",
                               "VLX: END - UnRegister Main Concept Filters"}) {
        expected.push_back(L4(filter));
    }
    expected.insert(expected.end(), oem.begin(), oem.end());
    EXPECT_EQ(lines, expected);

    EXPECT_EQ(FilesBelow(app),
              (std::set<std::wstring>{L"32\\", L"32\\mc_dec_amr_ds.ax", L"Kestrune Montavo Fablio 15.exe",
                                      L"MediaIO\\", L"MediaIO\\plugins\\",
                                      L"MediaIO\\plugins\\plugin.dll", L"Settings\\",
                                      L"Settings\\Info\\", L"Settings\\Info\\.keep",
                                      L"Settings\\User\\", L"Settings\\User\\prefs.xml"}));
}

TEST_F(UninstallPrePayloadTest, EmptiedTreesGoCompletelyButThe32FolderStays) {
    for (const wchar_t* file : kOtherFiles) {
        RemoveTree(app + L"\\" + file);
    }
    RemoveTree(app + L"\\MediaIO\\plugins");
    RemoveTree(app + L"\\Settings\\User");
    hook.Proc(properties.map(), 1, 2, nullptr);
    EXPECT_EQ(FilesBelow(app), std::set<std::wstring>{L"32\\"});
}

TEST_F(UninstallPrePayloadTest, ListedNameThatIsAFolderIsPrunedOnlyWhenEmpty) {
    for (const wchar_t* name : {L"TeamNames", L"CustomCredits"}) {
        RemoveTree(app + L"\\Settings\\Info\\" + name);
        ASSERT_TRUE(MakeFolders(app + L"\\Settings\\Info\\" + name));
    }
    ASSERT_TRUE(WriteTextFile(app + L"\\Settings\\Info\\CustomCredits\\user.txt", "mine"));
    hook.Proc(properties.map(), 1, 2, nullptr);
    EXPECT_FALSE(PathExists(app + L"\\Settings\\Info\\TeamNames"));
    EXPECT_TRUE(PathExists(app + L"\\Settings\\Info\\CustomCredits\\user.txt"));
}

TEST(UninstallPrePayloadNoFolderTest, NoInstallFolderTouchesNothing) {
    HookDll hook;
    CreateProcessRecorder noTools(hook.module(), false);
    PropertyMapBuilder properties = ProductWithoutInstallDir();
    LogCapture capture;
    hook.Proc(properties.map(), 1, 2);
    EXPECT_EQ(capture.Between("VLX: BEGIN - Uninstall OEM Files", "VLX: END - Uninstall OEM Files"),
              (std::vector<LogLine>{L4("VLX: BEGIN - Uninstall OEM Files"), L4("Extracting INSTALLDIR..."),
                                    L4("VLX: INSTALLDIR not found. Install folder not available."),
                                    L4("VLX: END - Uninstall OEM Files")}));
}

// The catalog database below the common application data folder.
class CatalogDatabaseTest : public testing::Test {
protected:
    void SetUp() override {
        folder = CommonAppData() + L"\\Kestrune\\ZTV\\15.0";
        database = folder + L"\\Repository2_0.db";
        ASSERT_TRUE(WriteTextFile(database, "catalog"));
        ASSERT_TRUE(WriteTextFile(folder + L"\\Other.db", "keep"));
        SetFileAttributesW(database.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    }
    void TearDown() override { RemoveTree(folder.substr(0, folder.size() - 9)); }

    std::wstring folder;
    std::wstring database;
    HookDll hook;
};

TEST_F(CatalogDatabaseTest, ReinstallPrePayloadDeletesReadOnlyDatabaseSilently) {
    CreateProcessRecorder noTools(hook.module(), false);
    // No install folder: only the database is at work.
    PropertyMapBuilder properties = ProductWithoutInstallDir();
    LogCapture capture;
    EXPECT_EQ(hook.Proc(properties.map(), 1, 1), 0);
    EXPECT_FALSE(PathExists(database));
    EXPECT_TRUE(PathExists(folder + L"\\Other.db"));
    EXPECT_EQ(capture.lines().back(), L4("VLX: END - UnRegister Main Concept Filters"))
        << "the database removal logs nothing";
    hook.Proc(properties.map(), 1, 1, nullptr);  // absent now: no error either
}

HRESULT WINAPI NoCommonAppData(HWND, int csidl, HANDLE, DWORD, LPWSTR path) {
    path[0] = L'\0';
    return csidl == CSIDL_COMMON_APPDATA ? E_FAIL : S_OK;
}

TEST_F(CatalogDatabaseTest, NoCommonFolderDeletesNothing) {
    ImportPatch patch(hook.module(), "shell32.dll", "SHGetFolderPathW", &NoCommonAppData);
    ASSERT_TRUE(patch.applied());
    CreateProcessRecorder noTools(hook.module(), false);
    PropertyMapBuilder properties = ProductProperties();
    hook.Proc(properties.map(), 1, 1, nullptr);
    EXPECT_TRUE(PathExists(database));
}

// The organizer's CAHeadless folder, found through its registry entry in the
// 64-bit view.
class OrganizerTest : public testing::Test {
protected:
    void SetUp() override {
        organizer = sandbox / L"Organizer";
        for (const wchar_t* file : {L"mc_dec_dd.dll", L"keep.dll"}) {
            ASSERT_TRUE(WriteTextFile(organizer + L"\\CAHeadless\\" + file, "codec"));
        }
    }
    std::vector<LogLine> Run(LogCallback callback = LogCapture::Callback) {
        LogCapture capture;
        PropertyMapBuilder properties = ProductProperties();
        EXPECT_EQ(hook.Proc(properties.map(), 2, 2, callback), 0);
        return capture.Between("VLX: Start of deleteVLXFilesFromCaheadless",
                               "VLX: End of deleteVLXFilesFromCaheadless");
    }

    ShortcutState shortcuts;
    SandboxFolder sandbox;
    ScopedRegistryKey key{HKEY_LOCAL_MACHINE, L"Software\\Kestrune\\Fablio Organizer\\15.0\\ApplicationPath",
                          KEY_WOW64_64KEY};
    std::wstring organizer;
    HookDll hook;
};

TEST_F(OrganizerTest, DeletesPresentCodecFilesAndLogsEachEntry) {
    ASSERT_TRUE(key.SetString(L"", organizer + L"\\"));
    const std::wstring deleted = organizer + L"\\CAHeadless\\mc_dec_dd.dll";
    EXPECT_EQ(Run(), (std::vector<LogLine>{
                         L4("VLX: Start of deleteVLXFilesFromCaheadless"),
                         L4("VLX: GET CX install dir successful. "), L4("VLX: CX Install dir is : "),
                         L4(ToUtf8(organizer)), L4("\\mc_dec_amr.dll"), L4("\\mc_dec_mp2v.dll"),
                         L4("\\mc_dec_mpa.dll"), L4("\\mc_dec_dd.dll"), L4("VLX: Delete File: "),
                         L4(ToUtf8(deleted)), L4("\\mc_dec_dd_ds.ax"), L4("\\WMFDolbyDecoder.dll"),
                         L4("VLX: End of deleteVLXFilesFromCaheadless")}));
    EXPECT_FALSE(PathExists(deleted));
    EXPECT_TRUE(PathExists(organizer + L"\\CAHeadless\\keep.dll"));
}

TEST_F(OrganizerTest, ReadOnlyFileStaysAndNoCallbackStillDeletes) {
    ASSERT_TRUE(key.SetString(L"", organizer));
    ASSERT_TRUE(WriteTextFile(organizer + L"\\CAHeadless\\mc_dec_amr.dll", "codec"));
    SetFileAttributesW((organizer + L"\\CAHeadless\\mc_dec_amr.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    Run(nullptr);
    EXPECT_TRUE(PathExists(organizer + L"\\CAHeadless\\mc_dec_amr.dll"));
    EXPECT_FALSE(PathExists(organizer + L"\\CAHeadless\\mc_dec_dd.dll"));
}

// Without the organizer's folder nothing is deleted, and never at a root.
TEST_F(OrganizerTest, MissingOrOverlongEntryDeletesNothing) {
    const std::vector<LogLine> missing = {L4("VLX: Start of deleteVLXFilesFromCaheadless"),
                                          L4("VLX: CX install dir not available. No file deleted."),
                                          L4("VLX: End of deleteVLXFilesFromCaheadless")};
    EXPECT_EQ(Run(), missing);
    const std::wstring overlong = organizer + L"\\" + std::wstring(260, L'o');
    ASSERT_TRUE(key.SetString(L"", overlong));
    EXPECT_EQ(Run(), (std::vector<LogLine>{L4("VLX: Start of deleteVLXFilesFromCaheadless"),
                                           L4("VLX: GET CX install dir successful. "),
                                           L4("VLX: CX Install dir is : "),
                                           L4(ToUtf8(overlong).substr(0, 259)),
                                           L4("VLX: Path too long. Skipped."),
                                           L4("VLX: CX install dir not available. No file deleted."),
                                           L4("VLX: End of deleteVLXFilesFromCaheadless")}));
    EXPECT_TRUE(PathExists(organizer + L"\\CAHeadless\\mc_dec_dd.dll"));
}

}  // namespace
