// A link planted on the way to anything the hook deletes, prunes or opens to
// Everyone: what it leads to stays untouched, the plain items beside it are
// still handled, and the log says what was skipped.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/nt_file.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/links.h"
#include "tests/support/machine.h"
#include "tests/support/processes.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"
#include "tests/support/snapshot.h"

namespace {

struct Phase {
    InstallMode mode;
    EntryMode entry;
};

// A place on the populated machine: a folder it has (or the pinned copy in
// a profile), and a path below it. kDataFolderOpened is no place, but the
// data folder opened to Everyone.
enum Anchor { kApp, kOrganizer, kProfile, kDefaultProfile, kProfilePin, kDefaultPin, kCommonAppData, kDataFolderOpened };
struct At {
    Anchor anchor;
    const wchar_t* relative;
};

std::wstring PathOf(const PopulatedMachine& m, const At& at) {
    const std::wstring pinned = std::wstring(L"\\") + kPinnedLinkBelowProfile;
    const std::wstring anchors[] = {m.app(),          m.organizer(),
                                    m.profile(),      m.sandbox() / L"Default",
                                    m.profile() + pinned, m.sandbox() / L"Default" + pinned,
                                    CommonAppData()};
    return anchors[at.anchor] + at.relative;
}

struct LinkCase {
    const char* name;
    size_t skipped;  // the link lines: one per item skipped
    // Where the link goes: what is there now moves beside it and becomes
    // the link's target.
    At link;
    std::vector<Phase> phases;
    // A plain item of the same phases, still handled: gone afterwards.
    At handled;
    // A hard link is a second name of a file, made read-only here: neither
    // the file nor its attributes may change through it.
    LinkKind kind = LinkKind::kSymbolic;
};

bool Handled(const PopulatedMachine& m, const At& handled) {
    return handled.anchor == kDataFolderOpened ? EveryoneHasFullAccess(DataFolder()) : !PathExists(PathOf(m, handled));
}

class LinkTest : public testing::TestWithParam<LinkCase> {
protected:
    void SetUp() override {
        // The default profile, with its own pinned copy.
        defaultFolder = machine.sandbox() / L"Default";
        ASSERT_TRUE(defaultProfile.Set(defaultFolder, REG_EXPAND_SZ));
        ASSERT_TRUE(WriteTextFile(defaultFolder + L"\\" + kPinnedLinkBelowProfile, "lnk"));
    }

