// The three entry points the installer host calls, and the module entry point.
#include <windows.h>

#include "dll/dispatch.h"
#include "dll/exports.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

int32_t __cdecl QXInstallerCustomHookInitSession() {
    return 0;
}

int32_t __cdecl QXInstallerCustomHookCloseSession() {
    return 0;
}

int32_t __cdecl QXInstallerCustomHookProcV2(const PropertyMap* propertyMap, uint32_t entryMode,
                                            int32_t installMode, uint32_t hostValue,
                                            LogCallback logCallback) {
    const HookContext context = {propertyMap, static_cast<EntryMode>(entryMode),
                                 static_cast<InstallMode>(installMode), hostValue, logCallback};
    return DispatchPhase(&context);
}

}  // extern "C"
