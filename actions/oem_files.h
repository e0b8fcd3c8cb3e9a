// Removal of the OEM-only files of the payload before an uninstall removes
// the rest, and pruning of the folder trees they leave empty.
#pragma once

#include <stdint.h>

#include "hook/context.h"

void UninstallOEMFiles(const HookContext* context);

// Removes every folder of the tree at folder (no trailing backslash) that has
// no file beneath it, deepest first; every file stays. Names beginning with a
// period are neither descended into nor counted as files; links are never
// followed and keep the folder that holds them, and a folder is removed only
// through a handle proven to lie below the tree's parent. A folder whose path
// would not fit a path buffer is kept, so the depth is bounded. Returns a
// Windows error code: 0 when the folder was removed, is missing or keeps a
// file; otherwise the failure's code (ERROR_DIR_NOT_EMPTY when a sub-folder
// keeps a file).
uint32_t RemoveEmptyFolderTree(const wchar_t* folder);
