// Writes shortcut files through the platform's shell-link object.
#pragma once

#include "hook/context.h"

// Writes linkPath (its folder must exist) as a shortcut to targetPath with an
// empty description. True when the link was saved.
bool CreateLink(const HookContext* context, const wchar_t* targetPath, const wchar_t* linkPath);
