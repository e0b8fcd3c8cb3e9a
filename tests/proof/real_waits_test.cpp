// The one real 30-second wait: an analyzer still running after 30 seconds is
// logged with 259 and left running. (The other tests record the time-out the
// hook asks for; the real 5-second pause is proven among the everyday tests.)
#include <gtest/gtest.h>

#include <windows.h>

#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/payload.h"
#include "tests/support/process_recorder.h"
#include "tests/support/property_map.h"
#include "tests/support/sandbox.h"
#include "tests/support/short_circuit.h"

namespace {

TEST(ProofRealWaits, AnalyzerOutlivingThirtySecondsIsLeftRunning) {
    SandboxFolder sandbox;
    const std::wstring installDir = sandbox / L"Apps";
    const std::wstring app = installDir + VLX_WIDE(VLX_APPLICATION_FOLDER);
    ASSERT_TRUE(MakeFolders(app));
    ASSERT_TRUE(PlaceStandInAnalyzer(app));
    SetEnvironmentVariableW(L"VLX_CHILD_SLEEP", L"45000");
    HookDll hook;
    // The pause after the analyzer is not what this test is about.
    ImportPatch<decltype(Sleep)> pause(hook.module(), "kernel32.dll", "Sleep", &NoPause);
    CreateProcessRecorder recorder(hook.module(), Children::kStart);
    PropertyMapBuilder properties = ProductProperties(ToUtf8(installDir));
    LogCapture capture;

    const double start = NowMilliseconds();
    EXPECT_EQ(hook.Proc(properties.map(), SessionOpen, Uninstall), 0);
    const double elapsed = NowMilliseconds() - start;
    SetEnvironmentVariableW(L"VLX_CHILD_SLEEP", nullptr);

    EXPECT_EQ(ActionLines(capture.lines(), kStopAnalyzerFrame), AnalyzerLines(ToUtf8(installDir), app, "259"));
    EXPECT_GE(elapsed, 29900.0);
    EXPECT_LT(elapsed, 40000.0);
    ASSERT_EQ(recorder.calls().size(), 1u);
    EXPECT_TRUE(EndIfRunning(recorder.calls()[0].process)) << "still running";
}

}  // namespace
