#include "tests/support/phases.h"

#include "tests/support/environment.h"

const std::vector<PhaseFacts>& AllPhases() {
    static const std::vector<PhaseFacts> phases = {
        {"InstallPreSystemCheckProc", Install, PreSystemCheck, "In InstallPreSystemCheckProc", {}, 0},
        {"PrePayloadInstallProc", Install, PrePayload, "In PrePayloadInstallProc", {}, 0},
        {"PostPayloadInstallProc", Install, PostPayload, "VLX: In PostPayloadInstallProc",
         {&kRegisterFiltersFrame, &kCreateShortcutsFrame}, 0},
        {"InstallSessionOpenProc", Install, SessionOpen, "In InstallSessionOpenProc", {}, 0},
        {"InstallSessionCloseProc", Install, SessionClose, "In InstallSessionCloseProc",
         {&kFixPermissionFrame}, 0},
        {"ReinstallPreSystemCheckProc", Reinstall, PreSystemCheck, "In ReinstallPreSystemCheckProc",
         {}, 0},
        {"PrePayloadReinstallProc", Reinstall, PrePayload, "In PrePayloadReinstallProc",
         {&kUnregisterFiltersFrame}, 0},
        {"PostPayloadReinstallProc", Reinstall, PostPayload, "In PostPayloadReinstallProc",
         {&kDeleteShortcutsFrame, &kRegisterFiltersFrame, &kCreateShortcutsFrame}, 0},
        {"ReinstallSessionOpenProc", Reinstall, SessionOpen, "In ReinstallSessionOpenProc",
         {&kStopAnalyzerFrame}, 5000},
        {"ReinstallSessionCloseProc", Reinstall, SessionClose, "In ReinstallSessionCloseProc",
         {&kFixPermissionFrame}, 0},
        {"UninstallPreSystemCheckProc", Uninstall, PreSystemCheck, "In UninstallPreSystemCheckProc",
         {}, 0},
        {"PrePayloadUninstallProc", Uninstall, PrePayload, "VLX: In PrePayloadUninstallProc",
         {&kUnregisterFiltersFrame, &kOemFilesFrame}, 0},
        {"PostPayloadUninstallProc", Uninstall, PostPayload, "In PostPayloadUninstallProc",
         {&kDeleteShortcutsFrame, &kDeleteOptionKeyFrame, &kOrganizerCleanupFrame}, 0},
        {"UninstallSessionOpenProc", Uninstall, SessionOpen, "In UninstallSessionOpenProc",
         {&kStopAnalyzerFrame}, 5000},
        {"UninstallSessionCloseProc", Uninstall, SessionClose, "In UninstallSessionCloseProc", {}, 0},
    };
    return phases;
}

int32_t ExpectedResult(const PhaseFacts& phase) {
    return phase.mode == Install && phase.entry == PreSystemCheck && InWin64Prefix() ? 6 : 0;
}

testing::AssertionResult FramesInOrder(const Lines& lines, const PhaseFacts& phase) {
    std::vector<std::string> wanted = {phase.entryLine};
    for (const ActionFrame* action : phase.actions) {
        wanted.push_back(action->first);
        if (action->last != nullptr) {
            wanted.push_back(action->last);
        }
    }
    if (lines.empty() || lines.front().text != wanted.front()) {
        return testing::AssertionFailure() << "the log does not begin with " << wanted.front();
    }
    size_t next = 0;
    for (const LogLine& line : lines) {
        if (next < wanted.size() && line.text == wanted[next]) {
            ++next;
        }
    }
    if (next == wanted.size()) {
        return testing::AssertionSuccess();
    }
    testing::AssertionResult failure = testing::AssertionFailure();
    failure << "missing in order: \"" << wanted[next] << "\"; the log was:";
    for (const LogLine& line : lines) {
        failure << "\n  " << line;
    }
    return failure;
}
