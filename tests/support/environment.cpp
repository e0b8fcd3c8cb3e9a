#include "tests/support/environment.h"

#include <windows.h>

#include <stdlib.h>

bool InWin64Prefix() {
    wchar_t arch[16] = {};
    const DWORD length = GetEnvironmentVariableW(L"VLX_WINE_ARCH", arch, 16);
    return length == 0 || lstrcmpW(arch, L"win64") == 0;
}

std::string EnvironmentText(const char* name) {
    const char* text = getenv(name);
    return text != nullptr ? text : "";
}

uint64_t EnvironmentNumber(const char* name, uint64_t otherwise) {
    const std::string text = EnvironmentText(name);
    return text.empty() ? otherwise : strtoull(text.c_str(), nullptr, 10);
}

std::wstring BesideTests(const std::wstring& name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

bool MsvcAbiRun() {
    return BesideTests(L"").find(L"bin-msvc-abi") != std::wstring::npos;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size,
                        nullptr, nullptr);
    return result;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size);
    return result;
}

std::wstring WindowsFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetSystemWindowsDirectoryW(folder, MAX_PATH);
    return folder;
}

double NowMilliseconds() {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}
