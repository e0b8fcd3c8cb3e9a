// Stand-ins that short-circuit the hook's waits: a pause that returns at
// once, and a CreateProcessW that starts nothing but hands out copies of the
// handles of a child that has already ended, so that the caller waits, reads
// an exit code of 0 and closes what it got, as it would for a real child.
// And the pauses a module asks for, recorded instead of slept.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

VOID WINAPI NoPause(DWORD milliseconds);

BOOL WINAPI StartNothing(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                         LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags, LPVOID environment,
                         LPCWSTR folder, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information);

// Starts the finished child now (StartNothing does on its first call).
void PrepareFinishedChild();

// While it lives, module's pauses return at once and are recorded. One at a
// time.
class PauseRecorder {
public:
    explicit PauseRecorder(HMODULE module);
    ~PauseRecorder();
    PauseRecorder(const PauseRecorder&) = delete;
    PauseRecorder& operator=(const PauseRecorder&) = delete;

    // The pauses asked for since it was made or cleared, in milliseconds.
    const std::vector<DWORD>& pauses() const { return pauses_; }
    void clear() { pauses_.clear(); }

private:
    static VOID WINAPI Record(DWORD milliseconds);
    struct Patch;
    std::unique_ptr<Patch> patch_;
    std::vector<DWORD> pauses_;
};
