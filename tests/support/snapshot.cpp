#include "tests/support/snapshot.h"

#include <windows.h>

#include <stdio.h>

#include <vector>

#include "base/guards.h"
#include "tests/support/environment.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

std::string Describe(const std::wstring& path, DWORD attributes, DWORD size, FolderAccess access) {
    std::string text = "attributes " + std::to_string(attributes);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        text += access == FolderAccess::kRecorded && EveryoneHasFullAccess(path) ? ", open to Everyone" : "";
    } else {
        text += ", " + std::to_string(size) + " bytes";
    }
    return text;
}

// The entries below a folder, from the listing itself: one call per folder.
void AddBelow(const std::wstring& root, const std::wstring& relative, FolderAccess access,
              FileSnapshot* snapshot) {
    const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& entry) {
        const std::wstring name = relative.empty() ? std::wstring(entry.cFileName)
                                                   : relative + L"\\" + entry.cFileName;
        const DWORD attributes = entry.dwFileAttributes;
        (*snapshot)[name] = Describe(root + L"\\" + name, attributes, entry.nFileSizeLow, access);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            AddBelow(root, name, access, snapshot);
        }
    });
}

}  // namespace

FileSnapshot SnapshotFiles(const std::wstring& path, FolderAccess access) {
    FileSnapshot snapshot;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return snapshot;
    }
    snapshot[L""] = Describe(path, data.dwFileAttributes, data.nFileSizeLow, access);
    const DWORD attributes = data.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        AddBelow(path, L"", access, &snapshot);
    }
    return snapshot;
}

std::vector<Change> Changes(const std::map<std::wstring, std::string>& before,
                            const std::map<std::wstring, std::string>& after) {
    std::vector<Change> changes;
    for (const auto& entry : before) {
        const auto found = after.find(entry.first);
        if (found == after.end() || found->second != entry.second) {
            changes.push_back({found == after.end() ? "removed" : "changed", entry.first});
        }
    }
    for (const auto& entry : after) {
        if (before.find(entry.first) == before.end()) {
            changes.push_back({"added", entry.first});
        }
    }
    return changes;
}

std::string Difference(const FileSnapshot& before, const FileSnapshot& after) {
    std::string text;
    for (const Change& change : Changes(before, after)) {
        text += std::string(change.how) + ": " + ToUtf8(change.what) + "\n";
    }
    return text;
}

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
