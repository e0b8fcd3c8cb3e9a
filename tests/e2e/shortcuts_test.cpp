// Shortcut creation and removal in the PostPayload phases, on the real shell
// folders, option key and pin value of the prefix.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <sddl.h>

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

const char kOpenLine[] =
    "VLX: Open HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "VEXOUninstallOptions\\VLX success";
const char kRefusedLocation[] = "VLX: STARTMENULOCATION is not a folder below the Start Menu. Ignored.";

std::vector<DWORD> g_sleeps;
VOID WINAPI RecordSleep(DWORD milliseconds) {
    g_sleeps.push_back(milliseconds);
}

int g_failingFolder = -1;
HRESULT WINAPI FailOneFolder(HWND window, int csidl, HANDLE token, DWORD flags, LPWSTR path) {
    if (csidl == g_failingFolder) {
        return E_FAIL;
    }
    return SHGetFolderPathW(window, csidl, token, flags, path);
}

std::vector<LogLine> operator+(std::vector<LogLine> a, const std::vector<LogLine>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class ShortcutsTest : public testing::Test {
protected:
    void SetUp() override {
        installDir = sandbox.path() + L"\\Apps";
        target = installDir + L"\\Kestrune Montavo Fablio 15\\WelcomeScreen\\Kestrune Montavo Fablio 15.exe";
        properties = ProductProperties(ToUtf8(installDir));
        desktopLink = CommonDesktop() + L"\\" + kLinkFile;
        programsLink = CommonPrograms() + L"\\" + kLinkFile;
        g_sleeps.clear();
    }
    void TearDown() override {
        RemoveTree(CommonPrograms() + L"\\VLX Media");
    }

    std::vector<LogLine> Run(uint32_t entryMode, int32_t installMode) {
        LogCapture capture;
        EXPECT_EQ(hook.Proc(properties.map(), entryMode, installMode), 0);
        return capture.lines();
    }

    // The install PostPayload lines before shortcut creation: the filters.
    std::vector<LogLine> RegisterLines() const {
        return {L4("VLX: In PostPayloadInstallProc"), L4("VLX: BEGIN - Register Main Concept Filters"),
                L4("Extracting INSTALLDIR..."), L4(ToUtf8(installDir)), L4("\\mc_dec_dd_ds.ax"),
                L4("\\32\\mc_dec_dd_ds.ax"), L4("VLX: END - Register Main Concept Filters")};
    }
    std::vector<LogLine> InstallDirLines() const {
        return {L4("Extracting INSTALLDIR..."), L4(ToUtf8(installDir))};
    }
    static std::vector<LogLine> LinkLines() {
        return {L4("VLX: BEGIN - Link Creation"), L4("VLX: Entering CoCreateInstance succeded block"),
                L4("VLX: Entering QueryInterface succeeded block"),
                L4("VLX: END - Link Creation Successful")};
    }
    std::vector<LogLine> LocationLines(const std::wstring& link) const {
        return {L4("VLX: Shortcut Location: "), L4(ToUtf8(link)), L4("VLX: Exe Location: "),
                L4(ToUtf8(target))};
    }
    static std::vector<LogLine> PinRemovalLines() {
        return {L4("VLX: Start DeleteRegPinDRQWelcomeScreenToTaskBar"),
                L4("VLX: Start DeletePinnedShortcut"), L4("VLX: End DeletePinnedShortcut"),
                L4("VLX: End DeleteRegPinDRQWelcomeScreenToTaskBar")};
    }
    // The organizer cleanup that ends the uninstall PostPayload phase, on a
    // machine without the organizer.
    static std::vector<LogLine> NoOrganizerLines() {
        return {L4("VLX: Start of deleteVLXFilesFromCaheadless"),
                L4("VLX: CX install dir not available. No file deleted."),
                L4("VLX: End of deleteVLXFilesFromCaheadless")};
    }
    static std::vector<LogLine> OptionKeyRemovalLines() {
        return {L4("VLX: Start of DeleteInstallerRegistries"),
                L4("VLX: End of DeleteInstallerRegistries")};
    }

    ShortcutState state;
    SandboxFolder sandbox;
    HookDll hook;
    // No registration tool runs in these tests.
    CreateProcessRecorder noTools{hook.module(), false};
    ImportPatch sleep{hook.module(), "kernel32.dll", "Sleep", &RecordSleep};
    std::wstring installDir;
    std::wstring target;
    std::wstring desktopLink;
    std::wstring programsLink;
    PropertyMapBuilder properties;
};

TEST_F(ShortcutsTest, InstallCreatesBothShortcutsInCustomFolderAndPins) {
    state.SetOption(L"NODESKTOPICON", L"0");
    state.SetOption(L"PINWSTOTASKBAR", L"1");
    state.SetOption(L"STARTMENULOCATION", L"VLX Media\\Video\\");
    const std::wstring startMenuLink = CommonPrograms() + L"\\VLX Media\\Video\\" + kLinkFile;

    const std::vector<LogLine> expected =
        RegisterLines() +
        std::vector<LogLine>{L4(kOpenLine), L4("VLX: Query NODESKTOPICON Success"),
                             L4("VLX: Query PINWSTOTASKBAR Success"),
                             L4("VLX: Query STARTMENULOCATION Success")} +
        InstallDirLines() + std::vector<LogLine>{L4("VLX: Creating Desktop Shortcut")} + LinkLines() +
        LocationLines(desktopLink) +
        std::vector<LogLine>{L4("VLX: Creating Start Menu Shortcut"),
                             L4("VLX: Custom STARTMENULOCATION set.")} +
        LocationLines(startMenuLink) + LinkLines() +
        std::vector<LogLine>{L4("VLX: PINWSTOTASKBAR set to TRUE."),
                             L4("VLX: Start CreateRegPinVLXWelcomeScreenToTaskBar")};
    EXPECT_EQ(Run(2, 0), expected);

    EXPECT_EQ(ReadLink(desktopLink).target, target);
    const LinkInfo startMenu = ReadLink(startMenuLink);
    EXPECT_EQ(startMenu.target, target);
    EXPECT_EQ(startMenu.description, L"");
    EXPECT_FALSE(PathExists(programsLink));
    const PinValue pin = ReadPin();
    EXPECT_EQ(pin.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(pin.text(), startMenuLink);
}

TEST_F(ShortcutsTest, NoOptionKeyMeansDesktopAndProgramsFolderWithoutPin) {
    const std::vector<LogLine> expected =
        RegisterLines() + InstallDirLines() +
        std::vector<LogLine>{L4("VLX: Creating Desktop Shortcut")} + LinkLines() +
        LocationLines(desktopLink) + std::vector<LogLine>{L4("VLX: Creating Start Menu Shortcut")} +
        LocationLines(programsLink) + LinkLines();
    EXPECT_EQ(Run(2, 0), expected);
    EXPECT_EQ(ReadLink(desktopLink).target, target);
    EXPECT_EQ(ReadLink(programsLink).target, target);
    EXPECT_FALSE(ReadPin().exists);
}

struct OptionCase {
    const char* name;
    const wchar_t* value;
    DWORD type;
    bool on;
};

class YesNoOptionTest : public ShortcutsTest, public testing::WithParamInterface<OptionCase> {};

// Only the exact text "1" turns a yes/no option on.
TEST_P(YesNoOptionTest, OnlyExactOneCounts) {
    const OptionCase& c = GetParam();
    ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, kOptionKey, L"NODESKTOPICON", c.value, c.type, 0);
    ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, kOptionKey, L"PINWSTOTASKBAR", c.value, c.type, 0);
    const std::vector<LogLine> lines = Run(2, 0);
    EXPECT_EQ(PathExists(desktopLink), !c.on);
    EXPECT_EQ(ReadPin().exists, c.on);
    EXPECT_TRUE(PathExists(programsLink));
    bool pinLine = false;
    for (const LogLine& line : lines) {
        pinLine = pinLine || line.text == "VLX: PINWSTOTASKBAR set to TRUE.";
    }
    EXPECT_EQ(pinLine, c.on);
}

