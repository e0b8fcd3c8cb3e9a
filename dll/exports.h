// The three entry points the installer host calls: cdecl, by undecorated
// name (ordinals 1 to 3 in name order). The host and the tests take their
// function types from here (decltype) when they look them up by name.
#pragma once

#include <stdint.h>

#include "hook/context.h"

extern "C" {

// Return 0 and do nothing else, whatever the host passes.
int32_t __cdecl QXInstallerCustomHookInitSession();
int32_t __cdecl QXInstallerCustomHookCloseSession();

// Runs the phase handler for installMode and entryMode and returns its
// result: 0, 6 (install pre-check refused), 3 or 4 (mode not supported).
int32_t __cdecl QXInstallerCustomHookProcV2(const PropertyMap* propertyMap, uint32_t entryMode,
                                            int32_t installMode, uint32_t hostValue,
                                            LogCallback logCallback);

}  // extern "C"
