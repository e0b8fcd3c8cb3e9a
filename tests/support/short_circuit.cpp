#include "tests/support/short_circuit.h"

#include <stdlib.h>

#include <string>

#include "tests/support/environment.h"
#include "tests/support/iat_patch.h"

namespace {

struct FinishedChild {
    PROCESS_INFORMATION information = {};
    FinishedChild() {
        std::wstring command = L"\"" + BesideTests(L"vlx_child.exe") + L"\" 0";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                           nullptr, &startup, &information)) {
            WaitForSingleObject(information.hProcess, 30000);
        }
    }
    ~FinishedChild() {
        CloseHandle(information.hProcess);
        CloseHandle(information.hThread);
    }
};

FinishedChild& Child() {
    static FinishedChild child;
    return child;
}

}  // namespace

VOID WINAPI NoPause(DWORD) {}

BOOL WINAPI StartNothing(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                         LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION information) {
    const HANDLE self = GetCurrentProcess();
    *information = PROCESS_INFORMATION();
    DuplicateHandle(self, Child().information.hProcess, self, &information->hProcess, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    DuplicateHandle(self, Child().information.hThread, self, &information->hThread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    information->dwProcessId = Child().information.dwProcessId;
    information->dwThreadId = Child().information.dwThreadId;
    return TRUE;
}

void PrepareFinishedChild() {
    Child();
}

namespace {

PauseRecorder* g_pauses = nullptr;

}  // namespace

struct PauseRecorder::Patch {
    ImportPatch<decltype(Sleep)> import;
    explicit Patch(HMODULE module) : import(module, "kernel32.dll", "Sleep", &PauseRecorder::Record) {}
};

PauseRecorder::PauseRecorder(HMODULE module) {
    if (g_pauses != nullptr) {
        abort();
    }
    g_pauses = this;
    patch_.reset(new Patch(module));
}

PauseRecorder::~PauseRecorder() {
    patch_.reset();
    g_pauses = nullptr;
}

VOID WINAPI PauseRecorder::Record(DWORD milliseconds) {
    g_pauses->pauses_.push_back(milliseconds);
}
