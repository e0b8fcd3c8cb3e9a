#include "tests/support/sandbox.h"

#include <shlobj.h>

namespace {

std::wstring SandboxRoot() {
    if (GetFileAttributesW(L"S:\\") != INVALID_FILE_ATTRIBUTES) {
        return L"S:";
    }
    wchar_t temp[MAX_PATH] = {};
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    std::wstring root(temp, length);
    while (!root.empty() && root.back() == L'\\') {
        root.pop_back();
    }
    return root;
}

}  // namespace

SandboxFolder::SandboxFolder() {
    static unsigned counter = 0;
    const std::wstring root = SandboxRoot();
    do {
        path_ = root + L"\\t" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
    } while (PathExists(path_));
    MakeFolders(path_);
}

SandboxFolder::~SandboxFolder() {
    RemoveTree(path_);
}

std::wstring SandboxFolder::operator/(const std::wstring& relative) const {
    return path_ + L"\\" + relative;
}

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolders(const std::wstring& path) {
    const int result = SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
    return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS ||
           result == ERROR_FILE_EXISTS;
}

bool WriteTextFile(const std::wstring& path, const std::string& content) {
    const size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos) {
        MakeFolders(path.substr(0, slash));
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written,
                              nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

void RemoveTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return;  // a link: what it leads to is not this tree's (ScopedLink removes it)
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name != L"." && name != L"..") {
                RemoveTree(path + L"\\" + name);
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

ScopedRegistryKey::ScopedRegistryKey(HKEY root, const std::wstring& subKey, REGSAM view)
    : root_(root), subKey_(subKey), view_(view) {
    DeleteRegistryTree(root_, subKey_, view_);
}

ScopedRegistryKey::~ScopedRegistryKey() {
    DeleteRegistryTree(root_, subKey_, view_);
}

bool ScopedRegistryKey::SetString(const std::wstring& name, const std::wstring& value,
                                  DWORD type) const {
    return SetStringIn(root_, subKey_, name, value, type, view_);
}

bool ScopedRegistryKey::SetStringIn(HKEY root, const std::wstring& subKey,
                                    const std::wstring& name, const std::wstring& value,
                                    DWORD type, REGSAM view) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG status = RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, type,
                                       reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool ScopedRegistryKey::Create() const {
    return CreateRegistryKey(root_, subKey_, view_);
}

bool CreateRegistryKey(HKEY root, const std::wstring& subKey, REGSAM view) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_READ | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool ScopedRegistryKey::Exists() const {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, subKey_.c_str(), 0, KEY_READ | view_, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void DeleteRegistryTree(HKEY root, const std::wstring& subKey, REGSAM view) {
    const size_t slash = subKey.find_last_of(L'\\');
    const std::wstring parentPath = slash == std::wstring::npos ? L"" : subKey.substr(0, slash);
    const std::wstring leaf = slash == std::wstring::npos ? subKey : subKey.substr(slash + 1);
    HKEY parent = nullptr;
    if (RegOpenKeyExW(root, parentPath.c_str(), 0, KEY_ALL_ACCESS | view, &parent) !=
        ERROR_SUCCESS) {
        return;
    }
    RegDeleteTreeW(parent, leaf.c_str());
    RegDeleteKeyExW(parent, leaf.c_str(), view, 0);
    RegCloseKey(parent);
}