INSTANTIATE_TEST_SUITE_P(Values, YesNoOptionTest,
                         testing::Values(OptionCase{"One", L"1", REG_SZ, true},
                                         OptionCase{"OneExpandable", L"1", REG_EXPAND_SZ, true},
                                         OptionCase{"Zero", L"0", REG_SZ, false},
                                         OptionCase{"LeadingZero", L"01", REG_SZ, false},
                                         OptionCase{"TrailingBlank", L"1 ", REG_SZ, false},
                                         OptionCase{"True", L"true", REG_SZ, false},
                                         OptionCase{"Empty", L"", REG_SZ, false}),
                         [](const testing::TestParamInfo<OptionCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ShortcutsTest, NumericOptionIsNotTheTextOne) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOptionKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    RegSetValueExW(key, L"NODESKTOPICON", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
    RegCloseKey(key);
    Run(2, 0);
    EXPECT_TRUE(PathExists(desktopLink));
}

TEST_F(ShortcutsTest, ReadOnlyOptionKeyCountsAsUnset) {
    state.SetOption(L"NODESKTOPICON", L"1");
    state.SetOption(L"PINWSTOTASKBAR", L"1");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOptionKey, 0, WRITE_DAC, &key), ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;KR;;;WD)", SDDL_REVISION_1,
                                                         &readOnly, nullptr);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly);
    LocalFree(readOnly);
    RegCloseKey(key);

    const std::vector<LogLine> lines = Run(2, 0);
    EXPECT_EQ(std::vector<LogLine>(lines.begin() + 7, lines.begin() + 9), InstallDirLines())
        << "no option line";
    EXPECT_TRUE(PathExists(desktopLink));
    EXPECT_FALSE(ReadPin().exists);
}

