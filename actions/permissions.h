// Opens the application's per-machine data folder to every user.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "hook/context.h"

// Grants Everyone full, inherited access to
// "<common application data>\Kestrune\Montavo Fablio\15.0" when it exists,
// no link lies on its way, and it does not have that access yet (or a killed
// run left its push unfinished), and pushes the entry down to what lies
// below it itself, through proven handles. Always 0.
int32_t FixPermission(const HookContext* context);
