// Loads the stack protector's test module beside it (vlx_stack_smash.dll)
// and calls it:
//   vlx_stack_smash.exe guard   exits with 0 when the module made its guard
//   vlx_stack_smash.exe smash   lets the module write past a stack buffer
#include <windows.h>

#include <string.h>

int wmain(int argc, wchar_t** argv) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t* name = wcsrchr(path, L'\\');
    if (length == 0 || length >= MAX_PATH || name == nullptr || argc < 2) {
        return 2;
    }
    wcscpy(name + 1, L"vlx_stack_smash.dll");
    const HMODULE module = LoadLibraryW(path);
    if (module == nullptr) {
        return 3;
    }
    typedef int(__cdecl * Function)();
    const bool guard = wcscmp(argv[1], L"guard") == 0;
    const Function function = reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(module, guard ? "StackGuardMade" : "SmashStack")));
    if (function == nullptr) {
        return 4;
    }
    const int result = function();
    return guard ? (result == 1 ? 0 : 1) : result;
}
