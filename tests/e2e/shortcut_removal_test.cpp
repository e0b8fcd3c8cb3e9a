// Shortcut removal in the reinstall and uninstall PostPayload phases: what
// creation made is taken away again, and nothing above it.
#include "tests/e2e/shortcut_fixture.h"

#include "tests/support/machine.h"
#include "tests/support/windows10_deletion.h"

namespace {

class ShortcutRemovalTest : public ShortcutsTest {
protected:
    std::wstring Media() const { return InPrograms(kMediaFolder); }
    std::wstring Video() const { return Media() + L"\\Video"; }
};

TEST_F(ShortcutRemovalTest, UninstallRemovesShortcutsEmptyCustomFoldersAndPin) {
    // With nothing else in it, only the walk's own rule keeps the programs
    // folder.
    const ScopedEmptyFolder emptyPrograms(CommonPrograms());
    state.SetOption(L"PINWSTOTASKBAR", L"1");
    state.SetOption(L"STARTMENULOCATION", std::wstring(kMediaFolder) + L"\\Video");
    Run(PostPayload, Install);
    const std::wstring startMenuLink = Video() + L"\\" + kLinkFile;
    ASSERT_TRUE(PathExists(startMenuLink));
    ASSERT_TRUE(ReadPin().exists);
    SetFileAttributesW(desktopLink.c_str(), FILE_ATTRIBUTE_READONLY);
    // A user who pinned the shortcut: the pinned copy in the profile goes too.
    ScopedRegistryKey profile(HKEY_LOCAL_MACHINE, std::wstring(kProfileListKey) + L"\\S-1-5-21-9-9-9-Pin");
    ASSERT_TRUE(profile.SetString(L"ProfileImagePath", sandbox.path() + L"\\Pin", REG_EXPAND_SZ));
    const std::wstring pinned = sandbox.path() + L"\\Pin\\" + kPinnedLinkBelowProfile;
    ASSERT_TRUE(WriteTextFile(pinned, "lnk"));
    pauses.clear();

    EXPECT_EQ(Run(PostPayload, Uninstall),
              L4s({"In PostPayloadUninstallProc", "VLX: Deleting Desktop Shortcut.", ToUtf8(desktopLink),
                   "VLX: Query STARTMENULOCATION Success", "VLX: Deleting Start Menu Shortcut",
                   "VLX: Custom STARTMENULOCATION set.", ToUtf8(startMenuLink),
                   "VLX: Deleting Custom Start menu heirarchy.", ToUtf8(Video()),
                   "VLX: Directory Empty. Delete.", "VLX: Deleting Custom Start menu heirarchy.",
                   ToUtf8(Media()), "VLX: Directory Empty. Delete."}) +
                  PinRemovalLines() + OptionKeyRemovalLines() + NoOrganizerLines());
    EXPECT_FALSE(PathExists(desktopLink)) << "read-only shortcut deleted";
    EXPECT_FALSE(PathExists(Media()));
    EXPECT_TRUE(PathExists(CommonPrograms())) << "the programs folder itself stays";
    EXPECT_FALSE(ReadPin().exists);
    EXPECT_FALSE(PathExists(pinned));
    EXPECT_EQ(pauses.pauses(), (std::vector<DWORD>{1000, 1000}));
}

TEST_F(ShortcutRemovalTest, NothingToRemoveStillLogsBothPathsAndSweepsPins) {
    EXPECT_EQ(Run(PostPayload, Uninstall), L4s({"In PostPayloadUninstallProc"}) + PlainRemovalLines() +
                                               MissingOptionKeyLines() + NoOrganizerLines());
    EXPECT_TRUE(pauses.pauses().empty());
}

TEST_F(ShortcutRemovalTest, FolderWithOtherContentStays) {
    state.SetOption(L"STARTMENULOCATION", std::wstring(kMediaFolder) + L"\\Video");
    Run(PostPayload, Install);
    ASSERT_TRUE(WriteTextFile(Media() + L"\\Other.lnk", "x"));
    pauses.clear();
    const Lines lines = Run(PostPayload, Uninstall);
    EXPECT_EQ(Between(lines, "VLX: Deleting Custom Start menu heirarchy.",
                      "VLX: Directory not Empty. Don't check further."),
              L4s({"VLX: Deleting Custom Start menu heirarchy.", ToUtf8(Video()),
                   "VLX: Directory Empty. Delete.", "VLX: Deleting Custom Start menu heirarchy.",
                   ToUtf8(Media()), "VLX: Directory not Empty. Don't check further."}));
    EXPECT_FALSE(PathExists(Video()));
    EXPECT_TRUE(PathExists(Media() + L"\\Other.lnk"));
    EXPECT_EQ(pauses.pauses(), std::vector<DWORD>{1000});
}

// An uninstall ended after removing Video: run again, it passes the missing
// folder as if removed (its path, no removal line, no pause) and removes the
// emptied Media.
TEST_F(ShortcutRemovalTest, MissingFolderIsPassedAndItsEmptiedParentRemoved) {
    state.SetOption(L"STARTMENULOCATION", std::wstring(kMediaFolder) + L"\\Video");
    Run(PostPayload, Install);
    RemoveTree(Video());
    pauses.clear();
    const Lines lines = Run(PostPayload, Uninstall);
    EXPECT_EQ(Between(lines, "VLX: Deleting Custom Start menu heirarchy.", "VLX: Directory Empty. Delete."),
              L4s({"VLX: Deleting Custom Start menu heirarchy.", ToUtf8(Video()),
                   "VLX: Deleting Custom Start menu heirarchy.", ToUtf8(Media()), "VLX: Directory Empty. Delete."}));
    EXPECT_FALSE(PathExists(Media()));
    EXPECT_EQ(pauses.pauses(), std::vector<DWORD>{1000});
}

TEST_F(ShortcutRemovalTest, OptionKeyAlreadyGoneLeavesCustomFolder) {
    state.SetOption(L"STARTMENULOCATION", kMediaFolder);
    Run(PostPayload, Install);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kOptionParentKey);
    Run(PostPayload, Uninstall);
    EXPECT_TRUE(PathExists(Media() + L"\\" + kLinkFile));
}

