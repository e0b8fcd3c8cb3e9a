// Built into a test copy of the hook DLL only (build/bin-crash-at-unload): the
// copy pins itself as it loads, so it stays until the process ends, and then
// misbehaves after GoogleTest's summary as VLX_MISBEHAVE says: "thread"
// leaves a thread running (started as it loads), "crt" hands msvcrt a bad
// pointer as it unloads, anything else faults in its own code as it unloads.
// The test command must fail a suite that ends so.
#include <windows.h>

#include <string.h>

namespace {

bool Asked(const wchar_t* how) {
    wchar_t asked[16] = {};
    GetEnvironmentVariableW(L"VLX_MISBEHAVE", asked, 16);
    return lstrcmpW(asked, how) == 0;
}

DWORD WINAPI Forever(void*) {
    Sleep(INFINITE);
    return 0;
}

struct Misbehave {
    Misbehave() {
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(this), &self);
        if (Asked(L"thread")) {
            CloseHandle(CreateThread(nullptr, 0, &Forever, nullptr, 0, nullptr));
        }
    }
    ~Misbehave() {
        static const char* volatile bad = reinterpret_cast<const char*>(16);
        if (Asked(L"crt")) {
            bad += strlen(bad);
        } else if (!Asked(L"thread")) {
            // cppcheck-suppress nullPointer ; the fault is this module's purpose
            *static_cast<volatile int*>(nullptr) = 0;
        }
    }
} misbehave;

}  // namespace
