// A program built with the DLL's stack protector runtime:
//   vlx_stack_smash.exe guard   exits with 0 when the guard was made at start
//   vlx_stack_smash.exe smash   writes past a stack buffer and returns
#include <windows.h>

#include <stdint.h>
#include <string.h>

extern "C" uintptr_t __stack_chk_guard;

namespace {

// Writes count bytes into an eight-byte buffer on its own stack frame.
__attribute__((noinline)) int Overrun(volatile size_t count) {
    char buffer[8];
    memset(buffer, 'x', count);
    return buffer[0];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && wcscmp(argv[1], L"guard") == 0) {
        return __stack_chk_guard != 0x000aff0d && __stack_chk_guard != 0 ? 0 : 1;
    }
    if (argc > 1 && wcscmp(argv[1], L"smash") == 0) {
        return Overrun(64);
    }
    return 2;
}
