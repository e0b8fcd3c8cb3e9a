#include "tests/support/sandbox.h"

#include <sddl.h>
#include <shlobj.h>

#include "base/guards.h"

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

void ForEachEntry(const std::wstring& folder, const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
    WIN32_FIND_DATAW entry;
    const FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!search.valid()) {
        return;
    }
    do {
        if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0) {
            visit(entry);
        }
    } while (FindNextFileW(search.get(), &entry));
}

namespace {

// Moves every entry of from into to.
void MoveEntries(const std::wstring& from, const std::wstring& to) {
    ForEachEntry(from, [&](const WIN32_FIND_DATAW& entry) {
        MoveFileW((from + L"\\" + entry.cFileName).c_str(), (to + L"\\" + entry.cFileName).c_str());
    });
}

}  // namespace

ScopedEmptyFolder::ScopedEmptyFolder(const std::wstring& folder)
    : folder_(folder), aside_(folder + L" (aside for a test)") {
    MakeFolders(aside_);
    MoveEntries(folder_, aside_);
}

ScopedEmptyFolder::~ScopedEmptyFolder() {
    MoveEntries(aside_, folder_);
    RemoveDirectoryW(aside_.c_str());
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
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.valid() &&
           WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                     nullptr) &&
           written == content.size();
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
    ForEachEntry(path, [&](const WIN32_FIND_DATAW& entry) { RemoveTree(path + L"\\" + entry.cFileName); });
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
    RegKey key;
    return RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                           key.put(), nullptr) == ERROR_SUCCESS &&
           RegSetValueExW(key.get(), name.empty() ? nullptr : name.c_str(), 0, type,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool ScopedRegistryKey::Create() const {
    return CreateRegistryKey(root_, subKey_, view_);
}

bool CreateRegistryKey(HKEY root, const std::wstring& subKey, REGSAM view) {
    RegKey key;
    return RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_READ | view, nullptr, key.put(),
                           nullptr) == ERROR_SUCCESS;
}

bool ScopedRegistryKey::Exists() const {
    return RegistryKeyExists(root_, subKey_, view_);
}

void DeleteRegistryTree(HKEY root, const std::wstring& subKey, REGSAM view) {
    const size_t slash = subKey.find_last_of(L'\\');
    const std::wstring parentPath = slash == std::wstring::npos ? L"" : subKey.substr(0, slash);
    const std::wstring leaf = slash == std::wstring::npos ? subKey : subKey.substr(slash + 1);
    RegKey parent;
    if (RegOpenKeyExW(root, parentPath.c_str(), 0, KEY_ALL_ACCESS | view, parent.put()) !=
        ERROR_SUCCESS) {
        return;
    }
    RegDeleteTreeW(parent.get(), leaf.c_str());
    RegDeleteKeyExW(parent.get(), leaf.c_str(), view, 0);
}

bool RegistryKeyExists(HKEY root, const std::wstring& subKey, REGSAM view) {
    RegKey key;
    return RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

ScopedReadOnlyKey::ScopedReadOnlyKey(HKEY root, const std::wstring& subKey)
    : root_(root), subKey_(subKey) {
    RegKey key;
    if (RegOpenKeyExW(root_, subKey_.c_str(), 0, WRITE_DAC | READ_CONTROL, key.put()) !=
        ERROR_SUCCESS) {
        return;
    }
    DWORD size = 0;
    RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    original_.resize(size);
    LocalMemory<PSECURITY_DESCRIPTOR> readOnly;
    applied_ = size > 0 &&
               RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, original_.data(), &size) ==
                   ERROR_SUCCESS &&
               ConvertStringSecurityDescriptorToSecurityDescriptorW(
                   L"D:P(A;OICI;KR;;;WD)", SDDL_REVISION_1, readOnly.put(), nullptr) &&
               RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, readOnly.get()) ==
                   ERROR_SUCCESS;
}

ScopedReadOnlyKey::~ScopedReadOnlyKey() {
    RegKey key;
    // The owner may still change the list of a key it cannot write.
    if (applied_ && RegOpenKeyExW(root_, subKey_.c_str(), 0, WRITE_DAC, key.put()) == ERROR_SUCCESS) {
        RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, original_.data());
    }
}
