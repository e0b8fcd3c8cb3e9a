#include "dll/handlers.h"

#include <windows.h>

#include <string.h>

#include "actions/catalog_database.h"
#include "actions/codec_filters.h"
#include "actions/companion_organizer.h"
#include "actions/interrupted_deletions.h"
#include "actions/oem_files.h"
#include "actions/permissions.h"
#include "hook/log.h"
#include "hook/product.h"
#include "hook/properties.h"
#include "registry/installer_options.h"
#include "shortcuts/create_shortcuts.h"
#include "shortcuts/delete_shortcuts.h"

namespace {

const char kProductName[] = VLX_PRODUCT_NAME;

// The pause after the analyzer stop, so that it can let go of its files
// before the payload is touched.
const DWORD kAnalyzerSettleMilliseconds = 5000;

}  // namespace

// Refuses the 32-bit installer of this product on 64-bit Windows.
int32_t InstallPreSystemCheckProc(const HookContext* context) {
    LogMessage(context, "In InstallPreSystemCheckProc", kLogLevelProgress);
    const char* productName = nullptr;
    GetProperty(context, "ProductName", &productName);
    // A missing name counts as another product.
    if (productName == nullptr || strcmp(productName, kProductName) != 0) {
        return 0;
    }
    LogMessage(context, "VLX: 32 bit installer running", kLogLevelProgress);

    // This module is always 32-bit: it runs under WoW64 exactly when Windows
    // is 64-bit. A failing call leaves the flag false.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (!wow64) {
        return 0;
    }
    LogMessage(context, "VLX: 32 installer running on Win7 and above 64 bit machine",
               kLogLevelProgress);
    LogMessage(context,
               "This installer does not support installation on a 64-Bit Windows operating "
               "system. Please download the 64-Bit version of Montavo Fablio.",
               kLogLevelUser);
    return kResultRefused64Bit;
}

int32_t PrePayloadInstallProc(const HookContext* context) {
    LogMessage(context, "In PrePayloadInstallProc", kLogLevelProgress);
    return 0;
}

int32_t PostPayloadInstallProc(const HookContext* context) {
    LogMessage(context, "VLX: In PostPayloadInstallProc", kLogLevelProgress);
    // Each phase that changes files first finishes what a killed run left.
    FinishInterruptedDeletions(context);
    RegisterMainConceptFilters(context);
    CreateShortcuts(context);
    return 0;
}

int32_t InstallSessionOpenProc(const HookContext* context) {
    LogMessage(context, "In InstallSessionOpenProc", kLogLevelProgress);
    return 0;
}

int32_t InstallSessionCloseProc(const HookContext* context) {
    LogMessage(context, "In InstallSessionCloseProc", kLogLevelProgress);
    FixPermission(context);
    return 0;
}

int32_t ReinstallPreSystemCheckProc(const HookContext* context) {
    LogMessage(context, "In ReinstallPreSystemCheckProc", kLogLevelProgress);
    return 0;
}

int32_t PrePayloadReinstallProc(const HookContext* context) {
    LogMessage(context, "In PrePayloadReinstallProc", kLogLevelProgress);
    FinishInterruptedDeletions(context);
    UnRegisterMainConceptFilters(context);
    DeleteCatalogDatabase(context);
    return 0;
}

int32_t PostPayloadReinstallProc(const HookContext* context) {
    LogMessage(context, "In PostPayloadReinstallProc", kLogLevelProgress);
    FinishInterruptedDeletions(context);
    DeleteShortcuts(context);
    RegisterMainConceptFilters(context);
    CreateShortcuts(context);
    return 0;
}

int32_t ReinstallSessionOpenProc(const HookContext* context) {
    LogMessage(context, "In ReinstallSessionOpenProc", kLogLevelProgress);
    StopCAHeadlessService(context);
    Sleep(kAnalyzerSettleMilliseconds);
    return 0;
}

int32_t ReinstallSessionCloseProc(const HookContext* context) {
    LogMessage(context, "In ReinstallSessionCloseProc", kLogLevelProgress);
    FixPermission(context);
    return 0;
}

int32_t UninstallPreSystemCheckProc(const HookContext* context) {
    LogMessage(context, "In UninstallPreSystemCheckProc", kLogLevelProgress);
    return 0;
}

int32_t PrePayloadUninstallProc(const HookContext* context) {
    LogMessage(context, "VLX: In PrePayloadUninstallProc", kLogLevelProgress);
    FinishInterruptedDeletions(context);
    UnRegisterMainConceptFilters(context);
    UninstallOEMFiles(context);
    DeleteCatalogDatabase(context);
    return 0;
}

int32_t PostPayloadUninstallProc(const HookContext* context) {
    LogMessage(context, "In PostPayloadUninstallProc", kLogLevelProgress);
    FinishInterruptedDeletions(context);
    // Shortcut removal reads STARTMENULOCATION from the option key, so it
    // comes before the key is deleted.
    DeleteShortcuts(context);
    DeleteInstallerRegistries(context);
    deleteVLXFilesFromCaheadless(context);
    return 0;
}

int32_t UninstallSessionOpenProc(const HookContext* context) {
    LogMessage(context, "In UninstallSessionOpenProc", kLogLevelProgress);
    StopCAHeadlessService(context);
    Sleep(kAnalyzerSettleMilliseconds);
    return 0;
}

int32_t UninstallSessionCloseProc(const HookContext* context) {
    LogMessage(context, "In UninstallSessionCloseProc", kLogLevelProgress);
    return 0;
}
