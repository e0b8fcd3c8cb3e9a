// Removal of what shortcut creation made: the desktop and Start-menu
// shortcuts, the custom Start-menu folders left empty, and the taskbar pin.
#pragma once

#include "hook/context.h"

void DeleteShortcuts(const HookContext* context);
