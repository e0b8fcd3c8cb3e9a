#include "tests/support/registry_snapshot.h"

#include <stdio.h>

#include <vector>

#include "base/guards.h"

namespace {

std::string Describe(DWORD type, const std::vector<BYTE>& data) {
    std::string text = "type " + std::to_string(type) + ":";
    char hex[4];
    for (BYTE byte : data) {
        snprintf(hex, sizeof(hex), "%02x", byte);
        text += hex;
    }
    return text;
}

}  // namespace

void SnapshotRegistry(HKEY root, const std::wstring& subKey, REGSAM view, const std::wstring& label,
                      RegistrySnapshot* snapshot) {
    RegKey key;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) {
        return;
    }
    (*snapshot)[label] = "key";
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameChars = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key.get(), i, name, &nameChars, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            break;
        }
        std::vector<BYTE> data(size);
        nameChars = 16384;
        RegEnumValueW(key.get(), i, name, &nameChars, nullptr, &type, data.data(), &size);
        data.resize(size);
        (*snapshot)[label + L"=" + name] = Describe(type, data);
    }
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        if (RegEnumKeyW(key.get(), i, name, 256) != ERROR_SUCCESS) {
            break;
        }
        children.push_back(name);
    }
    for (const std::wstring& child : children) {
        SnapshotRegistry(root, subKey + L"\\" + child, view, label + L"\\" + child, snapshot);
    }
}
