#include "bench/floor.h"

#include <aclapi.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <stdio.h>

#include <algorithm>

#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/payload.h"
#include "tests/support/shell.h"
#include "tests/support/short_circuit.h"

namespace {

const int kLevel = 4;
const REGSAM k64 = KEY_WOW64_64KEY;
const wchar_t kDefaultShellFolders[] =
    L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::wstring Regsvr32(const wchar_t* switches, const std::wstring& file) {
    return WindowsFolder() + L"\\System32\\Regsvr32.exe " + switches + L"\"" + file + L"\"";
}

// The path with each %NAME% of a component replaced by the variable's value,
// as the pinned-copy sweep expands it: one lookup per component that has one.
void Expand(const wchar_t* value, wchar_t (&path)[MAX_PATH * 2]) {
    path[0] = L'\0';
    const wchar_t* c = value;
    while (*c != L'\0') {
        const wchar_t* end = wcschr(c, L'\\');
        const size_t length = end != nullptr ? static_cast<size_t>(end - c) : wcslen(c);
        const wchar_t* open = wmemchr(c, L'%', length);
        const wchar_t* close = open != nullptr ? wmemchr(open + 1, L'%', length - (open + 1 - c)) : nullptr;
        if (close != nullptr) {
            wchar_t name[MAX_PATH] = {};
            wmemcpy(name, open + 1, static_cast<size_t>(close - open - 1));
            wchar_t variable[MAX_PATH] = {};
            GetEnvironmentVariableW(name, variable, MAX_PATH);
            wcscat(path, variable);
        } else {
            wcsncat(path, c, length);
        }
        if (end == nullptr) {
            break;
        }
        wcscat(path, L"\\");
        c = end + 1;
    }
}

}  // namespace

Floor::Floor(const FloorPlaces& places, LogCallback callback)
    : places_(places),
      callback_(callback),
      target_(places.app + VLX_WIDE(VLX_WELCOME_SCREEN)),
      desktopLink_(CommonDesktop() + L"\\" + kLinkFile) {
    const std::wstring& app = places_.app;
    std::wstring folder = CommonPrograms();
    if (!places_.startMenuFolder.empty()) {
        // Every folder from the drive's first one down, as the creation checks them.
        const std::wstring full = folder + L"\\" + places_.startMenuFolder;
        for (size_t at = full.find(L'\\', full.find(L'\\') + 1); at != std::wstring::npos;
             at = full.find(L'\\', at + 1)) {
            startMenuFolders_.push_back(full.substr(0, at));
        }
        startMenuFolders_.push_back(full);
        customLevels_ = 1 + static_cast<size_t>(std::count(places_.startMenuFolder.begin(),
                                                            places_.startMenuFolder.end(), L'\\'));
        folder = full;
    }
    programsLink_ = folder + L"\\" + kLinkFile;
    for (const wchar_t* entry : kFiltersToRegister) {
        registerCommands_.push_back(Regsvr32(L"/s ", app + entry));
    }
    for (const wchar_t* entry : kFiltersToUnregister) {
        unregisterCommands_.push_back(Regsvr32(L"/s /u ", app + entry));
    }
    analyzerCommand_ = L"\"" + app + VLX_WIDE(VLX_ANALYZER) + L"\" -uninstall";
    for (const wchar_t* entry : kOemFiles) {
        oemFiles_.push_back(app + entry);
    }
    for (const wchar_t* entry : kOemFolders) {
        oemFolders_.push_back(app + entry);
    }
    for (const wchar_t* entry : kCaHeadlessFiles) {
        organizerFiles_.push_back(places_.organizer + L"\\CAHeadless" + entry);
    }
    catalog_ = CatalogDatabase();
    dataFolder_ = DataFolder();
}

void Floor::Line(const char* text) const {
    callback_(text, kLevel);
}

void Floor::WideLine(const wchar_t* text) const {
    char utf8[1024];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
    callback_(utf8, kLevel);
}

void Floor::FormattedLine(const wchar_t* format, const wchar_t* text) const {
    wchar_t line[1024];
    _snwprintf(line, 1023, format, text);
    line[1023] = L'\0';
    WideLine(line);
}

void Floor::InstallDir() const {
    const char* value = places_.installDirUtf8.c_str();
    Line("Extracting INSTALLDIR...");
    Line(value);
    const int length = static_cast<int>(places_.installDirUtf8.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, value, length, nullptr, 0);
    wchar_t* wide = static_cast<wchar_t*>(malloc((needed + 1) * sizeof(wchar_t)));
    MultiByteToWideChar(CP_UTF8, 0, value, length, wide, needed);
    free(wide);
}

void Floor::PreSystemCheck() const {
    Line("VLX: 32 bit installer running");
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (wow64) {
        Line("VLX: 32 installer running on Win7 and above 64 bit machine");
        callback_("This installer does not support installation on a 64-Bit Windows operating system.", 2);
    }
}

