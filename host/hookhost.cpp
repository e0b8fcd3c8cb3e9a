// hookhost: a small installer host for trying the hook from the command line.
// It loads a hook DLL and calls its exports as the installer host does, with a
// property map of UTF-8 pairs and a cdecl log callback, and prints every log
// line with its level.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "hook/context.h"

namespace {

const int kExitUsage = 2;

typedef int32_t(__cdecl* SessionFunction)();
typedef int32_t(__cdecl* PhaseFunction)(const PropertyMap*, uint32_t, int32_t, uint32_t,
                                        LogCallback);

// An export's address as the function type it has.
template <typename Function>
Function FunctionCast(FARPROC address) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

struct NamedValue {
    const wchar_t* name;
    uint32_t value;
};

const NamedValue kModes[] = {
    {L"install", Install},
    {L"reinstall", Reinstall},
    {L"uninstall", Uninstall},
};

// The phases in the order the installer host calls them.
const NamedValue kPhases[] = {
    {L"sessionopen", SessionOpen},
    {L"presystemcheck", PreSystemCheck},
    {L"prepayload", PrePayload},
    {L"postpayload", PostPayload},
    {L"sessionclose", SessionClose},
};

const char* PhaseTitle(uint32_t phase) {
    static const char* const titles[] = {"PreSystemCheck", "PrePayload", "PostPayload",
                                         "SessionOpen", "SessionClose"};
    return titles[phase];
}

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
    "                          ProductName=Kestrune Montavo Fablio 15\n"
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

int Fail(const std::wstring& message) {
    fprintf(stderr, "hookhost: %s\n", ToUtf8(message).c_str());
    fflush(stderr);
    return kExitUsage;
}

bool Lookup(const NamedValue* table, size_t count, const wchar_t* name, uint32_t* value) {
    for (size_t i = 0; i < count; ++i) {
        if (_wcsicmp(table[i].name, name) == 0) {
            *value = table[i].value;
            return true;
        }
    }
    return false;
}

void __cdecl PrintLogLine(const char* text, int32_t level) {
    printf("[%d] %s\n", static_cast<int>(level), text);
    fflush(stdout);
}

struct Options {
    bool help = false;
    bool modeGiven = false;
    bool phaseGiven = false;
    uint32_t mode = 0;
    uint32_t phase = 0;
    std::wstring dll;
    std::vector<std::pair<std::string, std::string>> properties;
};

void SetProperty(Options* options, const std::string& name, const std::string& value) {
    for (auto& property : options->properties) {
        if (property.first == name) {
            property.second = value;
            return;
        }
    }
    options->properties.emplace_back(name, value);
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

// Returns an empty text on success, otherwise what was wrong.
std::wstring ParseArguments(int argc, wchar_t** argv, Options* options) {
    SetProperty(options, "ProductName", "Kestrune Montavo Fablio 15");
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

double MillisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

struct Timing {
    std::string step;
    double milliseconds;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);

    Options options;
    const std::wstring error = ParseArguments(argc, argv, &options);
    if (!error.empty()) {
        return Fail(error);
    }
    if (options.help) {
        fputs(kUsage, stdout);
        return 0;
    }

    HMODULE hook = LoadLibraryW(options.dll.c_str());
    if (hook == nullptr) {
        return Fail(L"cannot load " + options.dll + L" (error " +
                    std::to_wstring(GetLastError()) + L")");
    }
    struct Export {
        const char* name;
        FARPROC address;
    } exports[] = {{"QXInstallerCustomHookInitSession", nullptr},
                   {"QXInstallerCustomHookProcV2", nullptr},
                   {"QXInstallerCustomHookCloseSession", nullptr}};
    for (Export& entry : exports) {
        entry.address = GetProcAddress(hook, entry.name);
        if (entry.address == nullptr) {
            FreeLibrary(hook);
            return Fail(options.dll + L" has no export " +
                        std::wstring(entry.name, entry.name + strlen(entry.name)));
        }
    }
    const auto initSession = FunctionCast<SessionFunction>(exports[0].address);
    const auto procV2 = FunctionCast<PhaseFunction>(exports[1].address);
    const auto closeSession = FunctionCast<SessionFunction>(exports[2].address);

    std::vector<PropertyEntry> map;
    for (const auto& property : options.properties) {
        map.push_back({property.first.c_str(), property.second.c_str()});
    }
    map.push_back({nullptr, nullptr});

    std::vector<Timing> timings;
    int32_t result = 0;
    auto runPhase = [&](uint32_t phase) {
        printf("== %s %s ==\n", ToUtf8(kModes[options.mode].name).c_str(), PhaseTitle(phase));
        fflush(stdout);
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        result = procV2(map.data(), phase, static_cast<int32_t>(options.mode), 0, PrintLogLine);
        timings.push_back({PhaseTitle(phase), MillisecondsSince(start)});
        printf("-> result %d\n", static_cast<int>(result));
        fflush(stdout);
    };

    if (options.phaseGiven) {
        runPhase(options.phase);
    } else {
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        initSession();
        timings.push_back({"InitSession", MillisecondsSince(start)});
        for (const NamedValue& phase : kPhases) {
            runPhase(phase.value);
            if (result != 0) {
                printf("stopped: %s returned %d\n", PhaseTitle(phase.value),
                       static_cast<int>(result));
                break;
            }
        }
        QueryPerformanceCounter(&start);
        closeSession();
        timings.push_back({"CloseSession", MillisecondsSince(start)});
    }

    printf("Phase times:\n");
    for (const Timing& timing : timings) {
        printf("  %-15s %8.1f ms\n", timing.step.c_str(), timing.milliseconds);
    }
    fflush(stdout);
    FreeLibrary(hook);
    return result;
}