TEST_F(ShortcutsTest, NoProgramsFolderMeansNoPin) {
    ImportPatch folders(hook.module(), "shell32.dll", "SHGetFolderPathW", &FailOneFolder);
    ASSERT_TRUE(folders.applied());
    g_failingFolder = CSIDL_COMMON_PROGRAMS;
    state.SetOption(L"PINWSTOTASKBAR", L"1");
    const std::vector<LogLine> lines = Run(2, 0);
    g_failingFolder = -1;
    const std::vector<LogLine> tail = {
        L4("VLX: Could not find Start Menu Directory. Shortcut not created"),
        L4("VLX: PINWSTOTASKBAR set to TRUE."),
        L4("VLX: szStartMenu is NULL. Not calling function CreateRegPinVLXWelcomeScreenToTaskBar()")};
    ASSERT_GE(lines.size(), tail.size());
    EXPECT_EQ(std::vector<LogLine>(lines.end() - 3, lines.end()), tail);
    EXPECT_TRUE(PathExists(desktopLink));
    EXPECT_FALSE(ReadPin().exists);
}

TEST_F(ShortcutsTest, NoDesktopFolderStillMakesStartMenuShortcut) {
    ImportPatch folders(hook.module(), "shell32.dll", "SHGetFolderPathW", &FailOneFolder);
    g_failingFolder = CSIDL_COMMON_DESKTOPDIRECTORY;
    const std::vector<LogLine> lines = Run(2, 0);
    g_failingFolder = -1;
    const std::vector<LogLine> expected =
        RegisterLines() + InstallDirLines() +
        std::vector<LogLine>{L4("VLX: Could not find Desktop Directory. Shortcut not created"),
                             L4("VLX: Creating Start Menu Shortcut")} +
        LocationLines(programsLink) + LinkLines();
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(PathExists(programsLink));
}

// A location outside the programs folder is refused and the shortcut goes
// into the programs folder itself.
TEST_F(ShortcutsTest, LocationOutsideProgramsFolderIsRefused) {
    for (const std::wstring& location : {std::wstring(L"..\\..\\VLX Escape"), sandbox.path() + L"\\Escape"}) {
        state.SetOption(L"STARTMENULOCATION", location);
        const std::vector<LogLine> lines = Run(2, 0);
        EXPECT_EQ(lines[8], L4("VLX: Query STARTMENULOCATION Success"));
        EXPECT_EQ(lines[9], L4(kRefusedLocation));
        EXPECT_TRUE(PathExists(programsLink));
        EXPECT_FALSE(PathExists(CommonPrograms() + L"\\..\\..\\VLX Escape"));
        EXPECT_FALSE(PathExists(sandbox.path() + L"\\Escape"));
    }
}

// "\Media\Video" names the same folder below the programs folder, in
// creation and in removal.
TEST_F(ShortcutsTest, LeadingBackslashLocationIsBelowProgramsFolder) {
    state.SetOption(L"STARTMENULOCATION", L"\\VLX Media\\Video");
    Run(2, 0);
    EXPECT_EQ(ReadLink(CommonPrograms() + L"\\VLX Media\\Video\\" + kLinkFile).target, target);
    EXPECT_FALSE(PathExists(programsLink));
    Run(2, 2);
    EXPECT_FALSE(PathExists(CommonPrograms() + L"\\VLX Media"));
}

TEST_F(ShortcutsTest, NoInstallFolderMakesNoShortcut) {
    PropertyMapBuilder noInstallDir = ProductWithoutInstallDir();
    state.SetOption(L"PINWSTOTASKBAR", L"1");
    LogCapture capture;
    hook.Proc(noInstallDir.map(), 2, 0);
    EXPECT_EQ(capture.lines().back(), L4("VLX: INSTALLDIR not found. Install folder not available."));
    EXPECT_FALSE(PathExists(desktopLink));
    EXPECT_FALSE(PathExists(programsLink));
    EXPECT_FALSE(ReadPin().exists);
}

