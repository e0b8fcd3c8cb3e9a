#include "bench/floor.h"

#include <aclapi.h>
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

std::wstring Regsvr32(const wchar_t* switches, const std::wstring& file) {
    return WindowsFolder() + L"\\System32\\Regsvr32.exe " + switches + L"\"" + file + L"\"";
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