void Floor::RunChild(const std::wstring& command) const {
    std::wstring line = command;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION information = {};
    if (StartNothing(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                     &information)) {
        WaitForSingleObject(information.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(information.hProcess, &code);
        CloseHandle(information.hThread);
        CloseHandle(information.hProcess);
    }
}

void Floor::Filters(const std::vector<std::wstring>& commands, const std::vector<const wchar_t*>& entries,
                    const char* begin, const char* end) const {
    Line(begin);
    InstallDir();
    for (size_t i = 0; i < commands.size(); ++i) {
        WideLine(entries[i]);
        wchar_t windows[MAX_PATH];
        GetWindowsDirectoryW(windows, MAX_PATH);
        OSVERSIONINFOW version = {};
        version.dwOSVersionInfoSize = sizeof(version);
        GetVersionExW(&version);
        RunChild(commands[i]);
    }
    Line(end);
}

void Floor::CreateLink(const std::wstring& link) const {
    Line("VLX: BEGIN - Link Creation");
    CoInitialize(nullptr);
    IShellLinkW* shellLink = nullptr;
    CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                     reinterpret_cast<void**>(&shellLink));
    Line("VLX: Entering CoCreateInstance succeded block");
    shellLink->SetPath(target_.c_str());
    shellLink->SetDescription(L"");
    IPersistFile* file = nullptr;
    shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    Line("VLX: Entering QueryInterface succeeded block");
    file->Save(link.c_str(), TRUE);
    Line("VLX: END - Link Creation Successful");
    file->Release();
    shellLink->Release();
    CoUninitialize();
}

void Floor::CreateShortcuts() const {
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOptionKey, 0, KEY_ALL_ACCESS, &key);
    Line("VLX: Open HKEY_LOCAL_MACHINE\\" VLX_OPTION_KEY " success");
    for (const wchar_t* name : {L"NODESKTOPICON", L"PINWSTOTASKBAR", L"STARTMENULOCATION"}) {
        wchar_t value[MAX_PATH];
        DWORD size = sizeof(value);
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
        Line("VLX: Query option Success");
    }
    RegCloseKey(key);
    InstallDir();

    wchar_t folder[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, folder);
    PathRemoveBackslashW(folder);
    Line("VLX: Creating Desktop Shortcut");
    CreateLink(desktopLink_);
    Line("VLX: Shortcut Location: ");
    WideLine(desktopLink_.c_str());
    Line("VLX: Exe Location: ");
    WideLine(target_.c_str());

    SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, folder);
    Line("VLX: Creating Start Menu Shortcut");
    if (!startMenuFolders_.empty()) {
        Line("VLX: Custom STARTMENULOCATION set.");
        if (!PathFileExistsW(startMenuFolders_.back().c_str())) {
            for (const std::wstring& prefix : startMenuFolders_) {
                if (GetFileAttributesW(prefix.c_str()) == INVALID_FILE_ATTRIBUTES) {
                    CreateDirectoryW(prefix.c_str(), nullptr);
                }
            }
        }
    }
    Line("VLX: Shortcut Location: ");
    WideLine(programsLink_.c_str());
    Line("VLX: Exe Location: ");
    WideLine(target_.c_str());
    CreateLink(programsLink_);

    Line("VLX: PINWSTOTASKBAR set to TRUE.");
    Line("VLX: Start CreateRegPinVLXWelcomeScreenToTaskBar");
    HKEY pin = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPinKey, 0, nullptr, REG_OPTION_NON_VOLATILE, k64, nullptr, &pin, nullptr);
    RegCloseKey(pin);
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPinKey, 0, KEY_ALL_ACCESS | k64, &pin);
    RegSetValueExW(pin, kPinValueName, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(programsLink_.c_str()),
                   static_cast<DWORD>((programsLink_.size() + 1) * sizeof(wchar_t)));
    RegFlushKey(pin);
    RegCloseKey(pin);
}

