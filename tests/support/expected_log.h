// The hook's log as the tests expect it: the lines that frame each action
// and the actions of each of the fifteen phases.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "hook/context.h"
#include "tests/support/log_capture.h"

// The lines an action always sends, whatever its inputs: its first, and its
// last when it has one that every run ends with.
struct ActionFrame {
    const char* name;
    const char* first;
    const char* last;  // null: the action's last line depends on what it found
};

extern const ActionFrame kRegisterFiltersFrame;
extern const ActionFrame kUnregisterFiltersFrame;
extern const ActionFrame kCreateShortcutsFrame;
extern const ActionFrame kDeleteShortcutsFrame;
extern const ActionFrame kDeleteOptionKeyFrame;
extern const ActionFrame kOrganizerCleanupFrame;
extern const ActionFrame kStopAnalyzerFrame;
extern const ActionFrame kOemFilesFrame;
extern const ActionFrame kFixPermissionFrame;

// One phase: its handler's entry line, its actions in call order (the
// catalog database removal logs nothing and is not among them) and the
// pause it makes after them.
struct PhaseFacts {
    const char* name;  // the handler
    InstallMode mode;
    EntryMode entry;
    const char* entryLine;
    std::vector<const ActionFrame*> actions;
    DWORD pauseMilliseconds;  // 0: none
};

// The fifteen phases, install first, each mode in entry-mode order.
const std::vector<PhaseFacts>& AllPhases();

// The result a phase returns with this product's name: 6 for the install
// pre-check on 64-bit Windows (the win64 prefix), 0 everywhere else.
int32_t ExpectedResult(const PhaseFacts& phase);

// Success when lines hold the phase's entry line first and then, in order,
// the frame lines of each of its actions.
testing::AssertionResult FramesInOrder(const std::vector<LogLine>& lines, const PhaseFacts& phase);
