// The floor's shortcut work: the links written, the shortcuts and the
// custom folders removed, the pin and the pinned copies in every profile.
#include "bench/floor.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <stdio.h>

#include "hook/product.h"
#include "tests/support/shell.h"
#include "tests/support/short_circuit.h"

namespace {

const REGSAM k64 = KEY_WOW64_64KEY;
const wchar_t kDefaultShellFolders[] =
    L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

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
