// Selects the phase handler of a hook call by install mode and entry mode.
#pragma once

#include "hook/context.h"

const int32_t kResultUnsupportedInstallMode = 3;
const int32_t kResultUnsupportedEntryMode = 4;

// Runs the handler for the context's modes and returns its result, or 3 / 4
// (with one log line) for a mode that has no handler.
int32_t DispatchPhase(const HookContext* context);
