// The yardstick for loading the hook: a DLL that does nothing, built as the
// hook is (the same runtime and flags) and importing the same functions
// (the generated table refers to each through its import symbol).
#include <windows.h>

#include <stdint.h>

extern "C" void* const* const kImports[];

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

__declspec(dllexport) int32_t __cdecl MinimalCall() {
    return kImports[0] != nullptr ? 0 : 1;
}

}  // extern "C"
