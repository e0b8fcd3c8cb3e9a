// A module built with the DLL's own stack protector runtime, in the ABI of
// the build that makes it (mingw-w64, or MSVC with its own entry point):
//   StackGuardMade()  1 when the guard was made as the module loaded
//   SmashStack()      writes past a stack buffer and returns
#include <windows.h>

#include <stdint.h>
#include <string.h>

#if defined(_MSC_VER)
extern "C" uintptr_t __security_cookie;
#define VLX_GUARD __security_cookie
#else
extern "C" uintptr_t __stack_chk_guard;
#define VLX_GUARD __stack_chk_guard
#endif

namespace {

// Writes count bytes into an eight-byte buffer on its own stack frame.
__declspec(noinline) int Overrun(volatile size_t count) {
    char buffer[8];
    memset(buffer, 'x', count);
    return buffer[0];
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

__declspec(dllexport) int __cdecl StackGuardMade() {
    return VLX_GUARD != 0x000aff0d && VLX_GUARD != 0 ? 1 : 0;
}

__declspec(dllexport) int __cdecl SmashStack() {
    return Overrun(64);
}

}  // extern "C"
