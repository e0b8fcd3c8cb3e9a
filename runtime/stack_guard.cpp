// The stack protector's runtime, as the DLL's own, for both compilers'
// protectors: GCC's and clang's -fstack-protector (__stack_chk_guard,
// __stack_chk_fail) and MSVC's /GS (__security_cookie,
// __security_check_cookie). The runtimes that come with the compilers make
// the guard through the CryptoAPI, which loads the RSA provider when the DLL
// loads (four fifths of the load time under Wine), or need the C runtime DLL
// of their Visual Studio; on a failed check they write to a console and call
// abort(), whose message box would hang an unattended install. Here the
// guard comes from the system's random generator when the DLL loads, and a
// failed check ends the process at once with the stack-overrun status:
// nothing more of a process whose stack is corrupt gets to run.
#include "runtime/stack_guard.h"

#include <ntsecapi.h>

namespace {

// The guard's value until the DLL's initialisation sets it: its zero bytes
// stop string copies.
const uintptr_t kInitialGuard = 0x000aff0d;

}  // namespace

uintptr_t NewStackGuard() {
    uintptr_t guard = 0;
    if (!RtlGenRandom(&guard, sizeof(guard)) || guard == 0) {
        // What varies from process to process, as /GS mixes it without a generator.
        LARGE_INTEGER counter = {};
        QueryPerformanceCounter(&counter);
        guard = static_cast<uintptr_t>(counter.QuadPart) ^ (static_cast<uintptr_t>(GetCurrentProcessId()) << 16) ^
                GetCurrentThreadId() ^ GetTickCount() ^ reinterpret_cast<uintptr_t>(&guard);
    }
    return guard != 0 ? guard : kInitialGuard;
}

void StackSmashed() {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_STACK_BUFFER_OVERRUN));
    for (;;) {
    }
}

#if defined(_MSC_VER)

extern "C" {

uintptr_t __security_cookie = kInitialGuard;

// Called with the frame's copy of the cookie at the end of every protected
// function; it has no buffer of its own to protect.
VLX_UNGUARDED void __fastcall __security_check_cookie(uintptr_t cookie) {
    if (cookie != __security_cookie) {
        StackSmashed();
    }
}

}  // extern "C"

#else  // GCC and clang

extern "C" {

// Checked at the end of every protected function.
uintptr_t __stack_chk_guard = kInitialGuard;

__attribute__((noreturn)) void __stack_chk_fail(void) {
    StackSmashed();
}

}  // extern "C"

namespace {

// Runs before anything else of the DLL, while no protected function is on
// the stack, and is not protected itself: the guard changes under it.
__attribute__((constructor)) VLX_UNGUARDED void MakeStackGuard() {
    __stack_chk_guard = NewStackGuard();
}

}  // namespace

#endif