// Removal: what creation made is taken away again.
TEST_F(ShortcutsTest, UninstallRemovesShortcutsEmptyCustomFoldersAndPin) {
    state.SetOption(L"PINWSTOTASKBAR", L"1");
    state.SetOption(L"STARTMENULOCATION", L"VLX Media\\Video");
    Run(2, 0);
    const std::wstring video = CommonPrograms() + L"\\VLX Media\\Video";
    const std::wstring startMenuLink = video + L"\\" + kLinkFile;
    ASSERT_TRUE(PathExists(startMenuLink));
    ASSERT_TRUE(ReadPin().exists);
    SetFileAttributesW(desktopLink.c_str(), FILE_ATTRIBUTE_READONLY);
    // A user who pinned the shortcut: the pinned copy in the profile goes too.
    ScopedRegistryKey profile(HKEY_LOCAL_MACHINE,
                              L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-9-9-9-Pin");
    ASSERT_TRUE(profile.SetString(L"ProfileImagePath", sandbox.path() + L"\\Pin", REG_EXPAND_SZ));
    const std::wstring pinned = sandbox.path() +
                                L"\\Pin\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\"
                                L"User Pinned\\TaskBar\\" + kLinkFile;
    ASSERT_TRUE(WriteTextFile(pinned, "lnk"));

    const std::vector<LogLine> expected =
        std::vector<LogLine>{L4("In PostPayloadUninstallProc"), L4("VLX: Deleting Desktop Shortcut."),
                             L4(ToUtf8(desktopLink)), L4("VLX: Query STARTMENULOCATION Success"),
                             L4("VLX: Deleting Start Menu Shortcut"),
                             L4("VLX: Custom STARTMENULOCATION set."), L4(ToUtf8(startMenuLink)),
                             L4("VLX: Deleting Custom Start menu heirarchy."), L4(ToUtf8(video)),
                             L4("VLX: Directory Empty. Delete."),
                             L4("VLX: Deleting Custom Start menu heirarchy."),
                             L4(ToUtf8(CommonPrograms() + L"\\VLX Media")),
                             L4("VLX: Directory Empty. Delete.")} +
        PinRemovalLines() + OptionKeyRemovalLines() + NoOrganizerLines();
    EXPECT_EQ(Run(2, 2), expected);
    EXPECT_FALSE(PathExists(desktopLink)) << "read-only shortcut deleted";
    EXPECT_FALSE(PathExists(CommonPrograms() + L"\\VLX Media"));
    EXPECT_TRUE(PathExists(CommonPrograms())) << "the programs folder itself stays";
    EXPECT_FALSE(ReadPin().exists);
    EXPECT_FALSE(PathExists(pinned));
    EXPECT_EQ(g_sleeps, (std::vector<DWORD>{1000, 1000}));
}

TEST_F(ShortcutsTest, NothingToRemoveStillLogsBothPathsAndSweepsPins) {
    const std::vector<LogLine> expected =
        std::vector<LogLine>{L4("In PostPayloadUninstallProc"), L4("VLX: Deleting Desktop Shortcut."),
                             L4(ToUtf8(desktopLink)), L4("VLX: Deleting Start Menu Shortcut"),
                             L4(ToUtf8(programsLink))} +
        PinRemovalLines() +
        std::vector<LogLine>{L4("VLX: Start of DeleteInstallerRegistries"),
                             L4("Registry doesnt exists = HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\"
                                "Windows\\CurrentVersion\\Uninstall\\VEXOUninstallOptions\\VLX"),
                             L4("VLX: End of DeleteInstallerRegistries")} +
        NoOrganizerLines();
    EXPECT_EQ(Run(2, 2), expected);
    EXPECT_TRUE(g_sleeps.empty());
}

TEST_F(ShortcutsTest, FolderWithOtherContentStays) {
    state.SetOption(L"STARTMENULOCATION", L"VLX Media\\Video");
    Run(2, 0);
    const std::wstring media = CommonPrograms() + L"\\VLX Media";
    ASSERT_TRUE(WriteTextFile(media + L"\\Other.lnk", "x"));
    const std::vector<LogLine> lines = Run(2, 2);
    const std::vector<LogLine> walk = {L4("VLX: Deleting Custom Start menu heirarchy."),
                                       L4(ToUtf8(media + L"\\Video")),
                                       L4("VLX: Directory Empty. Delete."),
                                       L4("VLX: Deleting Custom Start menu heirarchy."),
                                       L4(ToUtf8(media)),
                                       L4("VLX: Directory not Empty. Don't check further.")};
    EXPECT_EQ(std::vector<LogLine>(lines.begin() + 7, lines.begin() + 13), walk);
    EXPECT_FALSE(PathExists(media + L"\\Video"));
    EXPECT_TRUE(PathExists(media + L"\\Other.lnk"));
    EXPECT_EQ(g_sleeps, std::vector<DWORD>{1000});
}

TEST_F(ShortcutsTest, OptionKeyAlreadyGoneLeavesCustomFolder) {
    state.SetOption(L"STARTMENULOCATION", L"VLX Media");
    Run(2, 0);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kOptionParentKey);
    Run(2, 2);
    EXPECT_TRUE(PathExists(CommonPrograms() + L"\\VLX Media\\" + kLinkFile));
}

