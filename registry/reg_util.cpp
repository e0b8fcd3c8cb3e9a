#include "registry/reg_util.h"

#include <shlwapi.h>

#include <string.h>

#include "hook/guards.h"

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

bool RegUtil::KeyExists(const wchar_t* path) {
    HKEY root = nullptr;
    wchar_t subKey[kPathChars] = {};
    if (!Resolve(path, &root, subKey)) {
        return false;
    }
    RegKey key;
    return RegOpenKeyExW(root, subKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void RegUtil::QueryStringValue(const wchar_t* path, const wchar_t* valueName, wchar_t* textOut) {
    HKEY root = nullptr;
    wchar_t subKey[kPathChars] = {};
    if (!Resolve(path, &root, subKey)) {
        return;
    }
    RegKey key;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return;
    }
    wchar_t data[kPathChars] = {};
    DWORD type = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExW(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS) {
        return;
    }
    // Stored data need not end with a terminator: take the text up to the
    // first one, or all of it when it still leaves room for one.
    const size_t characters = size / sizeof(wchar_t);
    size_t length = 0;
    while (length < characters && data[length] != L'\0') {
        ++length;
    }
    if (length >= kPathChars) {
        return;
    }
    data[length] = L'\0';
    CheckedCopy(textOut, kPathChars, data);
}

LONG RegUtil::EnumSubKey(const wchar_t* path, wchar_t* nameOut) {
    HKEY root = nullptr;
    wchar_t subKey[kPathChars] = {};
    if (!Resolve(path, &root, subKey)) {
        return kRegPathTooLong;
    }
    RegKey key;
    const LONG opened = RegOpenKeyExW(root, subKey, 0, KEY_READ, key.put());
    if (opened != ERROR_SUCCESS) {
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
    HKEY root = nullptr;
    wchar_t subKey[kPathChars] = {};
    if (!Resolve(path, &root, subKey)) {
        return false;
    }
    RegKey key;
    if (RegOpenKeyExW(root, subKey, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    return RegDeleteValueW(key.get(), valueName) == ERROR_SUCCESS;
}

bool RegUtil::DeleteEmptyKey(const wchar_t* path) {
    HKEY root = nullptr;
    wchar_t subKey[kPathChars] = {};
    // Never a root key itself.
    if (!Resolve(path, &root, subKey) || subKey[0] == L'\0') {
        return false;
    }
    // Some platforms' empty-key deletion removes keys that still hold values:
    // make sure the key is empty first.
    {
        RegKey key;
        if (RegOpenKeyExW(root, subKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
            return false;
        }
        DWORD subKeys = 0;
        DWORD values = 0;
        if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            subKeys != 0 || values != 0) {
            return false;
        }
    }
    return SHDeleteEmptyKeyW(root, subKey) == ERROR_SUCCESS;
}
