// The application's all-users shortcuts: desktop, Start menu (optionally in a
// sub-folder the user chose) and the taskbar pin, as the installer options ask.
#pragma once

#include "hook/context.h"

void CreateShortcuts(const HookContext* context);

// Creates every missing folder of path, outermost first (never the drive).
// True when the whole path exists at the end.
bool CreateDirectoryPath(const wchar_t* path);
