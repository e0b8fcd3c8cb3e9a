// The growth series: the profile sweep, the pruning of an OEM folder tree,
// the Start-menu walk and the grant's push, each at several sizes, on the
// tests' populated machine as an uninstall leaves it (a further run changes
// nothing but what a series adds), each with its floor (growth.h: how they
// are measured).
#include <windows.h>
#include <aclapi.h>
#include <shlwapi.h>

#include "bench/bench.h"
#include "bench/growth.h"
#include "tests/support/machine.h"
#include "tests/support/processes.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

// Profiles in the machine's profile list, none with a pinned copy.
std::wstring ProfileKey(int i) {
    return std::wstring(kProfileListKey) + L"\\S-1-5-21-1000-2000-3000-" + std::to_wstring(10000 + i);
}

// The sweep's calls for each profile, as the per-user folder reader makes
// them: the list opened for each name, the profile's folder read, the
// pinned copy looked for (there is none, so the answer is not used).
void SweepFloor(int count, const std::wstring& folder) {
    for (int i = 0; i < count; ++i) {
        HKEY key = nullptr;
        wchar_t name[MAX_PATH];
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileListKey, 0, KEY_READ, &key);
        RegEnumKeyW(key, static_cast<DWORD>(i), name, MAX_PATH);
        RegCloseKey(key);
        wchar_t value[MAX_PATH];
        DWORD size = sizeof(value);
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, ProfileKey(i).c_str(), 0, KEY_READ, &key);
        RegQueryValueExW(key, L"ProfileImagePath", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(key);
        (void)PathFileExistsW((folder + L"\\User" + std::to_wstring(i) + L"\\AppData\\Roaming" +
                               kPinnedLinkBelowAppData).c_str());
    }
}

// A tree of count folders below root, ten to a folder, breadth first; with
// a file in each folder or none.
void MakeTree(const std::wstring& root, int count, bool withFiles) {
    std::vector<std::wstring> folders = {root};
    MakeFolders(root);
    for (int i = 1; i <= count; ++i) {
        folders.push_back(folders[static_cast<size_t>((i - 1) / 10)] + L"\\d" + std::to_wstring(i));
        CreateDirectoryW(folders.back().c_str(), nullptr);
        if (withFiles) {
            WriteTextFile(folders.back() + L"\\f.dat", "x");
        }
    }
}

