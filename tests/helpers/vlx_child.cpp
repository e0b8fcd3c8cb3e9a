// A child program for process tests: vlx_child.exe [exit-code [sleep-ms]].
// When VLX_CHILD_RECORD names a file, appends its command line to it first.
// VLX_CHILD_EXIT and VLX_CHILD_SLEEP stand in for the two arguments, for a
// copy started under another name with other arguments (the analyzer).
// While it runs its own code it holds the event "Local\vlx_child_<pid>": a
// test ends it only then (see EndIfRunning).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int wmain(int argc, wchar_t** argv) {
    wchar_t running[64] = {};
    _snwprintf(running, 63, L"Local\\vlx_child_%lu", GetCurrentProcessId());
    // Held until the program ends.
    const HANDLE runningEvent = CreateEventW(nullptr, TRUE, TRUE, running);
    wchar_t record[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"VLX_CHILD_RECORD", record, MAX_PATH) > 0) {
        HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            char line[4096] = {};
            const int length = WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, line,
                                                   sizeof(line) - 1, nullptr, nullptr);
            DWORD written = 0;
            if (length > 0) {
                line[length - 1] = '\n';
                WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
            }
            CloseHandle(file);
        }
    }
    wchar_t value[32] = {};
    int exitCode = argc > 1 ? _wtoi(argv[1]) : 0;
    if (GetEnvironmentVariableW(L"VLX_CHILD_EXIT", value, 32) > 0) {
        exitCode = _wtoi(value);
    }
    DWORD sleep = argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) : 0;
    if (GetEnvironmentVariableW(L"VLX_CHILD_SLEEP", value, 32) > 0) {
        sleep = static_cast<DWORD>(_wtoi(value));
    }
    Sleep(sleep);
    CloseHandle(runningEvent);
    return exitCode;
}
