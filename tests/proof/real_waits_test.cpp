// The real waits, timed from outside: an analyzer still running after 30
// seconds is logged with 259 and left running, and the 5-second pause
// follows it; each Start-menu folder removed costs a second. (The other tests
// record the waits the hook asks for.)
#include <gtest/gtest.h>

#include <windows.h>

#include "hook/product.h"
#include "tests/proof/harness.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/payload.h"
#include "tests/support/processes.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

// Milliseconds f takes.
template <typename F>
double Elapsed(F f) {
    const double start = NowMilliseconds();
    f();
    return NowMilliseconds() - start;
}

TEST(ProofRealWaits, AnalyzerOutlivingThirtySecondsThenTheFiveSecondPause) {
    if (!ProofReport("real waits", "ProofRealWaits", false).whole()) {
        GTEST_SKIP() << "timed on the DLL that ships; VLX_PROOF_FULL=1 times it here";
    }
    SandboxFolder sandbox;
    const std::wstring installDir = sandbox / L"Apps";
    const std::wstring app = installDir + VLX_WIDE(VLX_APPLICATION_FOLDER);
    ASSERT_TRUE(MakeFolders(app));
    ASSERT_TRUE(PlaceStandInAnalyzer(app));
    SetEnvironmentVariableW(L"VLX_CHILD_SLEEP", L"45000");
    HookDll hook;
    CreateProcessRecorder recorder(hook.module(), Children::kStart);
    PropertyMapBuilder properties = ProductProperties(ToUtf8(installDir));
    Lines lines;
    const double elapsed = Elapsed([&] { lines = hook.Logged(properties.map(), SessionOpen, Uninstall); });
    SetEnvironmentVariableW(L"VLX_CHILD_SLEEP", nullptr);

    EXPECT_EQ(ActionLines(lines, kStopAnalyzerFrame), AnalyzerLines(ToUtf8(installDir), app, "259"));
    // A pause may end a clock tick early on some systems.
    EXPECT_GE(elapsed, 30000.0 + 4984.0);
    EXPECT_LT(elapsed, 45000.0);
    ASSERT_EQ(recorder.calls().size(), 1u);
    EXPECT_TRUE(EndIfRunning(recorder.calls()[0].process)) << "still running";
}

TEST(ProofRealWaits, EachRemovedStartMenuFolderCostsOneSecond) {
    ShortcutState state;
    state.SetOption(L"STARTMENULOCATION", L"VLX Pause\\Inner");
    ASSERT_TRUE(MakeFolders(CommonPrograms() + L"\\VLX Pause\\Inner"));
    HookDll hook;
    PropertyMapBuilder properties = ProductProperties();
    const double elapsed = Elapsed([&] { hook.Proc(properties.map(), PostPayload, Uninstall, nullptr); });
    EXPECT_FALSE(PathExists(CommonPrograms() + L"\\VLX Pause"));
    EXPECT_GE(elapsed, 2 * 990.0);
    EXPECT_LT(elapsed, 5000.0);
}

}  // namespace
