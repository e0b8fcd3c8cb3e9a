// The call context that every phase handler and action receives.
#pragma once

#include <stdint.h>

// The installer host's log function: narrow (UTF-8) text and a level.
typedef void(__cdecl* LogCallback)(const char* text, int32_t level);

// One name/value pair of the host's property map; a null name ends the map.
struct PropertyEntry {
    const char* name;
    const char* value;  // UTF-8
};

// The host's property map: an array of entries ending at a null name.
typedef PropertyEntry PropertyMap;

enum InstallMode : int32_t {
    Install = 0,
    Reinstall = 1,
    Uninstall = 2,
};

enum EntryMode : uint32_t {
    PreSystemCheck = 0,
    PrePayload = 1,
    PostPayload = 2,
    SessionOpen = 3,
    SessionClose = 4,
};

// The five arguments of one QXInstallerCustomHookProcV2 call, in argument
// order. Lives on the dispatcher's stack for that call; nobody modifies it.
struct HookContext {
    const PropertyMap* propertyMap;
    EntryMode entryMode;
    InstallMode installMode;
    uint32_t hostValue;
    LogCallback logCallback;
};

// Log levels sent to the host.
const int32_t kLogLevelUser = 2;      // the one message addressed to the user
const int32_t kLogLevelProgress = 4;  // every progress and diagnostic line
