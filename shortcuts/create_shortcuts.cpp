#include "shortcuts/create_shortcuts.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "base/checked_text.h"
#include "base/guards.h"
#include "hook/log.h"
#include "hook/product.h"
#include "hook/properties.h"
#include "registry/installer_options.h"
#include "registry/keys.h"
#include "shortcuts/shell_link.h"
#include "shortcuts/shortcut_options.h"
#include "shortcuts/taskbar_pin.h"

namespace {

const wchar_t kWelcomeScreen[] = VLX_WIDE(VLX_WELCOME_SCREEN);
const size_t kDirectoryChars = 1024;

struct ShortcutOptions {
    bool noDesktopIcon = false;
    bool pinToTaskbar = false;
    bool customLocation = false;
    wchar_t startMenuLocation[kPathChars] = {};
};

// A yes/no option: on only when it reads exactly "1". Logs its line when read.
bool ReadYesNo(const HookContext* context, HKEY key, const wchar_t* name, const char* readLine) {
    wchar_t value[kPathChars] = {};
    if (!ReadTextValue(key, name, value)) {
        return false;
    }
    LogMessage(context, readLine, kLogLevelProgress);
    return wcscmp(value, L"1") == 0;
}

void ReadOptions(const HookContext* context, ShortcutOptions* options) {
    const RegKey key = OpenOptionKey();
    if (!key.valid()) {
        return;
    }
    LogMessage(context, "VLX: Open HKEY_LOCAL_MACHINE\\" VLX_OPTION_KEY " success", kLogLevelProgress);
    options->noDesktopIcon =
        ReadYesNo(context, key.get(), kNoDesktopIconValue, "VLX: Query NODESKTOPICON Success");
    options->pinToTaskbar =
        ReadYesNo(context, key.get(), kPinToTaskbarValue, "VLX: Query PINWSTOTASKBAR Success");
    options->customLocation = QueryStartMenuLocation(context, key.get(), options->startMenuLocation);
}

void LogLocations(const HookContext* context, const wchar_t* linkPath, const wchar_t* target) {
    LogMessage(context, "VLX: Shortcut Location: ", kLogLevelProgress);
    LogWideMessage(context, linkPath);
    LogMessage(context, "VLX: Exe Location: ", kLogLevelProgress);
    LogWideMessage(context, target);
}

void CreateDesktopShortcut(const HookContext* context, const wchar_t* target) {
    wchar_t link[kPathChars] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr,
                                SHGFP_TYPE_CURRENT, link))) {
        LogMessage(context, "VLX: Could not find Desktop Directory. Shortcut not created",
                   kLogLevelProgress);
        return;
    }
    PathRemoveBackslashW(link);
    LogMessage(context, "VLX: Creating Desktop Shortcut", kLogLevelProgress);
    if (!CheckedJoin(link, {link, kShortcutFileName})) {
        LogPathTooLong(context);
        return;
    }
    CreateLink(context, target, link);
    LogLocations(context, link, target);
}

// Leaves szStartMenu empty when the Start-menu path could not be built.
void CreateStartMenuShortcut(const HookContext* context, ShortcutOptions* options,
                             const wchar_t* target, wchar_t (&szStartMenu)[kPathChars]) {
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT,
                                szStartMenu))) {
        szStartMenu[0] = L'\0';
        LogMessage(context, "VLX: Could not find Start Menu Directory. Shortcut not created",
                   kLogLevelProgress);
        return;
    }
    LogMessage(context, "VLX: Creating Start Menu Shortcut", kLogLevelProgress);
    if (options->customLocation) {
        LogMessage(context, "VLX: Custom STARTMENULOCATION set.", kLogLevelProgress);
        PathRemoveBackslashW(options->startMenuLocation);
        PathRemoveBackslashW(szStartMenu);
        if (!CheckedJoin(szStartMenu, {szStartMenu, L"\\", options->startMenuLocation})) {
            LogPathTooLong(context);
            return;
        }
        if (!PathFileExistsW(szStartMenu)) {
            CreateDirectoryPath(szStartMenu);
        }
    }
    if (!CheckedJoin(szStartMenu, {szStartMenu, kShortcutFileName})) {
        LogPathTooLong(context);
        return;
    }
    LogLocations(context, szStartMenu, target);
    CreateLink(context, target, szStartMenu);
}

}  // namespace

void CreateShortcuts(const HookContext* context) {
    ShortcutOptions options;
    ReadOptions(context, &options);

    // Without the application's folder no shortcut has a target to point at.
    wchar_t installDir[kPathChars] = {};
    wchar_t target[kPathChars] = {};
    if (!GetInstallDir(context, installDir)) {
        return;
    }
    if (!CheckedJoin(target, {installDir, kWelcomeScreen})) {
        LogPathTooLong(context);
        return;
    }

    if (!options.noDesktopIcon) {
        CreateDesktopShortcut(context, target);
    }
    wchar_t szStartMenu[kPathChars] = {};
    CreateStartMenuShortcut(context, &options, target, szStartMenu);

    if (options.pinToTaskbar) {
        LogMessage(context, "VLX: PINWSTOTASKBAR set to TRUE.", kLogLevelProgress);
        if (szStartMenu[0] != L'\0') {
            CreateRegPinVLXWelcomeScreenToTaskBar(context, szStartMenu);
        } else {
            LogMessage(context,
                       "VLX: szStartMenu is NULL. Not calling function "
                       "CreateRegPinVLXWelcomeScreenToTaskBar()",
                       kLogLevelProgress);
        }
    }
}

bool CreateDirectoryPath(const wchar_t* path) {
    wchar_t folder[kDirectoryChars] = {};
    if (!CheckedCopy(folder, path)) {
        return false;
    }
    // The part before the first backslash (a drive such as C:) is left alone.
    wchar_t* separator = wcschr(folder, L'\\');
    while (separator != nullptr) {
        separator = wcschr(separator + 1, L'\\');
        if (separator == nullptr) {
            break;
        }
        *separator = L'\0';
        const bool ok = GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES ||
                        CreateDirectoryW(folder, nullptr);
        *separator = L'\\';
        if (!ok) {
            return false;
        }
    }
    return GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES ||
           CreateDirectoryW(folder, nullptr) != FALSE;
}