TEST_F(ShortcutRemovalTest, RefusesLocationOutsideProgramsFolder) {
    const std::wstring outside = sandbox.path() + L"\\Outside";
    ASSERT_TRUE(WriteTextFile(outside + L"\\" + kLinkFile, "x"));
    ASSERT_TRUE(MakeFolders(sandbox.path() + L"\\Empty"));
    for (const std::wstring& location : {outside, std::wstring(L"..\\..\\..\\..\\..\\..\\S:")}) {
        SCOPED_TRACE(ToUtf8(location));
        state.SetOption(L"STARTMENULOCATION", location);
        EXPECT_EQ(Run(PostPayload, Uninstall),
                  L4s({"In PostPayloadUninstallProc", "VLX: Deleting Desktop Shortcut.",
                       ToUtf8(desktopLink), "VLX: Query STARTMENULOCATION Success",
                       kRefusedLocationLine, "VLX: Deleting Start Menu Shortcut",
                       ToUtf8(programsLink)}) +
                      PinRemovalLines() + OptionKeyRemovalLines() + NoOrganizerLines());
    }
    EXPECT_TRUE(PathExists(outside + L"\\" + kLinkFile));
    EXPECT_TRUE(PathExists(sandbox.path() + L"\\Empty"));
}

// Another program (the shell's icon extraction, the indexer, a virus
// scanner) holds both shortcuts open and shares their deletion: the
// reinstall still saves them anew, and they are there once it lets go.
TEST_F(ShortcutRemovalTest, ReinstallOfShortcutsHeldOpenLeavesBoth) {
    Run(PostPayload, Install);
    std::vector<FileHandle> held;
    for (const std::wstring& link : {desktopLink, programsLink}) {
        held.emplace_back(CreateFileW(link.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.back().valid());
    }
    const Lines lines = Run(PostPayload, Reinstall);
    held.clear();
    EXPECT_EQ(CountLines(lines, "VLX: END - Link Creation Successful"), 2u);
    EXPECT_TRUE(PathExists(desktopLink));
    EXPECT_TRUE(PathExists(programsLink));
    WIN32_FIND_DATAW entry;
    for (const std::wstring& folder : {CommonDesktop(), CommonPrograms()}) {
        EXPECT_FALSE(FindHandle(FindFirstFileW((folder + L"\\~VLX*").c_str(), &entry)).valid()) << "left behind";
    }
}

// The emptied Start-menu folder is held open by Explorer: with POSIX semantics
// it leaves its parent at once, and the walk removes the parent too; with the
// old mark the parent is not empty yet, and the walk stops there.
TEST_F(ShortcutRemovalTest, EmptiedFolderHeldOpenLeavesItsParentOnlyWithPosixDeletion) {
    state.SetOption(L"STARTMENULOCATION", std::wstring(kMediaFolder) + L"\\Video");
    Run(PostPayload, Install);
    FileHandle holder(CreateFileW(Video().c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(holder.valid());
    pauses.clear();
    const Lines lines = Run(PostPayload, Uninstall);
    holder.reset();
    const bool posix = Windows10DeletionWay();
    EXPECT_EQ(CountLines(lines, "VLX: Directory Empty. Delete."), posix ? 2u : 1u);
    EXPECT_FALSE(PathExists(Video()));
    EXPECT_EQ(PathExists(Media()), !posix);
    EXPECT_EQ(pauses.pauses().size(), posix ? 2u : 1u);
}

TEST_F(ShortcutRemovalTest, ReinstallRemovesAndRecreates) {
    state.SetOption(L"PINWSTOTASKBAR", L"1");
    Run(PostPayload, Install);
    WritePin(L"C:\\stale\\" + std::wstring(kLinkFile));
    state.SetOption(L"NODESKTOPICON", L"1");
    EXPECT_EQ(Run(PostPayload, Reinstall),
              L4s({"In PostPayloadReinstallProc"}) + PlainRemovalLines() +
                  RegisterFiltersLines(ToUtf8(installDir)) +
                  L4s({kOpenOptionKeyLine, "VLX: Query NODESKTOPICON Success",
                       "VLX: Query PINWSTOTASKBAR Success"}) +
                  InstallDir() + StartMenuCreationLines(programsLink, false) +
                  L4s({kPinSetLine, "VLX: Start CreateRegPinVLXWelcomeScreenToTaskBar"}));
    EXPECT_FALSE(PathExists(desktopLink)) << "removed, and not made again";
    EXPECT_TRUE(PathExists(programsLink));
    EXPECT_EQ(ReadPin().text(), programsLink);
}

}  // namespace
