#include "registry/reg_util.h"

#include <shlwapi.h>

#include <string.h>

#include "base/guards.h"
#include "registry/keys.h"

namespace {

struct RootName {
    const wchar_t* name;
    HKEY key;
};

// Compared in this order; the first equal name wins.
const RootName kRootNames[] = {
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKEY_USERS", HKEY_USERS},
    {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {L"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
};

const wchar_t kNoMoreItems[] = L"ERROR_NO_MORE_ITEMS";

}  // namespace

HKEY RegUtil::ParseRootKey(const wchar_t* path) {
    const wchar_t* backslash = wcschr(path, L'\\');
    const size_t length = backslash != nullptr ? static_cast<size_t>(backslash - path) : wcslen(path);
    for (const RootName& root : kRootNames) {
        if (wcslen(root.name) == length && wcsncmp(root.name, path, length) == 0) {
            return root.key;
        }
    }
    return HKEY_LOCAL_MACHINE;
}

bool RegUtil::ParseSubKey(const wchar_t* path, wchar_t* subKeyOut) {
    const wchar_t* backslash = wcschr(path, L'\\');
    return CheckedCopy(subKeyOut, kPathChars, backslash != nullptr ? backslash + 1 : L"");
}

bool RegUtil::Resolve(const wchar_t* path, HKEY* root, wchar_t (&subKey)[kPathChars]) {
    // A full path is at most 259 characters, like every buffer here.
    if (wcslen(path) >= kPathChars) {
        return false;
    }
    *root = ParseRootKey(path);
    return ParseSubKey(path, subKey);
}

RegKey RegUtil::OpenKey(const wchar_t* path, REGSAM access, LONG* status) {
    HKEY root = nullptr;
    wchar_t subKey[kPathChars] = {};
    if (!Resolve(path, &root, subKey)) {
        *status = kRegPathTooLong;
        return RegKey();
    }
    return OpenRegKey(root, subKey, access, status);
}

bool RegUtil::KeyExists(const wchar_t* path) {
    LONG status = ERROR_SUCCESS;
    return OpenKey(path, KEY_READ, &status).valid();
}

void RegUtil::QueryStringValue(const wchar_t* path, const wchar_t* valueName, wchar_t* textOut) {
    LONG status = ERROR_SUCCESS;
    const RegKey key = OpenKey(path, KEY_READ, &status);
    // Into a buffer of its own: textOut keeps its text when the read fails.
    wchar_t data[kPathChars] = {};
    if (key.valid() && ReadTextValue(key.get(), valueName, data)) {
        CheckedCopy(textOut, kPathChars, data);
    }
}

LONG RegUtil::EnumSubKey(const wchar_t* path, wchar_t* nameOut) {
    LONG opened = ERROR_SUCCESS;
    const RegKey key = OpenKey(path, KEY_READ, &opened);
    if (!key.valid()) {
        return opened;
    }
    wchar_t name[kPathChars] = {};
    const LONG status = RegEnumKeyW(key.get(), enumIndex, name, kPathChars);
    ++enumIndex;
    if (status == ERROR_SUCCESS) {
        CheckedCopy(nameOut, kPathChars, name);
    } else if (status == ERROR_NO_MORE_ITEMS) {
        enumIndex = 0;
        CheckedCopy(nameOut, kPathChars, kNoMoreItems);
    }
    return status;
}

bool RegUtil::DeleteValue(const wchar_t* path, const wchar_t* valueName) {
    LONG status = ERROR_SUCCESS;
    const RegKey key = OpenKey(path, KEY_ALL_ACCESS, &status);
    return key.valid() && RegDeleteValueW(key.get(), valueName) == ERROR_SUCCESS;
}

bool RegUtil::DeleteEmptyKey(const wchar_t* path) {
    HKEY root = nullptr;
    wchar_t subKey[kPathChars] = {};
    // Never a root key itself.
    if (!Resolve(path, &root, subKey) || subKey[0] == L'\0') {
        return false;
    }
    // Wine's SHDeleteEmptyKeyW deletes a key that still holds values (only
    // sub-keys stop it), so emptiness is checked first; on Windows, which
    // refuses such a key itself, the check changes nothing.
    {
        const RegKey key = OpenRegKey(root, subKey, KEY_READ);
        DWORD subKeys = 0;
        DWORD values = 0;
        if (!key.valid() ||
            RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            subKeys != 0 || values != 0) {
            return false;
        }
    }
    return SHDeleteEmptyKeyW(root, subKey) == ERROR_SUCCESS;
}
