#include "shortcuts/pinned_shortcuts.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "hook/log.h"
#include "registry/reg_util.h"

namespace {

const wchar_t kDefaultShellFolders[] =
    L"HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
    L"User Shell Folders";
const wchar_t kProfileList[] =
    L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const wchar_t kProfileToken[] = L"%USERPROFILE%";
const size_t kProfileTokenLength = 13;
const wchar_t kDefaultRelativeAppData[] = L"AppData\\Roaming";
const wchar_t kPinnedLinkSuffix[] =
    L"\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\"
    L"Kestrune Montavo Fablio 15.lnk";

// The roaming application-data folder relative to a profile folder, as the
// default user's shell folders give it ("%USERPROFILE%\AppData\Roaming").
std::wstring RelativeAppData() {
    RegUtil registry;
    wchar_t value[kPathChars] = {};
    registry.QueryStringValue(kDefaultShellFolders, L"AppData", value);
    const wchar_t* token = wcsstr(value, kProfileToken);
    if (token == nullptr) {
        return kDefaultRelativeAppData;
    }
    // Skip the token and the separator after it.
    const wchar_t* rest = token + kProfileTokenLength;
    return *rest == L'\0' ? std::wstring() : std::wstring(rest + 1);
}

// Reads a profile folder value; false when it cannot be read or is empty.
bool ReadProfileFolder(const wchar_t* keyPath, const wchar_t* valueName,
                       wchar_t (&folder)[kPathChars]) {
    RegUtil registry;
    folder[0] = L'\0';
    registry.QueryStringValue(keyPath, valueName, folder);
    return folder[0] != L'\0';
}

void DeletePinnedLink(const HookContext* context, wchar_t (&folder)[kPathChars],
                      const std::wstring& relativeAppData) {
    wchar_t link[kPathChars] = {};
    if (!ExpandPathVariables(folder) || !CheckedCopy(link, folder) ||
        !CheckedAppend(link, L"\\") || !CheckedAppend(link, relativeAppData.c_str())) {
        LogPathTooLong(context);
        return;
    }
    PathRemoveBackslashW(link);
    if (!CheckedAppend(link, kPinnedLinkSuffix)) {
        LogPathTooLong(context);
        return;
    }
    if (PathFileExistsW(link)) {
        DeleteFileW(link);
    }
}

std::wstring EnvironmentValue(const std::wstring& name, bool* found) {
    const DWORD needed = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    *found = needed > 0;
    if (!*found) {
        return std::wstring();
    }
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(name.c_str(), &value[0], needed);
    value.resize(length < needed ? length : 0);
    return value;
}

}  // namespace

void DeletePinnedShortcut(const HookContext* context) {
    LogMessage(context, "VLX: Start DeletePinnedShortcut", kLogLevelProgress);
    const std::wstring relativeAppData = RelativeAppData();

    wchar_t folder[kPathChars] = {};
    // A profile whose folder cannot be read is skipped.
    if (ReadProfileFolder(kProfileList, L"Default", folder)) {
        DeletePinnedLink(context, folder, relativeAppData);
    }

    RegUtil profiles;
    wchar_t name[2 * kPathChars] = {};
    // Any status but a name ends the walk: the end of the list, or a failure.
    while (profiles.EnumSubKey(kProfileList, name) == ERROR_SUCCESS) {
        wchar_t profileKey[kPathChars] = {};
        if (!CheckedCopy(profileKey, kProfileList) || !CheckedAppend(profileKey, L"\\") ||
            !CheckedAppend(profileKey, name)) {
            LogPathTooLong(context);
            continue;
        }
        if (ReadProfileFolder(profileKey, L"ProfileImagePath", folder)) {
            DeletePinnedLink(context, folder, relativeAppData);
        }
    }
    LogMessage(context, "VLX: End DeletePinnedShortcut", kLogLevelProgress);
}

bool ExpandPathVariables(wchar_t (&path)[kPathChars]) {
    std::wstring expanded = path;
    std::vector<std::wstring> components;
    const std::wstring original = path;
    size_t start = 0;
    while (start <= original.size()) {
        const size_t end = original.find(L'\\', start);
        const size_t stop = end == std::wstring::npos ? original.size() : end;
        if (stop > start) {
            components.push_back(original.substr(start, stop - start));
        }
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    for (const std::wstring& component : components) {
        const size_t open = component.find(L'%');
        const size_t close = open == std::wstring::npos ? open : component.find(L'%', open + 1);
        if (close == std::wstring::npos) {
            continue;
        }
        bool found = false;
        const std::wstring value = EnvironmentValue(component.substr(open + 1, close - open - 1), &found);
        const size_t at = expanded.find(component);
        if (!found || at == std::wstring::npos) {
            continue;
        }
        // The whole component is replaced, text around the variable included.
        expanded.replace(at, component.size(), value);
    }
    return CheckedCopy(path, expanded.c_str());
}
