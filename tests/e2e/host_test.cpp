// hookhost.exe, the command-line installer host, run as a user runs it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/processes.h"

namespace {

ProcessResult RunHost(const std::wstring& arguments) {
    return RunAndCapture(L"\"" + BesideTests(L"hookhost.exe") + L"\" " + arguments);
}

// Lines of the run that announce a phase ("== mode Phase ==").
std::vector<std::string> PhaseHeaders(const std::string& out) {
    std::vector<std::string> headers;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("== ", 0) == 0) {
            headers.push_back(line);
        }
    }
    return headers;
}

bool HasLine(const std::string& out, const std::string& line) {
    return ("\n" + out).find("\n" + line + "\n") != std::string::npos;
}

struct BadUseCase {
    const char* name;
    std::wstring arguments;
    std::string error;
};

class HostBadUseTest : public testing::TestWithParam<BadUseCase> {};

TEST_P(HostBadUseTest, OneLineOnStderrAndExit2) {
    const BadUseCase& c = GetParam();
    const ProcessResult run = RunHost(c.arguments);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.err, "hookhost: " + c.error + "\n");
    EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, HostBadUseTest,
    testing::Values(
        BadUseCase{"NoMode", L"", "--mode is required (see --help)"},
        BadUseCase{"UnknownMode", L"--mode upgrade",
                   "unknown mode: upgrade (install, reinstall or uninstall)"},
        BadUseCase{"UnknownPhase", L"--mode install --phase middle",
                   "unknown phase: middle (presystemcheck, prepayload, postpayload, sessionopen "
                   "or sessionclose)"},
        BadUseCase{"MissingValue", L"--mode install --phase", "--phase needs a value (see --help)"},
        BadUseCase{"PropertyWithoutEquals", L"--mode install --property INSTALLDIR",
                   "--property needs NAME=VALUE, got: INSTALLDIR"},
        BadUseCase{"UnknownArgument", L"--mode install --fast",
                   "unknown argument: --fast (see --help)"},
        BadUseCase{"DllMissing", L"--mode install --dll S:\\absent\\VLXCustomHook.dll",
                   "cannot load S:\\absent\\VLXCustomHook.dll (error 126)"}),
    [](const testing::TestParamInfo<BadUseCase>& info) { return std::string(info.param.name); });

TEST(HostTest, DllWithoutHookExportsIsRefused) {
    const std::wstring dll = BesideTests(L"not_a_hook.dll");
    const ProcessResult run = RunHost(L"--mode install --dll \"" + dll + L"\"");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.err, "hookhost: " + ToUtf8(dll) + " has no export QXInstallerCustomHookInitSession\n");
}

TEST(HostTest, HelpListsEveryOption) {
    const ProcessResult run = RunHost(L"--help");
    EXPECT_EQ(run.exitCode, 0u);
    for (const char* option : {"--mode MODE", "--phase PHASE", "--property NAME=VALUE", "--dll PATH",
                               "--help", "presystemcheck", "ProductName=" VLX_PRODUCT_NAME}) {
        SCOPED_TRACE(option);
        EXPECT_NE(run.out.find(option), std::string::npos);
    }
    EXPECT_EQ(run.err, "");
}

TEST(HostTest, OnePhasePrintsItsLinesWithLevelsAndExitsWithResult) {
    const ProcessResult run = RunHost(L"--mode install --phase presystemcheck");
    EXPECT_EQ(PhaseHeaders(run.out), std::vector<std::string>{"== install PreSystemCheck =="});
    for (const LogLine& line : AllowedOn32BitLines()) {
        EXPECT_TRUE(HasLine(run.out, "[4] " + line.text)) << line;
    }
    if (InWin64Prefix()) {
        EXPECT_EQ(run.exitCode, 6u);
        EXPECT_TRUE(HasLine(run.out, "[2] " + RefusedOn64BitLines().back().text));
    } else {
        EXPECT_EQ(run.exitCode, 0u);
    }
    EXPECT_NE(run.out.find("Phase times:\n  PreSystemCheck"), std::string::npos);
}

TEST(HostTest, WholeInstallRunsPhasesInHostOrderAndStopsAtRefusal) {
    const ProcessResult run = RunHost(L"--mode install");
    const std::vector<std::string> all = {"== install SessionOpen ==", "== install PreSystemCheck ==",
                                          "== install PrePayload ==", "== install PostPayload ==",
                                          "== install SessionClose =="};
    if (InWin64Prefix()) {
        EXPECT_EQ(run.exitCode, 6u);
        EXPECT_EQ(PhaseHeaders(run.out), std::vector<std::string>(all.begin(), all.begin() + 2));
        EXPECT_TRUE(HasLine(run.out, "stopped: PreSystemCheck returned 6"));
    } else {
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(PhaseHeaders(run.out), all);
    }
    for (const char* step : {"  InitSession", "  CloseSession"}) {
        SCOPED_TRACE(step);
        EXPECT_NE(run.out.find(step), std::string::npos);
    }
}

TEST(HostTest, PropertyReplacesDefault) {
    const ProcessResult run =
        RunHost(L"--mode install --property \"ProductName=Another Product\"");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(PhaseHeaders(run.out).size(), 5u);
    EXPECT_FALSE(HasLine(run.out, "[4] VLX: 32 bit installer running"));
}

}  // namespace
