// The floor's removals: the option key, the organizer's files, the OEM
// files with the pruning of their folders, the catalog database.
#include "bench/floor.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "hook/product.h"
#include "tests/support/payload.h"
#include "tests/support/shell.h"

void Floor::DeleteOptionKey() const {
    Line("VLX: Start of DeleteInstallerRegistries");
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOptionKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        for (const wchar_t* name : {L"NODESKTOPICON", L"STARTMENULOCATION", L"PINWSTOTASKBAR"}) {
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOptionKey, 0, KEY_ALL_ACCESS, &key);
            RegDeleteValueW(key, name);
            RegCloseKey(key);
        }
        SHDeleteEmptyKeyW(HKEY_LOCAL_MACHINE, kOptionKey);
        SHDeleteEmptyKeyW(HKEY_LOCAL_MACHINE, kOptionParentKey);
    } else {
        FormattedLine(L"Registry doesnt exists = HKEY_LOCAL_MACHINE\\%ls", kOptionKey);
    }
    Line("VLX: End of DeleteInstallerRegistries");
}

void Floor::OrganizerCleanup() const {
    Line("VLX: Start of deleteVLXFilesFromCaheadless");
    HKEY key = nullptr;
    wchar_t value[1024];
    DWORD size = 1024;
    bool found = false;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOrganizerKey, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        found = RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS;
        RegCloseKey(key);
    }
    if (found) {
        Line("VLX: GET CX install dir successful. ");
        Line("VLX: CX Install dir is : ");
        PathRemoveBackslashW(value);
        WideLine(value);
        for (size_t i = 0; i < organizerFiles_.size(); ++i) {
            WideLine(kCaHeadlessFiles[i]);
            if (PathFileExistsW(organizerFiles_[i].c_str())) {
                Line("VLX: Delete File: ");
                WideLine(organizerFiles_[i].c_str());
                DeleteFileW(organizerFiles_[i].c_str());
            }
        }
    } else {
        Line("VLX: CX install dir not available. No file deleted.");
    }
    Line("VLX: End of deleteVLXFilesFromCaheadless");
}

// Removes the empty folders of the tree at folder (a buffer of MAX_PATH * 2
// holding length characters), innermost first.
void Floor::PruneFolder(wchar_t* folder, size_t length) const {
    wcscpy(folder + length, L"\\*.*");
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(folder, &entry);
    folder[length] = L'\0';
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    bool holdsFile = false;
    do {
        if (entry.cFileName[0] == L'.') {
            continue;
        }
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            folder[length] = L'\\';
            wcscpy(folder + length + 1, entry.cFileName);
            PruneFolder(folder, length + 1 + wcslen(entry.cFileName));
            folder[length] = L'\0';
        } else {
            holdsFile = true;
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    if (!holdsFile) {
        SetFileAttributesW(folder, FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryW(folder);
    }
}

void Floor::OemFiles() const {
    Line("VLX: BEGIN - Uninstall OEM Files");
    InstallDir();
    for (size_t i = 0; i < oemFiles_.size(); ++i) {
        WideLine(kOemFiles[i]);
        if (PathFileExistsW(oemFiles_[i].c_str())) {
            SetFileAttributesW(oemFiles_[i].c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(oemFiles_[i].c_str());
        }
    }
    for (size_t i = 0; i < oemFolders_.size(); ++i) {
        WideLine(kOemFolders[i]);
        wchar_t folder[MAX_PATH * 2];
        wcscpy(folder, oemFolders_[i].c_str());
        PruneFolder(folder, oemFolders_[i].size());
    }
    Line("VLX: END - Uninstall OEM Files");
}

void Floor::DeleteCatalog() const {
    wchar_t folder[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    SetFileAttributesW(catalog_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(catalog_.c_str());
}
