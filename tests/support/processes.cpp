#include "tests/support/processes.h"

#include <string>

#include "base/guards.h"
#include "tests/support/environment.h"
#include "tests/support/iat_patch.h"

void ReadAll(HANDLE from, std::string* into) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(from, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        into->append(buffer, got);
    }
}

namespace {

// Appends what the pipe holds now, without waiting for more.
void ReadAvailable(HANDLE pipe, std::string* into) {
    char buffer[4096];
    DWORD available = 0;
    DWORD got = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
           ReadFile(pipe, buffer, available < sizeof(buffer) ? available : sizeof(buffer), &got, nullptr) &&
           got > 0) {
        into->append(buffer, got);
    }
}

}  // namespace

ProcessResult RunAndCapture(const std::wstring& commandLine, DWORD timeoutMilliseconds) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    Handle outRead, outWrite, errRead, errWrite;
    CreatePipe(outRead.put(), outWrite.put(), &inherit, 0);
    CreatePipe(errRead.put(), errWrite.put(), &inherit, 0);
    SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite.get();
    startup.hStdError = errWrite.get();
    PROCESS_INFORMATION information = {};
    std::wstring writable = commandLine;
    result.started = CreateProcessW(nullptr, &writable[0], nullptr, nullptr, TRUE, 0, nullptr,
                                    nullptr, &startup, &information) != FALSE;
    const Handle process(information.hProcess);
    const Handle thread(information.hThread);
    // Only the child (and what it starts) holds the writing ends now.
    outWrite.reset();
    errWrite.reset();
    if (result.started) {
        // Read while it runs, and stop when it ends: a program it started
        // may hold the pipes open for longer (Wine starts its desktop
        // process for the first program that needs one, with that program's
        // standard handles). One that outlives its time is ended.
        const double deadline = NowMilliseconds() + timeoutMilliseconds;
        for (;;) {
            const bool ended = WaitForSingleObject(process.get(), 10) == WAIT_OBJECT_0;
            ReadAvailable(outRead.get(), &result.out);
            ReadAvailable(errRead.get(), &result.err);
            if (ended) {
                break;
            }
            if (NowMilliseconds() > deadline) {
                TerminateProcess(process.get(), 1);
                WaitForSingleObject(process.get(), 10000);
                break;
            }
        }
        GetExitCodeProcess(process.get(), &result.exitCode);
    }
    return result;
}

CreateProcessRecorder::CreateProcessRecorder(HMODULE module, Children children)
    : children_(children), patch_(module, "CreateProcessW", [this](auto... call) { return Record(call...); }) {}

CreateProcessRecorder::~CreateProcessRecorder() {
    for (const Handle& process : processes_) {
        EndIfRunning(process.get());
    }
}

std::vector<std::wstring> CreateProcessRecorder::commandLines() const {
    std::vector<std::wstring> lines;
    for (const Call& call : calls_) {
        lines.push_back(call.commandLine);
    }
    return lines;
}

BOOL CreateProcessRecorder::Record(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                                   LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                                   LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startup,
                                   LPPROCESS_INFORMATION information) {
    Call call = {application != nullptr ? application : L"",
                 commandLine != nullptr ? commandLine : L"",
                 inheritHandles,
                 creationFlags,
                 environment != nullptr,
                 currentDirectory != nullptr,
                 startup != nullptr ? startup->cb : 0,
                 startup != nullptr ? startup->dwFlags : 0,
                 nullptr};
    BOOL result = FALSE;
    DWORD error = ERROR_FILE_NOT_FOUND;
    if (children_ == Children::kStart) {
        result = patch_.original()(application, commandLine, processAttributes, threadAttributes, inheritHandles,
                                   creationFlags, environment, currentDirectory, startup, information);
        error = result ? ERROR_SUCCESS : GetLastError();
        if (result) {
            Handle own;
            DuplicateHandle(GetCurrentProcess(), information->hProcess, GetCurrentProcess(),
                            own.put(), 0, FALSE, DUPLICATE_SAME_ACCESS);
            call.process = own.get();
            processes_.push_back(std::move(own));
        }
    }
    calls_.push_back(call);
    SetLastError(error);
    return result;
}

bool EndIfRunning(HANDLE child) {
    const std::wstring running = L"Local\\vlx_child_" + std::to_wstring(GetProcessId(child));
    for (int tries = 0; tries < 1000 && WaitForSingleObject(child, 0) == WAIT_TIMEOUT; ++tries) {
        if (Handle(OpenEventW(SYNCHRONIZE, FALSE, running.c_str())).valid()) {
            break;
        }
        Sleep(10);
    }
    const bool stillRunning = WaitForSingleObject(child, 0) == WAIT_TIMEOUT;
    TerminateProcess(child, 1);
    WaitForSingleObject(child, 10000);
    return stillRunning;
}

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

