#include "registry/installer_options.h"

#include "hook/log.h"
#include "registry/reg_util.h"

const wchar_t kOptionSubKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VEXOUninstallOptions\\VLX";
const wchar_t kOptionKeyPath[] =
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"VEXOUninstallOptions\\VLX";
const wchar_t kOptionParentKeyPath[] =
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"VEXOUninstallOptions";

const wchar_t kNoDesktopIconValue[] = L"NODESKTOPICON";
const wchar_t kPinToTaskbarValue[] = L"PINWSTOTASKBAR";
const wchar_t kStartMenuLocationValue[] = L"STARTMENULOCATION";

void DeleteInstallerRegistries(const HookContext* context) {
    LogMessage(context, "VLX: Start of DeleteInstallerRegistries", kLogLevelProgress);
    RegUtil registry;
    if (registry.KeyExists(kOptionKeyPath)) {
        // Each step goes on whatever the one before it did; a key that still
        // holds anything else stays.
        registry.DeleteValue(kOptionKeyPath, kNoDesktopIconValue);
        registry.DeleteValue(kOptionKeyPath, kStartMenuLocationValue);
        registry.DeleteValue(kOptionKeyPath, kPinToTaskbarValue);
        registry.DeleteEmptyKey(kOptionKeyPath);
        registry.DeleteEmptyKey(kOptionParentKeyPath);
    } else {
        LogFormattedLine(context, L"Registry doesnt exists = %ls", kOptionKeyPath);
    }
    LogMessage(context, "VLX: End of DeleteInstallerRegistries", kLogLevelProgress);
}
