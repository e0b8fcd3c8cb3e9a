// Removal of the OEM-only files of the payload before an uninstall removes
// the rest, and pruning of the folder trees they leave empty.
#pragma once

#include "hook/context.h"

void UninstallOEMFiles(const HookContext* context);

