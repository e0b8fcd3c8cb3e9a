// Stand-ins that short-circuit the hook's waits: a pause that returns at
// once, and a CreateProcessW that starts nothing but hands out copies of the
// handles of a child that has already ended, so that the caller waits, reads
// an exit code of 0 and closes what it got, as it would for a real child.
#pragma once

#include <windows.h>

VOID WINAPI NoPause(DWORD milliseconds);

BOOL WINAPI StartNothing(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                         LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags, LPVOID environment,
                         LPCWSTR folder, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information);

// Starts the finished child now (StartNothing does on its first call).
void PrepareFinishedChild();
