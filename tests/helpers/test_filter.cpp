// A stand-in codec filter module: a COM server whose registration and
// unregistration only leave a mark, under
// HKEY_CURRENT_USER\Software\VLXTests\FilterCalls, value = the module's path,
// data "registered" or "unregistered".
#include <windows.h>

namespace {

HMODULE g_self = nullptr;

HRESULT Mark(const wchar_t* state) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(g_self, path, MAX_PATH);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VLXTests\\FilterCalls", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return E_FAIL;
    }
    const LONG status =
        RegSetValueExW(key, path, 0, REG_SZ, reinterpret_cast<const BYTE*>(state),
                       static_cast<DWORD>((lstrlenW(state) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? S_OK : E_FAIL;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
    }
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
    return Mark(L"registered");
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
    return Mark(L"unregistered");
}