    PopulatedMachine machine;
    ScopedRegistryValue defaultProfile{HKEY_LOCAL_MACHINE, kProfileListKey, L"Default"};
    std::wstring defaultFolder;
    HookDll hook;
    CreateProcessRecorder noTools{hook.module(), Children::kRefuse};
    PauseRecorder noPauses{hook.module()};
};

// What a link on the way leads to stays untouched; a base folder that is
// itself a link (an administrator moved it; no line) is trusted, and the
// items below it are handled as anywhere else.
TEST_P(LinkTest, OnlyAMovedBaseIsFollowed) {
    const LinkCase& c = GetParam();
    const std::wstring link = PathOf(machine, c.link);
    // Out of the way of everything the phases touch, on the same drive.
    const std::wstring elsewhere =
        link.compare(0, CommonAppData().size(), CommonAppData()) == 0 ? CommonAppData() + L"\\VLX Elsewhere"
                                                                     : machine.sandbox() / L"Elsewhere";
    const std::wstring target = elsewhere + link.substr(link.find_last_of(L'\\'));
    ASSERT_TRUE(MakeFolders(elsewhere));
    ASSERT_TRUE(MoveFileW(link.c_str(), target.c_str()));
    std::unique_ptr<ScopedLink> planted(new ScopedLink(link, target, c.kind));
    ASSERT_TRUE(planted->made());
    if (c.kind == LinkKind::kHard) {
        ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    const FileSnapshot before = SnapshotFiles(target);
    // Wine lists a link to a file as the file; Windows lists the link.
    std::unique_ptr<ListingAnswer> listing;
    if (c.kind == LinkKind::kSymbolic && (GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        listing.reset(new ListingAnswer(hook.module(), ReparsePointAt(link.substr(link.find_last_of(L'\\') + 1))));
    }

    LogCapture capture;
    for (const Phase& phase : c.phases) {
        EXPECT_EQ(hook.Proc(machine.properties(), phase.entry, phase.mode), 0);
    }

    if (c.skipped > 0) {
        EXPECT_EQ(Difference(before, SnapshotFiles(target)), "");
    }
    EXPECT_TRUE(Handled(machine, c.handled)) << "the plain item beside the link";
    EXPECT_EQ(CountLines(capture.lines(), kLinkSkippedLine), c.skipped);
    planted.reset();
    RemoveTree(elsewhere);
}

// A folder swapped for a link between its listing and its open, as a user
// racing the hook would (Wine's open follows the link): what opens is not the
// entry listed, and nothing behind the link or of the folder moved changes.
TEST_F(LinkTest, FolderSwappedBetweenItsListingAndItsOpenIsRefused) {
    const std::wstring info = machine.app() + L"\\Settings\\Info";
    const std::wstring moved = machine.sandbox() / L"Moved";
    const std::wstring decoy = machine.sandbox() / L"Decoy";
    ASSERT_TRUE(WriteTextFile(decoy + L"\\CustomCredits", "decoy") && WriteTextFile(decoy + L"\\TeamNames", "decoy"));
    const FileSnapshot infoBefore = SnapshotFiles(info);
    const FileSnapshot decoyBefore = SnapshotFiles(decoy);
    std::unique_ptr<ScopedLink> swapped;
    ImportPatch<decltype(NtCreateFile)> swap(hook.module(), "NtCreateFile", [&](auto file, auto access, auto object,
                                                                               auto... rest) {
        if (!swapped && std::wstring(object->ObjectName->Buffer, object->ObjectName->Length / 2) == L"Info") {
            MoveFileW(info.c_str(), moved.c_str());
            swapped.reset(new ScopedLink(info, decoy));
        }
        return swap.original()(file, access, object, rest...);
    });
    LogCapture capture;
    EXPECT_EQ(hook.Proc(machine.properties(), PrePayload, Uninstall), 0);
    ASSERT_TRUE(swapped && swapped->made());
    // The file whose folder's open met the swap, and the one of the others that the decoy has too.
    EXPECT_EQ(CountLines(capture.lines(), kLinkSkippedLine), 2u);
    EXPECT_EQ(Difference(decoyBefore, SnapshotFiles(decoy)), "");
    EXPECT_EQ(Difference(infoBefore, SnapshotFiles(moved)), "");
}

const Phase kReinstallPrePayload = {Reinstall, PrePayload};
const Phase kInstallSessionClose = {Install, SessionClose};
const Phase kUninstallPrePayload = {Uninstall, PrePayload};
const Phase kUninstallPostPayload = {Uninstall, PostPayload};

const At kDataAccess = {kDataFolderOpened, L""};
const At kCatalog = {kCommonAppData, kCatalogBelowCommonAppData};

INSTANTIATE_TEST_SUITE_P(
    Places, LinkTest,
    testing::Values(
        // The common application data folder: any user may create folders there.
        LinkCase{"CatalogFolder", 1, {kCommonAppData, L"\\Kestrune\\ZTV"}, {kReinstallPrePayload, kInstallSessionClose},
                 kDataAccess},
        LinkCase{"DataFolder", 1, {kCommonAppData, L"\\Kestrune\\Montavo Fablio"},
                 {kInstallSessionClose, kReinstallPrePayload}, kCatalog},
        // A profile belongs to its user; the default profile is guarded too.
        LinkCase{"DefaultProfile", 1, {kDefaultProfile, L"\\AppData\\Roaming\\Microsoft"}, {kUninstallPostPayload},
                 {kProfilePin, L""}},
        LinkCase{"ListedProfile", 1, {kProfile, L"\\AppData\\Roaming"}, {kUninstallPostPayload},
                 {kDefaultPin, L""}},
        // The install folder may belong to a standard user.
        LinkCase{"OemFolder", 8, {kApp, L"\\Settings\\Info"}, {kUninstallPrePayload}, {kApp, L"\\MediaIO"}},
        LinkCase{"PrunedTree", 9, {kApp, L"\\Settings"}, {kUninstallPrePayload}, {kApp, L"\\MediaIO"}},
        // The organizer's folder.
        LinkCase{"CaHeadlessFolder", 6, {kOrganizer, L"\\CAHeadless"}, {kUninstallPostPayload},
                 {kProfilePin, L""}},
        LinkCase{"CodecFile", 1, {kOrganizer, L"\\CAHeadless\\mc_dec_amr.dll"}, {kUninstallPostPayload},
                 {kOrganizer, L"\\CAHeadless\\mc_dec_dd.dll"}},
        // A second name of a file that is not the hook's, at each kind of
        // file the hook deletes (plainly or forced).
        LinkCase{"HardLinkedCodecFile", 1, {kOrganizer, L"\\CAHeadless\\mc_dec_amr.dll"}, {kUninstallPostPayload},
                 {kOrganizer, L"\\CAHeadless\\mc_dec_dd.dll"}, LinkKind::kHard},
        LinkCase{"HardLinkedOemFile", 1, {kApp, L"\\ols_config.xml"}, {kUninstallPrePayload},
                 {kApp, L"\\MFDolbyEncoder.dll"}, LinkKind::kHard},
        LinkCase{"HardLinkedCatalog", 1, kCatalog, {kReinstallPrePayload, kInstallSessionClose}, kDataAccess,
                 LinkKind::kHard},
        LinkCase{"HardLinkedPinnedCopy", 1, {kProfilePin, L""}, {kUninstallPostPayload},
                 {kDefaultPin, L""}, LinkKind::kHard},
        LinkCase{"MovedInstallFolder", 0, {kApp, L""}, {kUninstallPrePayload}, {kApp, L"\\ols_config.xml"}},
        LinkCase{"MovedOrganizerFolder", 0, {kOrganizer, L""}, {kUninstallPostPayload},
                 {kOrganizer, L"\\CAHeadless\\mc_dec_dd.dll"}}),
    [](const testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

}  // namespace
