// Records the CreateProcessW calls a module makes (through its import table)
// and passes them on to the platform or fails them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CreateProcessRecorder {
public:
    struct Call {
        bool hasApplicationName;
        std::wstring commandLine;
        BOOL inheritHandles;
        DWORD creationFlags;
        bool hasEnvironment;
        bool hasCurrentDirectory;
        DWORD startupSize;
        DWORD startupFlags;
        HANDLE process;  // a duplicate the test owns; null when not started
    };

    // passOn false: every call fails with ERROR_FILE_NOT_FOUND, nothing runs.
    CreateProcessRecorder(HMODULE module, bool passOn);
    ~CreateProcessRecorder();
    CreateProcessRecorder(const CreateProcessRecorder&) = delete;
    CreateProcessRecorder& operator=(const CreateProcessRecorder&) = delete;

    bool applied() const;
    const std::vector<Call>& calls() const { return calls_; }
    std::vector<std::wstring> commandLines() const;

private:
    static BOOL WINAPI Replacement(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                   BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                                   LPPROCESS_INFORMATION);
    struct Patch;
    Patch* patch_;
    bool passOn_;
    std::vector<Call> calls_;
};
