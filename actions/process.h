// Starting external programs from the host's thread.
#pragma once

#include <stdint.h>
#include <wchar.h>

// Starts commandLine (writable; its first token names the program) with no
// window and no inherited handles, waits up to timeoutMilliseconds (INFINITE
// waits without limit) and returns the exit code: 259 (STILL_ACTIVE) when the
// time-out came first (the program is left running), 0 when it could not be
// started. With an application (a full path), that file is the program and
// no search rule picks another; without one, the system's search rules find
// the first token.
int32_t RunProcessAndWait(wchar_t* commandLine, uint32_t timeoutMilliseconds,
                          const wchar_t* application = nullptr);

enum class Registration {
    kRegister,
    kUnregister,
};

// Registers or unregisters filePath silently with the system's Regsvr32.exe
// (in the system's own Windows folder, never a per-user one) and waits for it
// without a time-out. Always 0: the tool's outcome is not reported.
int32_t RunRegsvr32(const wchar_t* filePath, Registration registration);
