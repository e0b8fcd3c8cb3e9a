#include "tests/support/process.h"

#include "base/guards.h"
#include "tests/support/environment.h"

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
