// hookhost: a small installer host for trying the hook from the command line.
// It loads a hook DLL and calls its exports as the installer host does, with a
// property map of UTF-8 pairs and a cdecl log callback, and prints every log
// line with its level.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dll/exports.h"
#include "host/arguments.h"

namespace {

const int kExitUsage = 2;

const char* PhaseTitle(uint32_t phase) {
    static const char* const titles[] = {"PreSystemCheck", "PrePayload", "PostPayload",
                                         "SessionOpen", "SessionClose"};
    return titles[phase];
}

int Fail(const std::wstring& message) {
    fprintf(stderr, "hookhost: %s\n", ToUtf8(message).c_str());
    fflush(stderr);
    return kExitUsage;
}

void __cdecl PrintLogLine(const char* text, int32_t level) {
    printf("[%d] %s\n", static_cast<int>(level), text);
    fflush(stdout);
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

// The hook's exports, with the types the hook declares for them.
struct Hook {
    HMODULE module = nullptr;
    decltype(&QXInstallerCustomHookInitSession) initSession = nullptr;
    decltype(&QXInstallerCustomHookProcV2) procV2 = nullptr;
    decltype(&QXInstallerCustomHookCloseSession) closeSession = nullptr;
};

// An export's address as the function type it has.
template <typename Function>
bool Resolve(HMODULE module, const char* name, Function* function, std::wstring* error) {
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (*function == nullptr) {
        *error = L" has no export " + std::wstring(name, name + strlen(name));
    }
    return *function != nullptr;
}

// Loads the DLL and looks up its three exports; an empty text on success.
std::wstring LoadHook(const std::wstring& dll, Hook* hook) {
    hook->module = LoadLibraryW(dll.c_str());
    if (hook->module == nullptr) {
        return L"cannot load " + dll + L" (error " + std::to_wstring(GetLastError()) + L")";
    }
    std::wstring missing;
    if (!Resolve(hook->module, "QXInstallerCustomHookInitSession", &hook->initSession, &missing) ||
        !Resolve(hook->module, "QXInstallerCustomHookProcV2", &hook->procV2, &missing) ||
        !Resolve(hook->module, "QXInstallerCustomHookCloseSession", &hook->closeSession, &missing)) {
        FreeLibrary(hook->module);
        hook->module = nullptr;
        return dll + missing;
    }
    return std::wstring();
}

// Runs one phase, or the whole operation in host order, printing each phase;
// returns the hook's last result.
int32_t RunOperation(const Hook& hook, const Options& options, std::vector<Timing>* timings) {
    std::vector<PropertyEntry> map(options.properties.size() + 1, PropertyEntry{nullptr, nullptr});
    std::transform(options.properties.begin(), options.properties.end(), map.begin(), [](const auto& property) {
        return PropertyEntry{property.first.c_str(), property.second.c_str()};
    });

    auto runPhase = [&](uint32_t phase) {
        printf("== %s %s ==\n", ToUtf8(kModes[options.mode].name).c_str(), PhaseTitle(phase));
        fflush(stdout);
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        const int32_t result =
            hook.procV2(map.data(), phase, static_cast<int32_t>(options.mode), 0, PrintLogLine);
        timings->push_back({PhaseTitle(phase), MillisecondsSince(start)});
        printf("-> result %d\n", static_cast<int>(result));
        fflush(stdout);
        return result;
    };
    if (options.phaseGiven) {
        return runPhase(options.phase);
    }
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    hook.initSession();
    timings->push_back({"InitSession", MillisecondsSince(start)});
    int32_t result = 0;
    for (const NamedValue& phase : kPhases) {
        result = runPhase(phase.value);
        if (result != 0) {
            printf("stopped: %s returned %d\n", PhaseTitle(phase.value), static_cast<int>(result));
            break;
        }
    }
    QueryPerformanceCounter(&start);
    hook.closeSession();
    timings->push_back({"CloseSession", MillisecondsSince(start)});
    return result;
}

void ReportTimings(const std::vector<Timing>& timings) {
    printf("Phase times:\n");
    for (const Timing& timing : timings) {
        printf("  %-15s %8.1f ms\n", timing.step.c_str(), timing.milliseconds);
    }
    fflush(stdout);
}

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
    Hook hook;
    const std::wstring loadError = LoadHook(options.dll, &hook);
    if (!loadError.empty()) {
        return Fail(loadError);
    }
    std::vector<Timing> timings;
    const int32_t result = RunOperation(hook, options, &timings);
    ReportTimings(timings);
    FreeLibrary(hook.module);
    return result;
}
