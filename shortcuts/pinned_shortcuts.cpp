#include "shortcuts/pinned_shortcuts.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/delete_below.h"
#include "base/no_follow.h"
#include "hook/log.h"
#include "hook/product.h"
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
const wchar_t kPinnedLinkSuffix[] = VLX_WIDE(
    "\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\" VLX_LINK_FILE);

// The roaming application-data folder relative to a profile folder, as the
// default user's shell folders give it ("%USERPROFILE%\AppData\Roaming").
void ReadRelativeAppData(wchar_t (&relative)[kPathChars]) {
    RegUtil registry;
    wchar_t value[kPathChars] = {};
    registry.QueryStringValue(kDefaultShellFolders, L"AppData", value);
    const wchar_t* token = wcsstr(value, kProfileToken);
    if (token == nullptr) {
        CheckedCopy(relative, kDefaultRelativeAppData);
        return;
    }
    // Skip the token and the separator after it; the token alone leaves the
    // profile folder itself.
    const wchar_t* rest = token + kProfileTokenLength;
    CheckedCopy(relative, *rest == L'\0' ? rest : rest + 1);
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
                      const wchar_t* relativeAppData) {
    wchar_t link[kPathChars] = {};
    if (!ExpandPathVariables(folder) || !CheckedJoin(link, {folder, L"\\", relativeAppData})) {
        LogPathTooLong(context);
        return;
    }
    PathRemoveBackslashW(link);
    if (!CheckedJoin(link, {link, kPinnedLinkSuffix})) {
        LogPathTooLong(context);
        return;
    }
    if (PathFileExistsW(link)) {
        // The profile belongs to its user, who may have put a link on the way.
        LeftAside leftAside;
        LogDeletion(context, DeleteBelow(folder, link, &leftAside), leftAside);
    }
}

// The first occurrence of the length characters at text in buffer, or null.
wchar_t* FindText(wchar_t* buffer, const wchar_t* text, size_t length) {
    for (wchar_t* at = buffer; *at != L'\0'; ++at) {
        if (wcsncmp(at, text, length) == 0) {
            return at;
        }
    }
    return nullptr;
}

// Replaces the length characters at position at of path by value. False,
// with path unchanged, when the result does not fit.
bool Replace(wchar_t (&path)[kPathChars], wchar_t* at, size_t length, const wchar_t* value) {
    wchar_t result[kPathChars];
    const size_t before = static_cast<size_t>(at - path);
    const size_t valueLength = wcslen(value);
    const size_t afterLength = wcslen(at + length);
    if (before + valueLength + afterLength >= kPathChars) {
        return false;
    }
    wmemcpy(result, path, before);
    wmemcpy(result + before, value, valueLength);
    wmemcpy(result + before + valueLength, at + length, afterLength + 1);
    return CheckedCopy(path, result);
}

// Expands the variable of one component (begin, length) of the original
// text inside path. False when the result would not fit.
bool ExpandComponent(wchar_t (&path)[kPathChars], const wchar_t* begin, size_t length) {
    const wchar_t* const end = begin + length;
    const wchar_t* open = begin;
    while (open < end && *open != L'%') {
        ++open;
    }
    const wchar_t* close = open < end ? open + 1 : end;
    while (close < end && *close != L'%') {
        ++close;
    }
    if (close >= end) {
        return true;  // no pair of percent signs
    }
    wchar_t name[kPathChars] = {};
    wmemcpy(name, open + 1, static_cast<size_t>(close - open - 1));
    wchar_t value[kPathChars] = {};
    const DWORD found = GetEnvironmentVariableW(name, value, kPathChars);
    if (found == 0) {
        return true;  // not set: the component stays as it is
    }
    if (found >= kPathChars) {
        return false;  // a value that long cannot fit the path
    }
    wchar_t* at = FindText(path, begin, length);
    return at == nullptr || Replace(path, at, length, value);
}

}  // namespace

void DeletePinnedShortcut(const HookContext* context) {
    LogMessage(context, "VLX: Start DeletePinnedShortcut", kLogLevelProgress);
    wchar_t relativeAppData[kPathChars] = {};
    ReadRelativeAppData(relativeAppData);

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
        if (!CheckedJoin(profileKey, {kProfileList, L"\\", name})) {
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
    // Components are taken from the text as it came in; each is looked for
    // and replaced in the text as it grows.
    wchar_t original[kPathChars];
    wchar_t expanded[kPathChars];
    if (!CheckedCopy(original, path) || !CheckedCopy(expanded, path)) {
        return false;
    }
    const wchar_t* c = original;
    while (*c != L'\0') {
        if (*c == L'\\') {
            ++c;
            continue;
        }
        const wchar_t* begin = c;
        while (*c != L'\0' && *c != L'\\') {
            ++c;
        }
        if (!ExpandComponent(expanded, begin, static_cast<size_t>(c - begin))) {
            return false;
        }
    }
    return CheckedCopy(path, expanded);
}
