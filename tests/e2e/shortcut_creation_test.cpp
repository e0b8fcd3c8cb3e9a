// Shortcut creation in the install PostPayload phase, as the options ask.
#include "tests/e2e/shortcut_fixture.h"

#include <shlobj.h>

#include "base/guards.h"

namespace {

// The whole install PostPayload log when the option key does not open.
class ShortcutCreationTest : public ShortcutsTest {
protected:
    Lines WithoutOptionsLines() const {
        return RegisterLines() + InstallDir() + DesktopCreationLines() +
               StartMenuCreationLines(programsLink, false);
    }
};

TEST_F(ShortcutCreationTest, BothShortcutsInCustomFolderAndPin) {
    state.SetOption(L"NODESKTOPICON", L"0");
    state.SetOption(L"PINWSTOTASKBAR", L"1");
    state.SetOption(L"STARTMENULOCATION", std::wstring(kMediaFolder) + L"\\Video\\");
    const std::wstring startMenuLink = InPrograms(std::wstring(kMediaFolder) + L"\\Video\\" + kLinkFile);

    EXPECT_EQ(Run(PostPayload, Install),
              RegisterLines() +
                  L4s({kOpenOptionKeyLine, "VLX: Query NODESKTOPICON Success",
                       "VLX: Query PINWSTOTASKBAR Success", "VLX: Query STARTMENULOCATION Success"}) +
                  InstallDir() + DesktopCreationLines() + StartMenuCreationLines(startMenuLink, true) +
                  L4s({kPinSetLine, "VLX: Start CreateRegPinVLXWelcomeScreenToTaskBar"}));

    EXPECT_EQ(ReadLink(desktopLink).target, target);
    const LinkInfo startMenu = ReadLink(startMenuLink);
    EXPECT_EQ(startMenu.target, target);
    EXPECT_EQ(startMenu.description, L"");
    EXPECT_FALSE(PathExists(programsLink));
    const PinValue pin = ReadPin();
    EXPECT_EQ(pin.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(pin.text(), startMenuLink);
}

// Without the option key, or with one the process may read but not write
// (it counts as missing): both shortcuts, in the programs folder, no pin.
TEST_F(ShortcutCreationTest, NoOrReadOnlyOptionKeyMeansDesktopAndProgramsFolderWithoutPin) {
    EXPECT_EQ(Run(PostPayload, Install), WithoutOptionsLines());
    EXPECT_EQ(ReadLink(desktopLink).target, target);
    EXPECT_EQ(ReadLink(programsLink).target, target);
    EXPECT_FALSE(ReadPin().exists);
    state.SetOption(L"NODESKTOPICON", L"1");
    state.SetOption(L"PINWSTOTASKBAR", L"1");
    const ScopedReadOnlyKey readOnly(HKEY_LOCAL_MACHINE, kOptionKey);
    ASSERT_TRUE(readOnly.applied());
    DeleteFileW(desktopLink.c_str());
    EXPECT_EQ(Run(PostPayload, Install), WithoutOptionsLines());
    EXPECT_TRUE(PathExists(desktopLink));
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
    const Lines lines = Run(PostPayload, Install);
    EXPECT_EQ(PathExists(desktopLink), !c.on);
    EXPECT_EQ(ReadPin().exists, c.on);
    EXPECT_TRUE(PathExists(programsLink));
    EXPECT_EQ(CountLines(lines, kPinSetLine), c.on ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Values, YesNoOptionTest,
                         testing::Values(OptionCase{"One", L"1", REG_SZ, true},
                                         OptionCase{"OneExpandable", L"1", REG_EXPAND_SZ, true},
                                         OptionCase{"Zero", L"0", REG_SZ, false},
                                         OptionCase{"LeadingZero", L"01", REG_SZ, false},
                                         OptionCase{"TrailingBlank", L"1 ", REG_SZ, false},
                                         OptionCase{"True", L"true", REG_SZ, false},
                                         OptionCase{"Empty", L"", REG_SZ, false},
                                         OptionCase{"NumberOne", L"\x0001", REG_DWORD, false}),
                         [](const testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.name); });

// A shell folder that cannot be obtained skips its own shortcut only; without
// the programs folder there is no pin either.
TEST_F(ShortcutCreationTest, MissingShellFolderSkipsItsShortcutOnly) {
    int failing = CSIDL_COMMON_PROGRAMS;
    ImportPatch<decltype(SHGetFolderPathW)> folders(hook.module(), "SHGetFolderPathW",
                                                    [&](auto window, auto csidl, auto token, auto flags, auto path) {
        return csidl == failing ? E_FAIL : SHGetFolderPathW(window, csidl, token, flags, path);
    });
    state.SetOption(L"PINWSTOTASKBAR", L"1");
    const Lines options = L4s({kOpenOptionKeyLine, "VLX: Query PINWSTOTASKBAR Success"});

    EXPECT_EQ(Run(PostPayload, Install),
              RegisterLines() + options + InstallDir() + DesktopCreationLines() +
                  L4s({"VLX: Could not find Start Menu Directory. Shortcut not created", kPinSetLine,
                       "VLX: szStartMenu is NULL. Not calling function "
                       "CreateRegPinVLXWelcomeScreenToTaskBar()"}));
    EXPECT_TRUE(PathExists(desktopLink));
    EXPECT_FALSE(PathExists(programsLink));
    EXPECT_FALSE(ReadPin().exists);

    DeleteFileW(desktopLink.c_str());
    failing = CSIDL_COMMON_DESKTOPDIRECTORY;
    EXPECT_EQ(Run(PostPayload, Install),
              RegisterLines() + options + InstallDir() +
                  L4s({"VLX: Could not find Desktop Directory. Shortcut not created"}) +
                  StartMenuCreationLines(programsLink, false) +
                  L4s({kPinSetLine, "VLX: Start CreateRegPinVLXWelcomeScreenToTaskBar"}));
    EXPECT_FALSE(PathExists(desktopLink));
    EXPECT_TRUE(PathExists(programsLink));
}

// A location outside the programs folder is refused and the shortcut goes
// into the programs folder itself.
TEST_F(ShortcutCreationTest, LocationOutsideProgramsFolderIsRefused) {
    for (const std::wstring& location : {std::wstring(L"..\\..\\VLX Escape"), sandbox.path() + L"\\Escape"}) {
        SCOPED_TRACE(ToUtf8(location));
        state.SetOption(L"STARTMENULOCATION", location);
        EXPECT_EQ(Run(PostPayload, Install),
                  RegisterLines() +
                      L4s({kOpenOptionKeyLine, "VLX: Query STARTMENULOCATION Success",
                           kRefusedLocationLine}) +
                      InstallDir() + DesktopCreationLines() + StartMenuCreationLines(programsLink, false));
        EXPECT_TRUE(PathExists(programsLink));
        EXPECT_FALSE(PathExists(CommonPrograms() + L"\\..\\..\\VLX Escape"));
        EXPECT_FALSE(PathExists(sandbox.path() + L"\\Escape"));
    }
}

// "\VLX Media\Video" names the same folder below the programs folder, in
// creation and in removal.
TEST_F(ShortcutCreationTest, LeadingBackslashLocationIsBelowProgramsFolder) {
    state.SetOption(L"STARTMENULOCATION", std::wstring(L"\\") + kMediaFolder + L"\\Video");
    Run(PostPayload, Install);
    EXPECT_EQ(ReadLink(InPrograms(std::wstring(kMediaFolder) + L"\\Video\\" + kLinkFile)).target, target);
    EXPECT_FALSE(PathExists(programsLink));
    Run(PostPayload, Uninstall);
    EXPECT_FALSE(PathExists(InPrograms(kMediaFolder)));
}

TEST_F(ShortcutCreationTest, NoInstallFolderMakesNoShortcut) {
    PropertyMapBuilder noInstallDir = ProductWithoutInstallDir();
    state.SetOption(L"PINWSTOTASKBAR", L"1");
    LogCapture capture;
    hook.Proc(noInstallDir.map(), PostPayload, Install);
    EXPECT_EQ(capture.lines(),
              L4s({"VLX: In PostPayloadInstallProc", kRegisterFiltersFrame.first}) +
                  NoInstallDirLines() +
                  L4s({kRegisterFiltersFrame.last, kOpenOptionKeyLine,
                       "VLX: Query PINWSTOTASKBAR Success"}) +
                  NoInstallDirLines());
    EXPECT_FALSE(PathExists(desktopLink));
    EXPECT_FALSE(PathExists(programsLink));
    EXPECT_FALSE(ReadPin().exists);
}

}  // namespace
