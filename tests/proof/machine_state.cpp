#include "tests/proof/harness.h"

#include <algorithm>

#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/payload.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), towlower);
    return text;
}

bool IsAtOrBelow(const std::wstring& path, const std::wstring& place) {
    const std::wstring p = Lower(path);
    const std::wstring q = Lower(place);
    return p == q || (p.size() > q.size() && p.compare(0, q.size(), q) == 0 && p[q.size()] == L'\\');
}

// Registry keys of the state, each under a label with its view.
struct WatchedKey {
    const wchar_t* label;
    HKEY root;
    std::wstring subKey;
    REGSAM view;
};

std::vector<WatchedKey> WatchedKeys() {
    const std::wstring options = kOptionParentKey;
    const std::wstring organizer = L"Software\\" VLX_COMPANY_NAME;
    return {
        {L"HKLM:options", HKEY_LOCAL_MACHINE, options, 0},
        {L"HKLM64:options", HKEY_LOCAL_MACHINE, options, KEY_WOW64_64KEY},
        {L"HKLM:pin", HKEY_LOCAL_MACHINE, kPinKey, 0},
        {L"HKLM64:pin", HKEY_LOCAL_MACHINE, kPinKey, KEY_WOW64_64KEY},
        {L"HKLM:vendor", HKEY_LOCAL_MACHINE, organizer, 0},
        {L"HKLM64:vendor", HKEY_LOCAL_MACHINE, organizer, KEY_WOW64_64KEY},
        {L"HKLM:profiles", HKEY_LOCAL_MACHINE, kProfileListKey, 0},
        {L"HKLM:records", HKEY_LOCAL_MACHINE, kDeletionRecordsKey, 0},
        {L"HKLM64:records", HKEY_LOCAL_MACHINE, kDeletionRecordsKey, KEY_WOW64_64KEY},
    };
}

std::vector<std::pair<std::wstring, FolderAccess>> ShellFolders() {
    static const std::wstring desktop = CommonDesktop();
    static const std::wstring programs = CommonPrograms();
    return {{desktop, FolderAccess::kIgnored}, {programs, FolderAccess::kIgnored}};
}

void AddFiles(const std::wstring& folder, FolderAccess access, MachineState* state) {
    for (const auto& entry : SnapshotFiles(folder, access)) {
        state->files[entry.first.empty() ? folder : folder + L"\\" + entry.first] = entry.second;
    }
}

}  // namespace

void TakeRegistryState(MachineState* state) {
    state->registry.clear();
    for (const WatchedKey& key : WatchedKeys()) {
        SnapshotRegistry(key.root, key.subKey, key.view, key.label, &state->registry);
    }
}

void TakeShellFolderState(MachineState* state) {
    for (const auto& folder : ShellFolders()) {
        for (auto entry = state->files.begin(); entry != state->files.end();) {
            const bool below = entry->first.compare(0, folder.first.size(), folder.first) == 0;
            entry = below ? state->files.erase(entry) : std::next(entry);
        }
        AddFiles(folder.first, folder.second, state);
    }
}

MachineState TakeState(const Places& places) {
    MachineState state;
    // Folder access lists are recorded where the permission fix works; no
    // action of the hook changes one anywhere else but through a link, which
    // the link tests cover.
    static const std::wstring vendor = VendorDataFolder();
    AddFiles(places.sandbox, FolderAccess::kIgnored, &state);
    AddFiles(vendor, FolderAccess::kRecorded, &state);
    for (const auto& folder : ShellFolders()) {
        AddFiles(folder.first, folder.second, &state);
    }
    TakeRegistryState(&state);
    return state;
}

