#include "actions/process.h"

#include <windows.h>

#include "base/checked_text.h"
#include "base/guards.h"

namespace {

const size_t kCommandChars = 1024;

// The system folder's name: "\System32" on Windows NT, "\System" before it.
const wchar_t* SystemFolderName() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    GetVersionExW(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT ? L"\\System32" : L"\\System";
}

}  // namespace

int32_t RunProcessAndWait(wchar_t* commandLine, uint32_t timeoutMilliseconds, const wchar_t* application) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION information = {};
    if (!CreateProcessW(application, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &information)) {
        return 0;
    }
    const Handle process(information.hProcess);
    const Handle thread(information.hThread);
    WaitForSingleObject(process.get(), timeoutMilliseconds);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    return static_cast<int32_t>(exitCode);
}

int32_t RunRegsvr32(const wchar_t* filePath, Registration registration) {
    // The system's Windows folder: in a Remote Desktop session a host that is
    // not marked terminal-server aware gets a per-user one from
    // GetWindowsDirectoryW.
    wchar_t tool[kPathChars] = {};
    const UINT length = GetSystemWindowsDirectoryW(tool, static_cast<UINT>(kPathChars));
    if (length == 0 || length >= kPathChars ||
        !CheckedJoin(tool, {tool, SystemFolderName(), L"\\Regsvr32.exe"})) {
        return 0;
    }
    // The tool's own path stays unquoted; the file's path is quoted. The
    // tool is named as the program too, so no search rule can pick another.
    const wchar_t* const switches =
        registration == Registration::kRegister ? L" /s \"" : L" /s /u \"";
    wchar_t command[kCommandChars] = {};
    if (CheckedJoin(command, {tool, switches, filePath, L"\""})) {
        RunProcessAndWait(command, INFINITE, tool);
    }
    return 0;
}
