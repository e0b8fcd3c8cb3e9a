// Runs a program under test and collects what it printed.
#pragma once

#include <windows.h>

#include <string>

struct ProcessResult {
    DWORD exitCode = 0;
    std::string out;
    std::string err;
    bool started = false;
};

// Appends what is left to read in a pipe or file.
void ReadAll(HANDLE from, std::string* into);

// Runs commandLine with its standard output and error captured until it
// ends; waits up to timeoutMilliseconds (the process is ended when it takes
// longer, well within the suite's own time-out).
ProcessResult RunAndCapture(const std::wstring& commandLine, DWORD timeoutMilliseconds = 30000);
