// Registration of the MainConcept codec filter modules of the payload with
// the system's Regsvr32.exe.
#pragma once

#include "hook/context.h"

// Registers the Dolby decoder filter in the install folder and its "32"
// sub-folder.
void RegisterMainConceptFilters(const HookContext* context);

// Unregisters all six filters in both folders.
void UnRegisterMainConceptFilters(const HookContext* context);