void Floor::DeleteShortcuts() const {
    wchar_t folder[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, folder);
    Line("VLX: Deleting Desktop Shortcut.");
    WideLine(desktopLink_.c_str());
    SetFileAttributesW(desktopLink_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(desktopLink_.c_str());

    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOptionKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        wchar_t value[MAX_PATH];
        DWORD size = sizeof(value);
        if (RegQueryValueExW(key, L"STARTMENULOCATION", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS) {
            Line("VLX: Query STARTMENULOCATION Success");
        }
        RegCloseKey(key);
    }
    SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, folder);
    Line("VLX: Deleting Start Menu Shortcut");
    if (!startMenuFolders_.empty()) {
        Line("VLX: Custom STARTMENULOCATION set.");
    }
    WideLine(programsLink_.c_str());
    SetFileAttributesW(programsLink_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(programsLink_.c_str());
    // The custom folders, innermost first, down to the programs folder.
    const size_t programsDepth = startMenuFolders_.size() - customLevels_;
    for (size_t level = startMenuFolders_.size(); level > programsDepth; --level) {
        const std::wstring& path = startMenuFolders_[level - 1];
        Line("VLX: Deleting Custom Start menu heirarchy.");
        const bool empty = PathIsDirectoryEmptyW(path.c_str()) != FALSE;
        WideLine(path.c_str());
        if (!empty) {
            Line("VLX: Directory not Empty. Don't check further.");
            break;
        }
        Line("VLX: Directory Empty. Delete.");
        RemoveDirectoryW(path.c_str());
        NoPause(1000);
    }

    Line("VLX: Start DeleteRegPinDRQWelcomeScreenToTaskBar");
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPinKey, 0, KEY_ALL_ACCESS | k64, &key) == ERROR_SUCCESS) {
        wchar_t pin[513] = {};
        DWORD size = 1024;
        if (RegQueryValueExW(key, kPinValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(pin), &size) ==
            ERROR_SUCCESS) {
            char utf8[2048];
            const int needed = WideCharToMultiByte(CP_UTF8, 0, pin, -1, nullptr, 0, nullptr, nullptr);
            WideCharToMultiByte(CP_UTF8, 0, pin, -1, utf8, needed, nullptr, nullptr);
            RegDeleteValueW(key, kPinValueName);
            RegFlushKey(key);
        }
        RegCloseKey(key);
    }
    DeletePinnedShortcut();
    Line("VLX: End DeleteRegPinDRQWelcomeScreenToTaskBar");
}

void Floor::DeletePinnedLink(const wchar_t* folder) const {
    wchar_t expanded[MAX_PATH * 2];
    Expand(folder, expanded);
    wchar_t link[MAX_PATH * 2];
    _snwprintf(link, MAX_PATH * 2, L"%ls\\AppData\\Roaming%ls", expanded, kPinnedLinkBelowAppData);
    if (PathFileExistsW(link)) {
        DeleteFileW(link);
    }
}

void Floor::DeletePinnedShortcut() const {
    Line("VLX: Start DeletePinnedShortcut");
    HKEY key = nullptr;
    wchar_t value[MAX_PATH];
    DWORD size = sizeof(value);
    if (RegOpenKeyExW(HKEY_USERS, kDefaultShellFolders, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryValueExW(key, L"AppData", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(key);
    }
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileListKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        size = sizeof(value);
        const LONG read = RegQueryValueExW(key, L"Default", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(key);
        if (read == ERROR_SUCCESS) {
            DeletePinnedLink(value);
        }
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[MAX_PATH];
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileListKey, 0, KEY_READ, &key);
        const LONG status = RegEnumKeyW(key, index, name, MAX_PATH);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) {
            break;
        }
        wchar_t profile[MAX_PATH * 2];
        _snwprintf(profile, MAX_PATH * 2, L"%ls\\%ls", kProfileListKey, name);
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, profile, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            size = sizeof(value);
            const LONG read =
                RegQueryValueExW(key, L"ProfileImagePath", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
            RegCloseKey(key);
            if (read == ERROR_SUCCESS) {
                DeletePinnedLink(value);
            }
        }
    }
    Line("VLX: End DeletePinnedShortcut");
}

void Floor::DeleteOptionKey() const {
    Line("VLX: Start of DeleteInstallerRegistries");
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOptionKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        for (const wchar_t* name : {L"NODESKTOPICON", L"STARTMENULOCATION", L"PINWSTOTASKBAR"}) {
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOptionKey, 0, KEY_ALL_ACCESS, &key);
            RegDeleteValueW(key, name);
            RegCloseKey(key);
        }
        SHDeleteEmptyKeyW(HKEY_LOCAL_MACHINE, kOptionKey);
        SHDeleteEmptyKeyW(HKEY_LOCAL_MACHINE, kOptionParentKey);
    } else {
        FormattedLine(L"Registry doesnt exists = HKEY_LOCAL_MACHINE\\%ls", kOptionKey);
    }
    Line("VLX: End of DeleteInstallerRegistries");
}

void Floor::OrganizerCleanup() const {
    Line("VLX: Start of deleteVLXFilesFromCaheadless");
    HKEY key = nullptr;
    wchar_t value[1024];
    DWORD size = 1024;
    bool found = false;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOrganizerKey, 0, KEY_ALL_ACCESS | k64, &key) == ERROR_SUCCESS) {
        found = RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS;
        RegCloseKey(key);
    }
    if (found) {
        Line("VLX: GET CX install dir successful. ");
        Line("VLX: CX Install dir is : ");
        PathRemoveBackslashW(value);
        WideLine(value);
        for (size_t i = 0; i < organizerFiles_.size(); ++i) {
            WideLine(kCaHeadlessFiles[i]);
            if (PathFileExistsW(organizerFiles_[i].c_str())) {
                Line("VLX: Delete File: ");
                WideLine(organizerFiles_[i].c_str());
                DeleteFileW(organizerFiles_[i].c_str());
            }
        }
    } else {
        Line("VLX: CX install dir not available. No file deleted.");
    }
    Line("VLX: End of deleteVLXFilesFromCaheadless");
}

