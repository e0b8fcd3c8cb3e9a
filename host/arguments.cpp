#include "host/arguments.h"

#include <windows.h>

#include <algorithm>

#include "hook/context.h"
#include "hook/product.h"

const NamedValue kModes[3] = {
    {L"install", Install},
    {L"reinstall", Reinstall},
    {L"uninstall", Uninstall},
};

const NamedValue kPhases[5] = {
    {L"sessionopen", SessionOpen},
    {L"presystemcheck", PreSystemCheck},
    {L"prepayload", PrePayload},
    {L"postpayload", PostPayload},
    {L"sessionclose", SessionClose},
};

const char kUsage[] =
    "Usage: hookhost --mode install|reinstall|uninstall [options]\n"
    "\n"
    "Loads the hook DLL and calls it as the installer host does, printing every\n"
    "log line as \"[level] text\".\n"
    "\n"
    "  --mode MODE           install, reinstall or uninstall (required)\n"
    "  --phase PHASE         run one phase only: presystemcheck, prepayload,\n"
    "                        postpayload, sessionopen or sessionclose.\n"
    "                        Without it the whole operation runs in host order:\n"
    "                        InitSession, SessionOpen, PreSystemCheck, PrePayload,\n"
    "                        PostPayload, SessionClose, CloseSession; it stops at\n"
    "                        the first phase that does not return 0 (the session\n"
    "                        is still closed).\n"
    "  --property NAME=VALUE add a host property (UTF-8; repeatable; replaces a\n"
    "                        default of the same name). Defaults:\n"
    "                          ProductName=" VLX_PRODUCT_NAME "\n"
    "                          INSTALLDIR=%ProgramFiles%\\Kestrune\n"
    "  --dll PATH            the hook DLL (default: VLXCustomHook.dll beside\n"
    "                        hookhost.exe)\n"
    "  --help                show this text\n"
    "\n"
    "Exit code: the hook's result (0 handled, 3 unsupported install mode,\n"
    "4 unsupported entry mode, 6 refused on 64-bit Windows); 2 for a bad\n"
    "argument, a DLL that does not load or a missing export. Phase times are\n"
    "printed at the end.\n";

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &result[0], size,
                        nullptr, nullptr);
    return result;
}

namespace {

bool Lookup(const NamedValue* table, size_t count, const wchar_t* name, uint32_t* value) {
    for (size_t i = 0; i < count; ++i) {
        if (_wcsicmp(table[i].name, name) == 0) {
            *value = table[i].value;
            return true;
        }
    }
    return false;
}

void SetProperty(Options* options, const std::string& name, const std::string& value) {
    auto& properties = options->properties;
    const auto same = std::find_if(properties.begin(), properties.end(),
                                   [&](const auto& property) { return property.first == name; });
    if (same != properties.end()) {
        same->second = value;
    } else {
        properties.emplace_back(name, value);
    }
}

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

std::wstring DefaultInstallDir() {
    wchar_t programFiles[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return L"C:\\Program Files\\Kestrune";
    }
    return std::wstring(programFiles) + L"\\Kestrune";
}

}  // namespace

std::wstring ParseArguments(int argc, wchar_t** argv, Options* options) {
    SetProperty(options, "ProductName", VLX_PRODUCT_NAME);
    SetProperty(options, "INSTALLDIR", ToUtf8(DefaultInstallDir()));
    options->dll = ModuleFolder() + L"VLXCustomHook.dll";

    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--help" || arg == L"-h") {
            options->help = true;
            return std::wstring();
        }
        const bool takesValue = arg == L"--mode" || arg == L"--phase" || arg == L"--property" ||
                                arg == L"--dll";
        if (!takesValue) {
            return L"unknown argument: " + arg + L" (see --help)";
        }
        if (i + 1 >= argc) {
            return arg + L" needs a value (see --help)";
        }
        const std::wstring value = argv[++i];
        if (arg == L"--mode") {
            if (!Lookup(kModes, ARRAYSIZE(kModes), value.c_str(), &options->mode)) {
                return L"unknown mode: " + value + L" (install, reinstall or uninstall)";
            }
            options->modeGiven = true;
        } else if (arg == L"--phase") {
            if (!Lookup(kPhases, ARRAYSIZE(kPhases), value.c_str(), &options->phase)) {
                return L"unknown phase: " + value +
                       L" (presystemcheck, prepayload, postpayload, sessionopen or sessionclose)";
            }
            options->phaseGiven = true;
        } else if (arg == L"--property") {
            const size_t equals = value.find(L'=');
            if (equals == std::wstring::npos || equals == 0) {
                return L"--property needs NAME=VALUE, got: " + value;
            }
            SetProperty(options, ToUtf8(value.substr(0, equals)), ToUtf8(value.substr(equals + 1)));
        } else {
            options->dll = value;
        }
    }
    if (!options->modeGiven) {
        return L"--mode is required (see --help)";
    }
    return std::wstring();
}

