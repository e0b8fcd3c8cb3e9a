// Facts about the Wine prefix a test runs in, and test-run helpers.
#pragma once

#include <stdint.h>

#include <string>

// True when the run is in the win64 prefix (the 32-bit test runs under
// WoW64), as the runner script says; false in the win32 prefix.
bool InWin64Prefix();

// A setting of a run from the environment: its text (empty when unset), or
// its decimal number (otherwise when unset or empty).
std::string EnvironmentText(const char* name);
uint64_t EnvironmentNumber(const char* name, uint64_t otherwise);

// A file beside the test program (the built DLL, the host, helpers).
std::wstring BesideTests(const std::wstring& name);
// True when the test program runs from the MSVC-ABI stage (bin-msvc-abi).
bool MsvcAbiRun();

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// The system's Windows folder, as GetSystemWindowsDirectoryW gives it.
std::wstring WindowsFolder();

// Milliseconds on a high-resolution clock.
double NowMilliseconds();
