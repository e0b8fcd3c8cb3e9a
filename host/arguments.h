// The host's command line: what to run, with which properties and DLL.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

struct NamedValue {
    const wchar_t* name;
    uint32_t value;
};

// The install modes by name, in InstallMode order.
extern const NamedValue kModes[3];
// The phases by name, in the order the installer host calls them.
extern const NamedValue kPhases[5];

extern const char kUsage[];

struct Options {
    bool help = false;
    bool modeGiven = false;
    bool phaseGiven = false;
    uint32_t mode = 0;
    uint32_t phase = 0;
    std::wstring dll;
    std::vector<std::pair<std::string, std::string>> properties;  // UTF-8
};

// Fills options from the command line, with the defaults for what it leaves
// out. Returns an empty text on success, otherwise what was wrong.
std::wstring ParseArguments(int argc, wchar_t** argv, Options* options);

std::string ToUtf8(const std::wstring& text);
