#include "actions/oem_files.h"

#include <windows.h>
#include <shlwapi.h>

#include "hook/checked_text.h"
#include "hook/guards.h"
#include "hook/log.h"
#include "hook/no_follow.h"
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

// One pruning: the folder being looked at grows and shrinks in one buffer as
// the walk goes down and up, and every level shares one search record (each
// has read its entry before it goes down).
struct Pruning {
    BaseFolder* base;  // the tree's parent: removals must lie below it
    wchar_t folder[kPathChars];
    WIN32_FIND_DATAW entry;
};

uint32_t PruneFolder(Pruning* pruning) {
    wchar_t* const folder = pruning->folder;
    const size_t length = wcslen(folder);
    if (!CheckedAppend(pruning->folder, L"\\*.*")) {
        return ERROR_SUCCESS;  // cannot be listed: it stays, and keeps its parent
    }
    FindHandle search(FindFirstFileW(folder, &pruning->entry));
    folder[length] = L'\0';
    if (!search.valid()) {
        return ERROR_SUCCESS;
    }
    bool holdsFile = false;
    DWORD listingError = ERROR_SUCCESS;
    for (;;) {
        const WIN32_FIND_DATAW& entry = pruning->entry;
        // Names beginning with a period (".", ".." and hidden names) are
        // passed over.
        if (entry.cFileName[0] != L'.') {
            const DWORD attributes = entry.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                // A junction or link leads out of the tree: what it points at
                // is not ours to prune, and it keeps this folder.
                holdsFile = true;
            } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                if (CheckedAppend(pruning->folder, L"\\") &&
                    CheckedAppend(pruning->folder, entry.cFileName)) {
                    PruneFolder(pruning);
                } else {
                    holdsFile = true;  // too deep to name: kept, with this folder
                }
                folder[length] = L'\0';
            } else {
                holdsFile = true;
            }
        }
        if (!FindNextFileW(search.get(), &pruning->entry)) {
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
    return RemoveFolderBelow(pruning->base, folder);
}

// Prunes the tree at folder, whose removals must lie below base.
uint32_t PruneTree(BaseFolder* base, const wchar_t* folder) {
    Pruning pruning;
    pruning.base = base;
    if (!CheckedCopy(pruning.folder, folder)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    return PruneFolder(&pruning);
}

}  // namespace

void UninstallOEMFiles(const HookContext* context) {
    LogMessage(context, "VLX: BEGIN - Uninstall OEM Files", kLogLevelProgress);
    wchar_t installDir[kPathChars] = {};
    if (GetInstallDir(context, installDir)) {
        // One base for every file and folder below it.
        BaseFolder base(installDir);
        for (const wchar_t* entry : kOemFiles) {
            LogWideMessage(context, entry);
            wchar_t path[kPathChars] = {};
            if (BuildInstallPath(context, installDir, entry, path) && PathFileExistsW(path) == TRUE) {
                ForceDeleteBelow(context, &base, path);
            }
        }
        for (const wchar_t* entry : kOemFolders) {
            LogWideMessage(context, entry);
            wchar_t path[kPathChars] = {};
            if (!BuildInstallPath(context, installDir, entry, path)) {
                continue;
            }
            // The tree's top is checked here, where its base is known.
            FileHandle top;
            if (OpenBelow(&base, path, FILE_READ_ATTRIBUTES, kFolderItem, &top) == kLinkInPath) {
                LogLinkSkipped(context);
                continue;
            }
            top.reset();
            PruneTree(&base, path);
        }
    }
    LogMessage(context, "VLX: END - Uninstall OEM Files", kLogLevelProgress);
}

uint32_t RemoveEmptyFolderTree(const wchar_t* folder) {
    wchar_t parent[kPathChars];
    if (!CheckedCopy(parent, folder)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    PathRemoveFileSpecW(parent);
    BaseFolder base(parent);
    return PruneTree(&base, folder);
}
