// The programs the tests start and those the hook starts under a test: run
// and read until they end, recorded or refused, and always ended and waited
// for; and the hook's waits, recorded or returning at once.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/guards.h"
#include "tests/support/iat_patch.h"

// A program under test, run with what it printed collected.
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

// Records the CreateProcessW calls a module makes (through its import table)
// and passes them on to the platform or refuses them.
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
    BOOL Record(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                LPSTARTUPINFOW, LPPROCESS_INFORMATION);
    Children children_;
    std::vector<Call> calls_;
    std::vector<Handle> processes_;
    ImportPatch<decltype(CreateProcessW)> patch_;
};

// True when the child is still running; it is ended either way, and waited
// for. A child of ours (vlx_child.exe) is ended only once it runs its own
// code: Wine sets up the console of a program started without a window in
// that program before its code runs, and a program ended in the middle of it
// leaves the console's host process behind for good, holding the test's
// output open (ctest then waits for it until its time-out).
bool EndIfRunning(HANDLE child);

// Stand-ins that short-circuit the hook's waits: a pause that returns at
// once, and a CreateProcessW that starts nothing but hands out copies of the
// handles of a child that has already ended, so that the caller waits, reads
// an exit code of 0 and closes what it got, as it would for a real child.
// And the pauses a module asks for, recorded instead of slept.
VOID WINAPI NoPause(DWORD milliseconds);

BOOL WINAPI StartNothing(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                         LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags, LPVOID environment,
                         LPCWSTR folder, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information);

// Starts the finished child now (StartNothing does on its first call).
void PrepareFinishedChild();

// While it lives, module's pauses return at once and are recorded.
class PauseRecorder {
public:
    explicit PauseRecorder(HMODULE module) : patch_(module, "Sleep", [this](DWORD ms) { pauses_.push_back(ms); }) {}

    // The pauses asked for since it was made or cleared, in milliseconds.
    const std::vector<DWORD>& pauses() const { return pauses_; }
    void clear() { pauses_.clear(); }

private:
    std::vector<DWORD> pauses_;
    ImportPatch<decltype(Sleep)> patch_;
};
