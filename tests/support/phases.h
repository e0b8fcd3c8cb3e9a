// The fifteen phases as the tests know them: each handler's entry line, its
// actions in call order and the pause it makes after them.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "hook/context.h"
#include "tests/support/expected_log.h"

struct PhaseFacts {
    const char* name;  // the handler
    InstallMode mode;
    EntryMode entry;
    const char* entryLine;
    // The catalog database removal logs nothing and is not among them.
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
testing::AssertionResult FramesInOrder(const Lines& lines, const PhaseFacts& phase);
