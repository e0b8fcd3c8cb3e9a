// The taskbar pin of the Start-menu shortcut: the value "SBOEM2" of the
// shell's key "SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\TBDEn"
// under HKEY_LOCAL_MACHINE, in the 64-bit registry view.
#pragma once

#include <stddef.h>

#include "hook/context.h"

// Records szStartMenu, the full path of the Start-menu shortcut, as the pin.
void CreateRegPinVLXWelcomeScreenToTaskBar(const HookContext* context, const wchar_t* szStartMenu);

// Removes the pin when it names this product's shortcut, then the pinned
// copies in every user profile.
void DeleteRegPinDRQWelcomeScreenToTaskBar(const HookContext* context);

// True when text ends with suffix, byte for byte.
bool EndsWith(const char* text, size_t textLength, const char* suffix, size_t suffixLength);
