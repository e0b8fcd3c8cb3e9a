// Built into a test copy of the hook DLL only (build/bin-crash-at-unload): the
// copy pins itself as it loads, so it stays until the process ends, and then
// faults as it unloads, after GoogleTest's summary. The test command must fail
// a suite that ends so.
#include <windows.h>

namespace {

struct FaultAtUnload {
    FaultAtUnload() {
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(this), &self);
    }
    // cppcheck-suppress nullPointer ; the fault is this module's purpose
    ~FaultAtUnload() { *static_cast<volatile int*>(nullptr) = 0; }
} faultAtUnload;

}  // namespace
