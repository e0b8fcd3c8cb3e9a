#include "tests/support/hook_dll.h"

#include <stdlib.h>

#include "tests/support/environment.h"

namespace {

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

HookDll::HookDll() {
    module_ = LoadLibraryW(BesideTests(L"VLXCustomHook.dll").c_str());
    if (module_ == nullptr) {
        abort();
    }
    init_ = Export<SessionFunction>(module_, "QXInstallerCustomHookInitSession");
    close_ = Export<SessionFunction>(module_, "QXInstallerCustomHookCloseSession");
    proc_ = Export<PhaseFunction>(module_, "QXInstallerCustomHookProcV2");
    if (init_ == nullptr || close_ == nullptr || proc_ == nullptr) {
        abort();
    }
}

HookDll::~HookDll() {
    FreeLibrary(module_);
}

int32_t HookDll::InitSession() const {
    return init_();
}

int32_t HookDll::CloseSession() const {
    return close_();
}

int32_t HookDll::Proc(const PropertyMap* map, uint32_t entryMode, int32_t installMode,
                      LogCallback callback, uint32_t hostValue) const {
    return proc_(map, entryMode, installMode, hostValue, callback);
}
