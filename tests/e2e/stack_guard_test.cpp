// The DLL's stack protector runtime (runtime/stack_guard.cpp), in a module
// built with it in the ABI of the DLL under test (its MSVC-ABI build has its
// own entry point, runtime/msvc_entry.cpp): the guard is made from the system's
// random generator when the module loads, and a smashed stack ends the
// process at once with the platform's stack-overrun status, no message box,
// nothing printed.
#include <gtest/gtest.h>

#include <windows.h>

#include "tests/support/environment.h"
#include "tests/support/processes.h"

namespace {

struct SmashCase {
    const wchar_t* argument;
    DWORD exitCode;
};

class StackGuardTest : public testing::TestWithParam<SmashCase> {};

TEST_P(StackGuardTest, EndsAsExpected) {
    const ProcessResult result =
        RunAndCapture(L"\"" + BesideTests(L"vlx_stack_smash.exe") + L"\" " + GetParam().argument, 20000);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, GetParam().exitCode);
    EXPECT_EQ(result.out + result.err, "");
}

INSTANTIATE_TEST_SUITE_P(Runs, StackGuardTest,
                         testing::Values(SmashCase{L"guard", 0},
                                         SmashCase{L"smash", static_cast<DWORD>(STATUS_STACK_BUFFER_OVERRUN)}));

}  // namespace
