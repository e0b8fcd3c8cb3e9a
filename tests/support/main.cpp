// The main of every test program. Two things differ from GoogleTest's own:
// - GoogleTest starts, for each thread that reports a result or a trace, a
//   thread that waits for that thread's end. Left waiting when the process
//   exits, that thread is ended by Wine, which sometimes crashes doing so
//   (docs/testing.md, "How a suite's run is judged"). So the tests run on a
//   thread of their own, whose watcher ends with it, and the program exits
//   once it is alone.
// - A fault in the hook's own code ends the program with the fault's code,
//   also where something else would catch and hide it: the loader does so for
//   a fault in a DLL's entry point, at FreeLibrary and at the process's exit.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <stdio.h>

namespace {

LONG CALLBACK EndAtFaultInHook(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    HMODULE module = nullptr;
    wchar_t path[MAX_PATH];
    if ((record->ExceptionCode & 0xC0000000) == 0xC0000000 &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(record->ExceptionAddress), &module) &&
        GetModuleFileNameW(module, path, MAX_PATH) != 0 && lstrcmpiW(PathFindFileNameW(path), L"VLXCustomHook.dll") == 0) {
        // Written past the C runtime, which may be gone at the process's exit.
        char line[80];
        const int length = snprintf(line, sizeof line, "Fault in VLXCustomHook.dll: exception 0x%08lX at %p\n",
                                    record->ExceptionCode, record->ExceptionAddress);
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
        TerminateProcess(GetCurrentProcess(), record->ExceptionCode);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI RunTests(void*) {
    return static_cast<DWORD>(RUN_ALL_TESTS());
}

// Waits, ten seconds at most, for every other thread of the process to end.
void AwaitOtherThreads() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    const ULONGLONG until = GetTickCount64() + 10000;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        const HANDLE thread = entry.th32OwnerProcessID == GetCurrentProcessId() && entry.th32ThreadID != GetCurrentThreadId()
                                  ? OpenThread(SYNCHRONIZE, FALSE, entry.th32ThreadID)
                                  : nullptr;
        if (thread != nullptr) {
            const ULONGLONG now = GetTickCount64();
            WaitForSingleObject(thread, now < until ? static_cast<DWORD>(until - now) : 0);
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
}

}  // namespace

int main(int argc, char** argv) {
    AddVectoredExceptionHandler(1, &EndAtFaultInHook);
    testing::InitGoogleTest(&argc, argv);
    const HANDLE tests = CreateThread(nullptr, 0, &RunTests, nullptr, 0, nullptr);
    DWORD result = 1;
    if (tests == nullptr || WaitForSingleObject(tests, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeThread(tests, &result)) {
        fprintf(stderr, "The tests' thread failed: error %lu\n", GetLastError());
        return 1;
    }
    CloseHandle(tests);
    AwaitOtherThreads();
    return static_cast<int>(result);
}
