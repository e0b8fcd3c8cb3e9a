// The main of every test program. Three things differ from GoogleTest's own:
// - GoogleTest starts, for each thread that reports a result or a trace, a
//   thread that waits for that thread's end. Left waiting when the process
//   exits, that thread is ended by Wine, which sometimes crashes doing so
//   (docs/testing.md, "How a suite's run is judged"). So the tests run on a
//   thread of their own, whose watcher ends with it, and the program exits
//   once it is alone.
// - A thread still running ten seconds after the tests (the hook's, or any
//   other) fails the program, named by its start address and whether that
//   lies in the hook's DLL.
// - A fault in the hook's own code, or in a call it made (a frame of the DLL
//   on the faulting stack: a bad pointer handed to msvcrt or ntdll), ends the
//   program with the fault's code, also where something else would catch
//   and hide it: the loader does so for a fault in a DLL's entry point, at
//   FreeLibrary and at the process's exit.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <stdio.h>

namespace {

// Whether address lies in the hook's DLL; module names the module it lies in.
bool InHook(const void* address, wchar_t (&module)[MAX_PATH]) {
    HMODULE handle = nullptr;
    wchar_t path[MAX_PATH] = L"no module";
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(address), &handle)) {
        GetModuleFileNameW(handle, path, MAX_PATH);
    }
    lstrcpynW(module, PathFindFileNameW(path), MAX_PATH);
    return lstrcmpiW(module, L"VLXCustomHook.dll") == 0;
}

// Whether a word on the faulting stack, from its pointer up, is a return
// address into the hook's code: one past a call instruction in its image.
bool HookCalledDown(const CONTEXT* context) {
    const auto* image = reinterpret_cast<const BYTE*>(GetModuleHandleW(L"VLXCustomHook.dll"));
    if (image == nullptr) {
        return false;
    }
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
    const BYTE* code = image + headers->OptionalHeader.BaseOfCode;
    const BYTE* end = code + headers->OptionalHeader.SizeOfCode;
    // The stack's committed part, from the fault's stack pointer to its base.
    MEMORY_BASIC_INFORMATION stack = {};
    VirtualQuery(reinterpret_cast<const void*>(context->Esp), &stack, sizeof stack);
    const auto* top = reinterpret_cast<const BYTE* const*>(static_cast<const BYTE*>(stack.BaseAddress) + stack.RegionSize);
    for (auto word = reinterpret_cast<const BYTE* const*>(context->Esp); word < top; ++word) {
        const BYTE* at = *word;
        if (at >= code + 6 && at <= end && (at[-5] == 0xE8 || at[-6] == 0xFF || at[-3] == 0xFF || at[-2] == 0xFF)) {
            return true;
        }
    }
    return false;
}

// Written past the C runtime, which may be gone at the process's exit.
void Say(const char* line) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, lstrlenA(line), &written, nullptr);
}

LONG CALLBACK EndAtFaultInHook(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    wchar_t module[MAX_PATH];
    if ((record->ExceptionCode & 0xC0000000) != 0xC0000000) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const bool own = InHook(record->ExceptionAddress, module);
    if (own || HookCalledDown(pointers->ContextRecord)) {
        char line[160];
        snprintf(line, sizeof line, "Fault in VLXCustomHook.dll%s: exception 0x%08lX at %p\n",
                 own ? "" : " (a call it made)", record->ExceptionCode, record->ExceptionAddress);
        Say(line);
        TerminateProcess(GetCurrentProcess(), record->ExceptionCode);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI RunTests(void*) {
    return static_cast<DWORD>(RUN_ALL_TESTS());
}

// Waits, ten seconds at most, for every other thread of the process to end:
// false, with a line for each, when one is still running.
bool OthersEnded() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    const ULONGLONG until = GetTickCount64() + 10000;
    bool ended = true;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        const HANDLE thread = entry.th32OwnerProcessID == GetCurrentProcessId() && entry.th32ThreadID != GetCurrentThreadId()
                                  ? OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID)
                                  : nullptr;
        const ULONGLONG now = GetTickCount64();
        void* start = nullptr;
        wchar_t module[MAX_PATH];
        if (thread != nullptr && WaitForSingleObject(thread, now < until ? static_cast<DWORD>(until - now) : 0) ==
                                     WAIT_TIMEOUT) {
            NtQueryInformationThread(thread, ThreadQuerySetWin32StartAddress, &start, sizeof start, nullptr);
            const bool hook = InHook(start, module);
            char line[MAX_PATH + 120];
            snprintf(line, sizeof line, "A thread left running at exit: started at %p, %s%ls\n", start,
                     hook ? "in " : "not in VLXCustomHook.dll but in ", module);
            Say(line);
            ended = false;
        }
        if (thread != nullptr) {
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
    return ended;
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
    return OthersEnded() ? static_cast<int>(result) : 3;
}
