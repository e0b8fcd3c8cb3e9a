// Removal of the catalog database below the per-machine application data
// folder, before a reinstall or uninstall changes the payload.
#pragma once

#include "hook/context.h"

void DeleteCatalogDatabase(const HookContext* context);
