// The installer option key: the shortcut options the installer records for
// the hook. The hook reads it and, at the end of an uninstall, removes it.
#pragma once

#include "hook/context.h"

// Under HKEY_LOCAL_MACHINE, in the process's own registry view.
extern const wchar_t kOptionSubKey[];
// The same key as a full registry path, and its parent.
extern const wchar_t kOptionKeyPath[];
extern const wchar_t kOptionParentKeyPath[];

extern const wchar_t kNoDesktopIconValue[];     // "1": no desktop shortcut
extern const wchar_t kPinToTaskbarValue[];      // "1": pin the Start-menu shortcut
extern const wchar_t kStartMenuLocationValue[]; // sub-folder of the Start-menu programs folder

// Deletes the three options and then the key and its parent where they are
// left empty.
void DeleteInstallerRegistries(const HookContext* context);
