// Opens the application's per-machine data folder to every user.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "hook/context.h"

// Grants Everyone full, inherited access to
// "<common application data>\Kestrune\Montavo Fablio\15.0" when it exists,
// does not have that access yet, and no link lies on its way or below it.
// Always 0.
int32_t FixPermission(const HookContext* context);