TEST_F(ShortcutsTest, RemovalRefusesLocationOutsideProgramsFolder) {
    const std::wstring outside = sandbox.path() + L"\\Outside";
    ASSERT_TRUE(WriteTextFile(outside + L"\\" + kLinkFile, "x"));
    ASSERT_TRUE(MakeFolders(sandbox.path() + L"\\Empty"));
    for (const std::wstring& location : {outside, std::wstring(L"..\\..\\..\\..\\..\\..\\S:")}) {
        state.SetOption(L"STARTMENULOCATION", location);
        const std::vector<LogLine> lines = Run(2, 2);
        EXPECT_EQ(lines[4], L4(kRefusedLocation));
        EXPECT_EQ(lines[6], L4(ToUtf8(programsLink)));
    }
    EXPECT_TRUE(PathExists(outside + L"\\" + kLinkFile));
    EXPECT_TRUE(PathExists(sandbox.path() + L"\\Empty"));
}

TEST_F(ShortcutsTest, ReinstallRemovesAndRecreates) {
    state.SetOption(L"PINWSTOTASKBAR", L"1");
    Run(2, 0);
    WritePin(L"C:\\stale\\Kestrune Montavo Fablio 15.lnk");
    state.SetOption(L"NODESKTOPICON", L"1");
    const std::vector<LogLine> expected =
        std::vector<LogLine>{L4("In PostPayloadReinstallProc"), L4("VLX: Deleting Desktop Shortcut."),
                             L4(ToUtf8(desktopLink)), L4("VLX: Deleting Start Menu Shortcut"),
                             L4(ToUtf8(programsLink))} +
        PinRemovalLines() +
        std::vector<LogLine>{L4("VLX: BEGIN - Register Main Concept Filters"),
                             L4("Extracting INSTALLDIR..."), L4(ToUtf8(installDir)),
                             L4("\\mc_dec_dd_ds.ax"), L4("\\32\\mc_dec_dd_ds.ax"),
                             L4("VLX: END - Register Main Concept Filters"), L4(kOpenLine),
                             L4("VLX: Query NODESKTOPICON Success"),
                             L4("VLX: Query PINWSTOTASKBAR Success")} +
        InstallDirLines() + std::vector<LogLine>{L4("VLX: Creating Start Menu Shortcut")} +
        LocationLines(programsLink) + LinkLines() +
        std::vector<LogLine>{L4("VLX: PINWSTOTASKBAR set to TRUE."),
                             L4("VLX: Start CreateRegPinVLXWelcomeScreenToTaskBar")};
    EXPECT_EQ(Run(2, 1), expected);
    EXPECT_FALSE(PathExists(desktopLink)) << "removed, and not made again";
    EXPECT_TRUE(PathExists(programsLink));
    EXPECT_EQ(ReadPin().text(), programsLink);
}

// The pause after each removed folder is real when nobody intercepts it.
TEST(ShortcutRemovalPauseTest, EachRemovedFolderCostsOneSecond) {
    ShortcutState state;
    state.SetOption(L"STARTMENULOCATION", L"VLX Pause");
    ASSERT_TRUE(MakeFolders(CommonPrograms() + L"\\VLX Pause"));
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    const double start = NowMilliseconds();
    hook.Proc(properties.map(), 2, 2, nullptr);
    const double elapsed = NowMilliseconds() - start;
    EXPECT_FALSE(PathExists(CommonPrograms() + L"\\VLX Pause"));
    EXPECT_GE(elapsed, 990.0);
    EXPECT_LT(elapsed, 3000.0);
}

}  // namespace
