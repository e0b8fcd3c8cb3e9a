// The built VLXCustomHook.dll, loaded as the installer host loads it.
#pragma once

#include <windows.h>

#include "hook/context.h"
#include "tests/support/log_capture.h"

class HookDll {
public:
    HookDll();
    ~HookDll();
    HookDll(const HookDll&) = delete;
    HookDll& operator=(const HookDll&) = delete;

    HMODULE module() const { return module_; }

    int32_t InitSession() const;
    int32_t CloseSession() const;
    int32_t Proc(const PropertyMap* map, uint32_t entryMode, int32_t installMode,
                 LogCallback callback = LogCapture::Callback, uint32_t hostValue = 0) const;

private:
    typedef int32_t(__cdecl* SessionFunction)();
    typedef int32_t(__cdecl* PhaseFunction)(const PropertyMap*, uint32_t, int32_t, uint32_t,
                                            LogCallback);
    HMODULE module_ = nullptr;
    SessionFunction init_ = nullptr;
    SessionFunction close_ = nullptr;
    PhaseFunction proc_ = nullptr;
};
