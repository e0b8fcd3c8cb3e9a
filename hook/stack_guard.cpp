// The stack protector's runtime, as the DLL's own (GCC and clang; MSVC's
// /GS brings its own). The runtime library that comes with the compiler
// makes its guard through the CryptoAPI, which loads the RSA provider when
// the DLL loads (four fifths of the load time under Wine), and on a failed
// check writes to a console and calls abort(), whose message box would hang
// an unattended install. Here the guard comes from the system's random
// generator, and a failed check ends the process at once, as /GS does:
// nothing more of a process whose stack is corrupt gets to run.
#if defined(__GNUC__)

#include <windows.h>
#include <ntsecapi.h>

#include <stdint.h>

extern "C" {

// Checked at the end of every protected function; the value it has until
// the DLL's initialisation sets it stops string copies at its zero bytes.
uintptr_t __stack_chk_guard = 0x000aff0d;

__attribute__((noreturn)) void __stack_chk_fail(void) {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_STACK_BUFFER_OVERRUN));
    for (;;) {
    }
}

}  // extern "C"

namespace {

// Runs before anything else of the DLL, while no protected function is on
// the stack, and is not protected itself: the guard changes under it.
__attribute__((constructor, no_stack_protector)) void MakeStackGuard() {
    uintptr_t guard = 0;
    if (!RtlGenRandom(&guard, sizeof(guard)) || guard == 0) {
        // What varies from process to process, as /GS mixes it without a generator.
        LARGE_INTEGER counter = {};
        QueryPerformanceCounter(&counter);
        guard = static_cast<uintptr_t>(counter.QuadPart) ^ (static_cast<uintptr_t>(GetCurrentProcessId()) << 16) ^
                GetCurrentThreadId() ^ GetTickCount() ^ reinterpret_cast<uintptr_t>(&guard);
    }
    __stack_chk_guard = guard != 0 ? guard : 0x000aff0d;
}

}  // namespace

#endif  // defined(__GNUC__)