// The pruning as plain calls: each folder listed, and removed when it holds
// no file (read-only, hidden and system cleared first where set, as its
// listing entry tells).
bool PruneFloor(const std::wstring& folder, DWORD attributes = 0) {
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((folder + L"\\*.*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return true;
    }
    bool holdsFile = false;
    do {
        if (entry.cFileName[0] != L'.') {
            const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            holdsFile = (isFolder ? PruneFloor(folder + L"\\" + entry.cFileName, entry.dwFileAttributes) : true) ||
                        holdsFile;
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    if (!holdsFile) {
        if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) {
            SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        RemoveDirectoryW(folder.c_str());
    }
    return holdsFile;
}

// The grant's push as the platform makes it, by names: each item below
// folder (at its top the one named only, when given) listed, its list read,
// and written again by its path with the entry it inherits from the data
// folder's (Everyone, all access; a folder passes it on).
void GrantFloor(const std::wstring& folder, PSID everyone, const wchar_t* only = nullptr) {
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((folder + L"\\*.*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if (wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0 ||
            (only != nullptr && wcscmp(entry.cFileName, only) != 0)) {
            continue;
        }
        const std::wstring path = folder + L"\\" + entry.cFileName;
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        PACL list = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list,
                                  nullptr, &descriptor) == ERROR_SUCCESS &&
            list != nullptr) {
            std::vector<BYTE> granted(list->AclSize + 64);
            const auto added = reinterpret_cast<PACL>(granted.data());
            InitializeAcl(added, static_cast<DWORD>(granted.size()), list->AclRevision);
            for (DWORD i = 0; i < list->AceCount; ++i) {
                void* ace = nullptr;
                GetAce(list, i, &ace);
                AddAce(added, list->AclRevision, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize);
            }
            AddAccessAllowedAceEx(added, ACL_REVISION,
                                  INHERITED_ACE | (isFolder ? OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE : 0),
                                  FILE_ALL_ACCESS, everyone);
            SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, added, nullptr);
        }
        LocalFree(descriptor);
        if (isFolder) {
            GrantFloor(path, everyone);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

// The Start-menu location of count levels below the programs folder.
std::wstring Location(int count) {
    std::wstring location;
    for (int level = 1; level <= count; ++level) {
        location += (level > 1 ? L"\\W" : L"W") + std::to_wstring(level);
    }
    return location;
}

}  // namespace

void MeasureSeries(const BenchOptions& options, Table* table) {
    const BenchHook hook(options.dll, BenchHook::kShortCircuited);
    PopulatedMachine machine;
    const PropertyMap* properties = machine.properties();
    hook.Run(properties, Uninstall, PrePayload);
    hook.Run(properties, Uninstall, PostPayload);
    const bool quick = options.quick;
    const int repetitions = quick ? 4 : 21;
    const std::vector<int> sizes = quick ? std::vector<int>{200, 1000} : std::vector<int>{200, 2000, 10000};

    const std::wstring profiles = machine.sandbox() / L"Profiles";
    int laidOutProfiles = 0;
    // The series that --series names, or all of them.
    const auto measure = [&](const Series& series) {
        if (options.series.empty() || options.series == series.name) {
            MeasureGrowth(hook, properties, series, repetitions, table);
        }
    };
    measure(Series{"sweep", "Profile sweep (uninstall PostPayload), per profile", "profile", Uninstall, PostPayload, 0,
                   sizes,
                   [&](int count) {
                       for (; laidOutProfiles < count; ++laidOutProfiles) {
                           ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, ProfileKey(laidOutProfiles),
                                                          L"ProfileImagePath",
                                                          profiles + L"\\User" + std::to_wstring(laidOutProfiles),
                                                          REG_EXPAND_SZ, 0);
                       }
                       for (; laidOutProfiles > count; --laidOutProfiles) {
                           RegDeleteKeyW(HKEY_LOCAL_MACHINE, ProfileKey(laidOutProfiles - 1).c_str());
                       }
                   },
                   [&](int count) { SweepFloor(count, profiles); }, nullptr, false});

    const std::wstring tree = machine.app() + L"\\MediaIO";
    for (const bool withFiles : {false, true}) {
        measure(Series{withFiles ? "pruning-kept" : "pruning-removed",
                       withFiles ? "Pruning (uninstall PrePayload), per folder: a file in each, all kept"
                                 : "Pruning (uninstall PrePayload), per folder: all empty, all removed",
                       "folder", Uninstall, PrePayload, 0, sizes,
                       [&](int count) {
                           RemoveTree(tree);
                           if (count > 0) {
                               MakeTree(tree, count, withFiles);
                           }
                       },
                       [&](int) { PruneFloor(tree); }, nullptr, !withFiles});
    }

    // The option key names the location, its folders are there and empty
    // but for the shortcut; without levels the shortcut lies in the programs
    // folder itself. The floor makes each level's calls and lines as the
    // walk does, innermost first, on paths made beforehand; the shortcut is
    // gone first, as the hook's run at one level takes it too.
    const std::wstring programs = CommonPrograms();
    std::vector<std::wstring> levels;
    measure(Series{"walk", "Start-menu walk (uninstall PostPayload), per level of the custom folder, against 1 level",
                   "level", Uninstall, PostPayload, 1, quick ? std::vector<int>{8, 32} : std::vector<int>{4, 8, 16, 32},
                   [&](int count) {
                       RemoveTree(programs + L"\\W1");
                       ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, kOptionKey, L"STARTMENULOCATION",
                                                      Location(count), REG_SZ, 0);
                       const std::wstring folder = programs + (count > 0 ? L"\\" + Location(count) : L"");
                       WriteTextFile(folder + L"\\" + kLinkFile, "lnk");
                   },
                   [&](int) {
                       for (const std::wstring& level : levels) {
                           char utf8[MAX_PATH * 3];
                           PathIsDirectoryEmptyW(level.c_str());
                           WideCharToMultiByte(CP_UTF8, 0, level.c_str(), -1, utf8, sizeof(utf8), nullptr, nullptr);
                           RemoveDirectoryW(level.c_str());
                           NoPause(1000);
                       }
                   },
                   [&](int count) {
                       levels.clear();
                       for (int level = count; level > 0; --level) {
                           levels.push_back(programs + L"\\" + Location(level));
                       }
                       if (!levels.empty()) {
                           DeleteFileW((levels.front() + L"\\" + kLinkFile).c_str());
                       }
                   },
                   true});
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kOptionParentKey);
    DeleteFileW((programs + L"\\" + kLinkFile).c_str());

    // The data folder holds a tree of count items (half folders, each with a
    // file); the hook's run at install SessionClose writes every item anew,
    // since Wine reads no list back as granted.
    const std::wstring granted = DataFolder() + L"\\Tree";
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    measure(Series{"grant", "The grant's push (install SessionClose), per item below the data folder", "item",
                   Install, SessionClose, 0, sizes,
                   [&](int count) {
                       RemoveTree(granted);
                       if (count > 0) {
                           MakeTree(granted, count / 2, true);
                       }
                   },
                   [&](int) { GrantFloor(DataFolder(), everyone, L"Tree"); }, nullptr, false});
    FreeSid(everyone);
}
