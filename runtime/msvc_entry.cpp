// What a Visual Studio build (cl or clang-cl) of the DLL needs of a C runtime,
// as its own: the module entry point, which makes the /GS cookie before
// anything else runs and then calls the static initialisers and DllMain, and
// the stack probe the compiler calls for frames larger than a page. With
// these the DLL links no C runtime library and loads no C runtime DLL of its
// Visual Studio; the few C functions it uses come from the system's msvcrt.dll,
// as in the mingw-w64 build.
#if defined(_MSC_VER)

#include <windows.h>

#include <stdint.h>

#include "runtime/stack_guard.h"

extern "C" {

extern uintptr_t __security_cookie;
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

typedef void(__cdecl* Initializer)();

// The compiler puts a pointer to each static initialiser in .CRT$XCU; the
// linker sorts the section's parts by name, so these two bracket them (and
// the padding between parts is zero).
#pragma section(".CRT$XCA", read)
#pragma section(".CRT$XCZ", read)
__declspec(allocate(".CRT$XCA")) const Initializer vlxInitializersBegin[] = {nullptr};
__declspec(allocate(".CRT$XCZ")) const Initializer vlxInitializersEnd[] = {nullptr};

// Not protected itself: the cookie changes under it.
VLX_UNGUARDED BOOL WINAPI _DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        __security_cookie = NewStackGuard();
        for (const Initializer* at = vlxInitializersBegin; at < vlxInitializersEnd; ++at) {
            if (*at != nullptr) {
                (*at)();
            }
        }
    }
    return DllMain(instance, reason, reserved);
}

// The stack probe: EAX holds the size of the frame being made. Touches each
// page from the caller's stack pointer down to the new top in turn, so the
// guard page moves down as the system requires, then moves the stack pointer
// there and returns with EAX as it came.
__declspec(naked) void _chkstk() {
    __asm {
        push ecx
        lea ecx, [esp + 8]  // the caller's stack pointer
        cmp eax, 0x1000
        jb last_page
    next_page:
        sub ecx, 0x1000
        test dword ptr [ecx], ecx
        sub eax, 0x1000
        cmp eax, 0x1000
        jae next_page
    last_page:
        sub ecx, eax
        test dword ptr [ecx], ecx
        lea eax, [esp + 4]  // where the return address is
        mov esp, ecx        // the new stack top
        mov ecx, [eax - 4]  // ECX as the caller had it
        push dword ptr [eax]
        sub eax, esp        // the frame's size again
        ret
    }
}

}  // extern "C"

#endif  // defined(_MSC_VER)
