// The main of every test program. What differs from GoogleTest's own:
// - The tests run on a thread of their own, whose watcher ends with it:
//   GoogleTest starts, for each thread that reports a result or a trace, a
//   thread that waits for that thread's end, and Wine sometimes crashes
//   ending one left waiting at the process's exit (docs/testing.md, "How a
//   suite's run is judged").
// - A thread still running after the tests fails the program; each is named
//   by its start address and whether that lies in the hook's DLL, and judged
//   at once when it is the hook's (it starts none), after ten seconds when not.
// - A fault in the hook's own code, or below a frame of it on the faulting
//   stack (a bad pointer handed to msvcrt or ntdll), ends the program with the
//   fault's code, also where the loader would hide it: in a DLL's entry
//   point, at FreeLibrary and at the process's exit.
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

// Whether a word of the faulting stack, from its pointer to its base, is a
// return address into the hook's code: one past a call instruction there.
bool HookCalledDown(const CONTEXT* context) {
    const auto* image = reinterpret_cast<const BYTE*>(GetModuleHandleW(L"VLXCustomHook.dll"));
    MEMORY_BASIC_INFORMATION stack = {};
    if (image == nullptr || VirtualQuery(reinterpret_cast<const void*>(context->Esp), &stack, sizeof stack) == 0) {
        return false;
    }
    const IMAGE_OPTIONAL_HEADER& header =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew)
            ->OptionalHeader;
    const BYTE* code = image + header.BaseOfCode;
    const BYTE* bottom = static_cast<const BYTE*>(stack.BaseAddress) + stack.RegionSize;
    const auto* top = reinterpret_cast<const BYTE* const*>(bottom);
    for (auto word = reinterpret_cast<const BYTE* const*>(context->Esp); word < top; ++word) {
        const BYTE* at = *word;
        if (at >= code + 6 && at <= code + header.SizeOfCode &&
            (at[-5] == 0xE8 || at[-6] == 0xFF || at[-3] == 0xFF || at[-2] == 0xFF)) {
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
    const bool own = InHook(record->ExceptionAddress, module);
    if ((record->ExceptionCode & 0xC0000000) == 0xC0000000 && (own || HookCalledDown(pointers->ContextRecord))) {
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

// Waits, ten seconds at most, for every other thread of the process to end,
// and not at all for one the hook started: false, with a line for each,
// when one is still running.
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
        void* start = nullptr;
        wchar_t module[MAX_PATH];
        // Wine tells where a thread starts only once it has begun to run: one
        // still waiting for the CPU is given time to, within the ten seconds.
        while (thread != nullptr && start == nullptr && WaitForSingleObject(thread, 10) == WAIT_TIMEOUT &&
               GetTickCount64() < until) {
            NtQueryInformationThread(thread, ThreadQuerySetWin32StartAddress, &start, sizeof start, nullptr);
        }
        // The hook starts no thread: one of its own is not waited for.
        const bool hook = InHook(start, module);
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = hook || now >= until ? 0 : static_cast<DWORD>(until - now);
        if (thread != nullptr && WaitForSingleObject(thread, wait) == WAIT_TIMEOUT) {
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
