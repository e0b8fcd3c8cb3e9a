#include "dll/dispatch.h"

#include "dll/handlers.h"
#include "hook/log.h"

namespace {

const PhaseHandler kHandlers[3][5] = {
    {InstallPreSystemCheckProc, PrePayloadInstallProc, PostPayloadInstallProc,
     InstallSessionOpenProc, InstallSessionCloseProc},
    {ReinstallPreSystemCheckProc, PrePayloadReinstallProc, PostPayloadReinstallProc,
     ReinstallSessionOpenProc, ReinstallSessionCloseProc},
    {UninstallPreSystemCheckProc, PrePayloadUninstallProc, PostPayloadUninstallProc,
     UninstallSessionOpenProc, UninstallSessionCloseProc},
};

}  // namespace

int32_t DispatchPhase(const HookContext* context) {
    const int32_t installMode = context->installMode;
    if (installMode < Install || installMode > Uninstall) {
        LogMessage(context, "Unsupported install mode specified.", kLogLevelProgress);
        return kResultUnsupportedInstallMode;
    }
    const uint32_t entryMode = context->entryMode;
    if (entryMode > SessionClose) {
        LogMessage(context, "Unsupported entry mode specified.", kLogLevelProgress);
        return kResultUnsupportedEntryMode;
    }
    return kHandlers[installMode][entryMode](context);
}
