#include "tests/support/snapshot.h"

#include <windows.h>

#include "tests/support/sandbox.h"
#include "tests/support/environment.h"
#include "tests/support/shell.h"

namespace {

std::string Describe(const std::wstring& path, const WIN32_FILE_ATTRIBUTE_DATA& data) {
    std::string text = "attributes " + std::to_string(data.dwFileAttributes);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        text += EveryoneHasFullAccess(path) ? ", open to Everyone" : "";
    } else {
        text += ", " + std::to_string(data.nFileSizeLow) + " bytes";
    }
    return text;
}

void Add(const std::wstring& root, const std::wstring& relative, FileSnapshot* snapshot) {
    const std::wstring path = relative.empty() ? root : root + L"\\" + relative;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return;
    }
    (*snapshot)[relative] = Describe(path, data);
    const DWORD attributes = data.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return;
    }
    ForEachEntry(path, [&](const WIN32_FIND_DATAW& entry) {
        const std::wstring name = entry.cFileName;
        Add(root, relative.empty() ? name : relative + L"\\" + name, snapshot);
    });
}

}  // namespace

FileSnapshot SnapshotFiles(const std::wstring& path) {
    FileSnapshot snapshot;
    Add(path, L"", &snapshot);
    return snapshot;
}

std::string Difference(const FileSnapshot& before, const FileSnapshot& after) {
    std::string text;
    for (const auto& entry : before) {
        const auto found = after.find(entry.first);
        if (found == after.end()) {
            text += "gone: " + ToUtf8(entry.first) + "\n";
        } else if (found->second != entry.second) {
            text += "changed: " + ToUtf8(entry.first) + " (" + entry.second + " -> " + found->second + ")\n";
        }
    }
    for (const auto& entry : after) {
        if (before.find(entry.first) == before.end()) {
            text += "new: " + ToUtf8(entry.first) + "\n";
        }
    }
    return text;
}
