#include "actions/oem_files.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/checked_text.h"
#include "base/delete_below.h"
#include "base/folder_tree.h"
#include "base/no_follow.h"
#include "hook/log.h"
#include "hook/product.h"
#include "hook/properties.h"

namespace {

const wchar_t* const kOemFiles[] = {VLX_OEM_FILES(VLX_WIDE_ENTRY)};
const wchar_t* const kOemFolders[] = {VLX_OEM_FOLDERS(VLX_WIDE_ENTRY)};

}  // namespace

void UninstallOEMFiles(const HookContext* context) {
    LogMessage(context, "VLX: BEGIN - Uninstall OEM Files", kLogLevelProgress);
    wchar_t installDir[kPathChars] = {};
    if (GetInstallDir(context, installDir)) {
        for (const wchar_t* entry : kOemFiles) {
            LogWideMessage(context, entry);
            wchar_t path[kPathChars] = {};
            if (BuildInstallPath(context, installDir, entry, path) && PathFileExistsW(path) == TRUE) {
                LeftAside leftAside;
                LogDeletion(context, ForceDeleteBelow(installDir, path, &leftAside), leftAside);
            }
        }
        for (const wchar_t* entry : kOemFolders) {
            LogWideMessage(context, entry);
            wchar_t path[kPathChars] = {};
            if (!BuildInstallPath(context, installDir, entry, path)) {
                continue;
            }
            const DWORD pruned = PruneTree(installDir, path);
            if (IsRefusedAsLink(pruned)) {
                LogLinkSkipped(context);
            } else if (pruned == kWalkBound) {
                LogWalkBound(context);
            }
        }
    }
    LogMessage(context, "VLX: END - Uninstall OEM Files", kLogLevelProgress);
}
