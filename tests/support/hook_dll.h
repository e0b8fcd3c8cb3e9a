// The built VLXCustomHook.dll, loaded as the installer host loads it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "hook/exports.h"
#include "tests/support/log_capture.h"

class HookDll {
public:
    // The DLL built beside the tests, or the one at path.
    HookDll();
    explicit HookDll(const std::wstring& path);
    ~HookDll();
    HookDll(const HookDll&) = delete;
    HookDll& operator=(const HookDll&) = delete;

    HMODULE module() const { return module_; }

    int32_t InitSession() const { return init_(); }
    int32_t CloseSession() const { return close_(); }
    // One phase, named by its modes.
    int32_t Proc(const PropertyMap* map, EntryMode entryMode, InstallMode installMode,
                 LogCallback callback = LogCapture::Callback, uint32_t hostValue = 0) const {
        return proc_(map, entryMode, installMode, hostValue, callback);
    }
    // One phase with its lines captured, expecting result (0 unless told).
    std::vector<LogLine> Logged(const PropertyMap* map, EntryMode entryMode, InstallMode installMode,
                                int32_t result = 0) const;
    // The export itself, for modes that name no phase.
    decltype(&QXInstallerCustomHookProcV2) ProcV2() const { return proc_; }

private:
    HMODULE module_ = nullptr;
    decltype(&QXInstallerCustomHookInitSession) init_ = nullptr;
    decltype(&QXInstallerCustomHookCloseSession) close_ = nullptr;
    decltype(&QXInstallerCustomHookProcV2) proc_ = nullptr;
};
