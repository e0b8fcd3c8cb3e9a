#include "registry/installer_options.h"

#include "hook/log.h"
#include "hook/product.h"
#include "registry/reg_util.h"

const wchar_t kOptionSubKey[] = VLX_WIDE(VLX_OPTION_KEY);
const wchar_t kOptionKeyPath[] = VLX_WIDE("HKEY_LOCAL_MACHINE\\" VLX_OPTION_KEY);
const wchar_t kOptionParentKeyPath[] = VLX_WIDE("HKEY_LOCAL_MACHINE\\" VLX_OPTION_PARENT_KEY);

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
        // A run ended after the key went leaves its emptied parent.
        registry.DeleteEmptyKey(kOptionParentKeyPath);
    }
    LogMessage(context, "VLX: End of DeleteInstallerRegistries", kLogLevelProgress);
}