// Removes the empty folders of the tree at folder (a buffer of MAX_PATH * 2
// holding length characters), innermost first.
void Floor::PruneFolder(wchar_t* folder, size_t length) const {
    wcscpy(folder + length, L"\\*.*");
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(folder, &entry);
    folder[length] = L'\0';
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    bool holdsFile = false;
    do {
        if (entry.cFileName[0] == L'.') {
            continue;
        }
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            folder[length] = L'\\';
            wcscpy(folder + length + 1, entry.cFileName);
            PruneFolder(folder, length + 1 + wcslen(entry.cFileName));
            folder[length] = L'\0';
        } else {
            holdsFile = true;
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    if (!holdsFile) {
        SetFileAttributesW(folder, FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryW(folder);
    }
}

void Floor::OemFiles() const {
    Line("VLX: BEGIN - Uninstall OEM Files");
    InstallDir();
    for (size_t i = 0; i < oemFiles_.size(); ++i) {
        WideLine(kOemFiles[i]);
        if (PathFileExistsW(oemFiles_[i].c_str())) {
            SetFileAttributesW(oemFiles_[i].c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(oemFiles_[i].c_str());
        }
    }
    for (size_t i = 0; i < oemFolders_.size(); ++i) {
        WideLine(kOemFolders[i]);
        wchar_t folder[MAX_PATH * 2];
        wcscpy(folder, oemFolders_[i].c_str());
        PruneFolder(folder, oemFolders_[i].size());
    }
    Line("VLX: END - Uninstall OEM Files");
}

void Floor::StopAnalyzer() const {
    Line("VLX: Start of StopCAHeadlessService");
    InstallDir();
    FormattedLine(L"InstallDir: %ls", places_.app.c_str());
    FormattedLine(L"Commandline: %ls", analyzerCommand_.c_str());
    RunChild(analyzerCommand_);
    FormattedLine(L"Return Code: %ls", L"0");
    Line("VLX: End of StopCAHeadlessService");
    NoPause(5000);
}

void Floor::DeleteCatalog() const {
    wchar_t folder[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    SetFileAttributesW(catalog_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(catalog_.c_str());
}

void Floor::FixPermission() const {
    Line("VLX: FixPermission");
    wchar_t base[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, base, CSIDL_COMMON_APPDATA, FALSE);
    PathRemoveBackslashW(base);
    const std::wstring pattern = dataFolder_ + L"\\*.*";
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    FindClose(search);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL current = nullptr;
    GetNamedSecurityInfoW(dataFolder_.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          &current, nullptr, &descriptor);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    EXPLICIT_ACCESS_W access = {};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
    PACL list = nullptr;
    SetEntriesInAclW(1, &access, current, &list);
    SetNamedSecurityInfoW(const_cast<wchar_t*>(dataFolder_.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, list, nullptr);
    LocalFree(list);
    FreeSid(everyone);
    LocalFree(descriptor);
    FormattedLine(L"         Folder: \"%ls\"", dataFolder_.c_str());
    FormattedLine(L"         Return code: %ls", L"0");
}

void Floor::Run(const PhaseFacts& phase) const {
    Line(phase.entryLine);
    switch (phase.entry) {
        case ::PreSystemCheck:
            if (phase.mode == Install) {
                PreSystemCheck();
            }
            break;
        case PrePayload:
            if (phase.mode != Install) {
                Filters(unregisterCommands_, kFiltersToUnregister, "VLX: BEGIN - UnRegister Main Concept Filters",
                        "VLX: END - UnRegister Main Concept Filters");
                if (phase.mode == Uninstall) {
                    OemFiles();
                }
                DeleteCatalog();
            }
            break;
        case PostPayload:
            if (phase.mode != Install) {
                DeleteShortcuts();
            }
            if (phase.mode != Uninstall) {
                Filters(registerCommands_, kFiltersToRegister, "VLX: BEGIN - Register Main Concept Filters",
                        "VLX: END - Register Main Concept Filters");
                CreateShortcuts();
            } else {
                DeleteOptionKey();
                OrganizerCleanup();
            }
            break;
        case SessionOpen:
            if (phase.mode != Install) {
                StopAnalyzer();
            }
            break;
        case SessionClose:
            if (phase.mode != Uninstall) {
                FixPermission();
            }
            break;
    }
}
