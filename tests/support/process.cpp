#include "tests/support/process.h"

#include <thread>

#include "hook/guards.h"

void ReadAll(HANDLE from, std::string* into) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(from, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        into->append(buffer, got);
    }
}

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
    // Only the child holds the writing ends now: reading ends with its exit.
    outWrite.reset();
    errWrite.reset();
    if (result.started) {
        std::thread errReader(ReadAll, errRead.get(), &result.err);
        ReadAll(outRead.get(), &result.out);
        errReader.join();
        if (WaitForSingleObject(process.get(), timeoutMilliseconds) != WAIT_OBJECT_0) {
            TerminateProcess(process.get(), 1);
        }
        GetExitCodeProcess(process.get(), &result.exitCode);
    }
    return result;
}
