// The application's part in the companion organizer: its headless analyzer
// is stopped before the payload changes, and the application's codec files
// are removed from the organizer's "CAHeadless" folder at uninstall.
#pragma once

#include <stdint.h>

#include "base/checked_text.h"
#include "hook/context.h"

// Runs the analyzer of the install folder with " -uninstall", waits up to
// 30 seconds and logs its exit code. Always 0.
int32_t StopCAHeadlessService(const HookContext* context);

// The organizer's install folder, without a trailing backslash, from the
// default value of its ApplicationPath key (64-bit registry view); the empty
// text when it cannot be read or does not fit folder.
void GetCXInstallDir(const HookContext* context, wchar_t (&folder)[kPathChars]);

// Deletes the application's six codec files from the organizer's
// "\CAHeadless" folder.
void deleteVLXFilesFromCaheadless(const HookContext* context);
