// Records the CreateProcessW calls a module makes (through its import table)
// and passes them on to the platform or refuses them.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/guards.h"

enum class Children {
    kStart,   // calls go on to the platform: the programs run
    kRefuse,  // every call fails with ERROR_FILE_NOT_FOUND; nothing runs
};

// Every program it lets start and that still runs is ended when it goes
// (EndIfRunning), also when an assertion ended the test first.
class CreateProcessRecorder {
public:
    struct Call {
        std::wstring application;  // empty when none was named
        std::wstring commandLine;
        BOOL inheritHandles;
        DWORD creationFlags;
        bool hasEnvironment;
        bool hasCurrentDirectory;
        DWORD startupSize;
        DWORD startupFlags;
        HANDLE process;  // the recorder's own handle to it; null when not started
    };

    CreateProcessRecorder(HMODULE module, Children children);
    ~CreateProcessRecorder();
    CreateProcessRecorder(const CreateProcessRecorder&) = delete;
    CreateProcessRecorder& operator=(const CreateProcessRecorder&) = delete;

    const std::vector<Call>& calls() const { return calls_; }
    std::vector<std::wstring> commandLines() const;

private:
    static BOOL WINAPI Replacement(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                   BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                                   LPPROCESS_INFORMATION);
    struct Patch;
    std::unique_ptr<Patch> patch_;
    Children children_;
    std::vector<Call> calls_;
    std::vector<Handle> processes_;
};

// True when the child is still running; it is ended either way, and waited
// for. A child of ours (vlx_child.exe) is ended only once it runs its own
// code: Wine sets up the console of a program started without a window in
// that program before its code runs, and a program ended in the middle of it
// leaves the console's host process behind for good, holding the test's
// output open (ctest then waits for it until its time-out).
bool EndIfRunning(HANDLE child);
