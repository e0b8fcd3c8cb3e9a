#include "actions/oem_files.h"

#include <windows.h>
#include <shlwapi.h>

#include "hook/checked_text.h"
#include "hook/folder_tree.h"
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
                LogDeletion(context, ForceDeleteBelow(&base, path));
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