namespace {

bool ActionRuns(const PhaseFacts& phase, const ActionFrame& frame) {
    return std::find(phase.actions.begin(), phase.actions.end(), &frame) != phase.actions.end();
}

// The places a phase's actions may change: files and folders at or below
// each place, and registry entries below each label.
struct Allowed {
    std::vector<std::wstring> files;
    std::vector<std::wstring> keys;
    bool pinnedCopies = false;  // the pinned shortcut in any profile
};

Allowed AllowedFor(const PhaseFacts& phase, const Places& places) {
    Allowed allowed;
    const bool shortcuts = ActionRuns(phase, kCreateShortcutsFrame) || ActionRuns(phase, kDeleteShortcutsFrame);
    if (shortcuts) {
        allowed.files.push_back(CommonDesktop() + L"\\" + kLinkFile);
        allowed.files.push_back(CommonPrograms() + L"\\" + kLinkFile);
        if (!places.startMenuFolder.empty()) {
            allowed.files.push_back(CommonPrograms() + L"\\" + places.startMenuFolder);
        }
        // The pin lives in the 64-bit view, which is the only one on 32-bit Windows.
        allowed.keys.push_back(L"HKLM64:pin");
        if (!InWin64Prefix()) {
            allowed.keys.push_back(L"HKLM:pin");
        }
    }
    allowed.pinnedCopies = ActionRuns(phase, kDeleteShortcutsFrame);
    if (ActionRuns(phase, kDeleteOptionKeyFrame)) {
        allowed.keys.push_back(L"HKLM:options");
        if (!InWin64Prefix()) {
            allowed.keys.push_back(L"HKLM64:options");
        }
    }
    if (ActionRuns(phase, kOrganizerCleanupFrame)) {
        for (const wchar_t* file : kCaHeadlessFiles) {
            allowed.files.push_back(places.organizer + L"\\CAHeadless" + file);
        }
    }
    if (ActionRuns(phase, kOemFilesFrame)) {
        // The listed files, and the trees pruned after them.
        for (const auto* list : {&kOemFiles, &kOemFolders}) {
            for (const wchar_t* place : *list) {
                allowed.files.push_back(places.app + place);
            }
        }
    }
    if (phase.entry == PrePayload && phase.mode != Install) {
        allowed.files.push_back(CatalogDatabase());
    }
    if (ActionRuns(phase, kFixPermissionFrame)) {
        allowed.files.push_back(DataFolder());
        // The push's record stays where its removal fails, for the next run;
        // 32-bit Windows has one view.
        allowed.keys.push_back(L"HKLM:records");
        if (!InWin64Prefix()) {
            allowed.keys.push_back(L"HKLM64:records");
        }
    }
    return allowed;
}

bool MayChange(const std::wstring& what, const Allowed& allowed) {
    for (const std::wstring& place : allowed.files) {
        if (IsAtOrBelow(what, place)) {
            return true;
        }
    }
    for (const std::wstring& label : allowed.keys) {
        if (what.compare(0, label.size(), label) == 0 &&
            (what.size() == label.size() || what[label.size()] == L'\\' || what[label.size()] == L'=')) {
            return true;
        }
    }
    const std::wstring pinned = Lower(kPinnedLinkBelowAppData);
    const std::wstring lower = Lower(what);
    return allowed.pinnedCopies && lower.size() >= pinned.size() &&
           lower.compare(lower.size() - pinned.size(), pinned.size(), pinned) == 0;
}

}  // namespace

std::vector<std::string> ChangeLines(const MachineState& before, const MachineState& after,
                                     const std::function<bool(const std::wstring&)>& allowed) {
    std::vector<std::string> lines;
    for (const bool files : {true, false}) {
        for (const Change& change :
             files ? Changes(before.files, after.files) : Changes(before.registry, after.registry)) {
            if (!allowed || !allowed(change.what)) {
                lines.push_back(std::string(change.how) + " " + ToUtf8(change.what));
            }
        }
    }
    return lines;
}

std::vector<std::string> ForbiddenChanges(const MachineState& before, const MachineState& after,
                                          const PhaseFacts& phase, const Places& places) {
    const Allowed allowed = AllowedFor(phase, places);
    return ChangeLines(before, after, [&](const std::wstring& what) { return MayChange(what, allowed); });
}

void RestoreFiles(const FileSnapshot& target, const FileSnapshot& now,
                  const std::map<std::wstring, std::string>& contents) {
    // Parents come before their children in the map's order; what lies below
    // a folder made anew is made again too.
    std::wstring remade = L"\n";
    for (const auto& entry : target) {
        const std::wstring& path = entry.first;
        const auto current = IsAtOrBelow(path, remade) ? now.end() : now.find(path);
        if (current != now.end() && current->second == entry.second) {
            continue;
        }
        const auto content = contents.find(path);
        if (content != contents.end()) {
            WriteTextFile(path, content->second);
        } else {
            // A folder, or a file whose content is not known: made anew.
            if (current != now.end()) {
                RemoveTree(path);
                remade = path;
            }
            MakeFolders(path);
        }
    }
    for (const auto& entry : now) {
        if (target.find(entry.first) == target.end()) {
            RemoveTree(entry.first);
        }
    }
}
