// The fifteen phase handlers, one per install mode and entry mode. Each logs
// its entry line, runs its actions in a fixed order and returns the result
// the dispatcher hands back to the host.
#pragma once

#include "hook/context.h"

typedef int32_t (*PhaseHandler)(const HookContext* context);

// Result of the install pre-check when a 32-bit installer of this product
// runs on 64-bit Windows.
const int32_t kResultRefused64Bit = 6;

int32_t InstallPreSystemCheckProc(const HookContext* context);
int32_t PrePayloadInstallProc(const HookContext* context);
int32_t PostPayloadInstallProc(const HookContext* context);
int32_t InstallSessionOpenProc(const HookContext* context);
int32_t InstallSessionCloseProc(const HookContext* context);

int32_t ReinstallPreSystemCheckProc(const HookContext* context);
int32_t PrePayloadReinstallProc(const HookContext* context);
int32_t PostPayloadReinstallProc(const HookContext* context);
int32_t ReinstallSessionOpenProc(const HookContext* context);
int32_t ReinstallSessionCloseProc(const HookContext* context);

int32_t UninstallPreSystemCheckProc(const HookContext* context);
int32_t PrePayloadUninstallProc(const HookContext* context);
int32_t PostPayloadUninstallProc(const HookContext* context);
int32_t UninstallSessionOpenProc(const HookContext* context);
int32_t UninstallSessionCloseProc(const HookContext* context);
