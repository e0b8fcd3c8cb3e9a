#include "actions/oem_files.h"

#include <windows.h>
#include <shlwapi.h>

#include "hook/guards.h"
#include "hook/log.h"
#include "hook/properties.h"

namespace {

// In the order the installer's OEM list has them; PatentLegalNotice is
// listed twice.
const wchar_t* const kOemFiles[] = {
    L"\\Settings\\Info\\CustomCredits",
    L"\\Settings\\Info\\TeamNames",
    L"\\Settings\\Info\\PatentLegalNotice",
    L"\\Settings\\Info\\PatentLegalNotice",
    L"\\Settings\\Info\\About.xst",
    L"\\Settings\\Info\\PatentTextMac.xst",
    L"\\Settings\\Info\\PatentTextWin.xst",
    L"\\Settings\\Info\\SplashAbout.xst",
    L"\\ols_config.xml",
    L"\\MediaIO\\codecs\\Dolby.vca",
    L"\\mc_dec_dd.dll",
    L"\\mc_dec_dd_ds.ax",
    L"\\32\\mc_dec_dd.dll",
    L"\\32\\mc_dec_dd_ds.ax",
    L"\\MediaIO\\codecs\\mfdolby.vca",
    L"\\MFDolbyEncoder.dll",
    L"\\MFDolbyImporter.dll",
};

const wchar_t* const kOemFolders[] = {
    L"\\Settings",
    L"\\MediaIO",
};

}  // namespace

void UninstallOEMFiles(const HookContext* context) {
    LogMessage(context, "VLX: BEGIN - Uninstall OEM Files", kLogLevelProgress);
    wchar_t installDir[kPathChars] = {};
    if (GetInstallDir(context, installDir)) {
        for (const wchar_t* entry : kOemFiles) {
            LogWideMessage(context, entry);
            wchar_t path[kPathChars] = {};
            if (BuildInstallPath(context, installDir, entry, path) && PathFileExistsW(path) == TRUE) {
                // Clears read-only, hidden and system first.
                SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path);
            }
        }
        for (const wchar_t* entry : kOemFolders) {
            LogWideMessage(context, entry);
            wchar_t path[kPathChars] = {};
            if (BuildInstallPath(context, installDir, entry, path)) {
                RemoveEmptyFolderTree(path);
            }
        }
    }
    LogMessage(context, "VLX: END - Uninstall OEM Files", kLogLevelProgress);
}

uint32_t RemoveEmptyFolderTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    FindHandle search(FindFirstFileW((folder + L"\\*.*").c_str(), &entry));
    if (!search.valid()) {
        return ERROR_SUCCESS;
    }
    bool holdsFile = false;
    DWORD listingError = ERROR_SUCCESS;
    for (;;) {
        // Names beginning with a period (".", ".." and hidden names) are
        // passed over.
        if (entry.cFileName[0] != L'.') {
            const DWORD attributes = entry.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                // A junction or link leads out of the tree: what it points at
                // is not ours to prune, and it keeps this folder.
                holdsFile = true;
            } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveEmptyFolderTree(folder + L"\\" + entry.cFileName);
            } else {
                holdsFile = true;
            }
        }
        if (!FindNextFileW(search.get(), &entry)) {
            listingError = GetLastError();
            break;
        }
    }
    search.reset();

    if (listingError != ERROR_NO_MORE_FILES) {
        return listingError;
    }
    if (holdsFile) {
        return ERROR_SUCCESS;
    }
    if (!SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL) ||
        !RemoveDirectoryW(folder.c_str())) {
        return GetLastError();
    }
    return ERROR_SUCCESS;
}
