#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "actions/process.h"
#include "tests/support/environment.h"
#include "tests/support/iat_patch.h"
#include "tests/support/processes.h"

namespace {

std::wstring Child(const std::wstring& arguments) {
    return L"\"" + BesideTests(L"vlx_child.exe") + L"\" " + arguments;
}

int32_t RunCommand(const std::wstring& commandLine, uint32_t timeout) {
    std::wstring writable = commandLine;
    return RunProcessAndWait(&writable[0], timeout);
}

struct ExitCase {
    const char* name;
    std::wstring arguments;
    int32_t result;
};

class RunProcessAndWaitTest : public testing::TestWithParam<ExitCase> {};

TEST_P(RunProcessAndWaitTest, ReturnsTheProgramsExitCode) {
    EXPECT_EQ(RunCommand(Child(GetParam().arguments), 30000), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Codes, RunProcessAndWaitTest,
                         testing::Values(ExitCase{"Seven", L"7", 7},
                                         ExitCase{"AllBits", L"-1", -1},
                                         ExitCase{"EndsWithinTimeout", L"3 200", 3}),
                         [](const testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

TEST(RunProcessAndWaitTest, ProgramThatCannotStartGivesZero) {
    EXPECT_EQ(RunCommand(L"\"S:\\absent\\nothing.exe\" -uninstall", INFINITE), 0);
    EXPECT_EQ(RunCommand(L"", INFINITE), 0);
}

TEST(RunProcessAndWaitTest, StartsWithoutWindowHandlesEnvironmentOrFolder) {
    CreateProcessRecorder recorder(GetModuleHandleW(nullptr), Children::kStart);
    const std::wstring command = Child(L"0");
    EXPECT_EQ(RunCommand(command, 30000), 0);
    ASSERT_EQ(recorder.calls().size(), 1u);
    const CreateProcessRecorder::Call& call = recorder.calls()[0];
    EXPECT_EQ(call.application, L"") << "the system's search rules find the program";
    EXPECT_EQ(call.commandLine, command);
    EXPECT_EQ(call.inheritHandles, FALSE);
    EXPECT_EQ(call.creationFlags, static_cast<DWORD>(CREATE_NO_WINDOW));
    EXPECT_FALSE(call.hasEnvironment);
    EXPECT_FALSE(call.hasCurrentDirectory);
    EXPECT_EQ(call.startupSize, sizeof(STARTUPINFOW));
    EXPECT_EQ(call.startupFlags, 0u);
}

TEST(RunProcessAndWaitTest, TimeoutGives259AndLeavesProgramRunning) {
    CreateProcessRecorder recorder(GetModuleHandleW(nullptr), Children::kStart);
    EXPECT_EQ(RunCommand(Child(L"5 30000"), 300), 259);
    ASSERT_EQ(recorder.calls().size(), 1u);
    const HANDLE child = recorder.calls()[0].process;
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(EndIfRunning(child)) << "child was ended";
}

// A host that is not terminal-server aware gets a per-user Windows folder
// from GetWindowsDirectoryW in a Remote Desktop session: the tool still comes
// from the system's own, named as the program so no search rule picks another.
TEST(RunRegsvr32Test, RunsTheSystemsToolSilentlyOnTheQuotedFile) {
    const std::wstring tool = WindowsFolder() + L"\\System32\\Regsvr32.exe";
    // In place should the library ask for the per-user folder (it does not
    // import it at all).
    ImportPatch<decltype(GetWindowsDirectoryW)> perUser(GetModuleHandleW(nullptr), "GetWindowsDirectoryW",
                                                        [](LPWSTR buffer, UINT size) {
        const wchar_t folder[] = L"C:\\Users\\vlx\\WINDOWS";
        if (size < ARRAYSIZE(folder)) {
            return UINT{ARRAYSIZE(folder)};
        }
        wcscpy(buffer, folder);
        return UINT{ARRAYSIZE(folder) - 1};
    }, Import::kOptional);
    CreateProcessRecorder recorder(GetModuleHandleW(nullptr), Children::kRefuse);
    EXPECT_EQ(RunRegsvr32(L"S:\\App Folder\\mc_dec_dd_ds.ax", Registration::kRegister), 0);
    EXPECT_EQ(RunRegsvr32(L"S:\\App Folder\\32\\mc_dec_dd_ds.ax", Registration::kUnregister), 0);
    EXPECT_EQ(recorder.commandLines(),
              (std::vector<std::wstring>{tool + L" /s \"S:\\App Folder\\mc_dec_dd_ds.ax\"",
                                         tool + L" /s /u \"S:\\App Folder\\32\\mc_dec_dd_ds.ax\""}));
    for (const CreateProcessRecorder::Call& call : recorder.calls()) {
        EXPECT_EQ(call.application, tool);
    }
}

TEST(RunRegsvr32Test, TakesToolFromSystemFolderBeforeWindowsNt) {
    ImportPatch<decltype(GetVersionExW)> version(GetModuleHandleW(nullptr), "GetVersionExW", [](auto about) {
        about->dwMajorVersion = 4;
        about->dwMinorVersion = 10;
        about->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        return TRUE;
    });
    CreateProcessRecorder recorder(GetModuleHandleW(nullptr), Children::kRefuse);
    RunRegsvr32(L"C:\\f.ax", Registration::kRegister);
    EXPECT_EQ(recorder.commandLines(),
              std::vector<std::wstring>{WindowsFolder() + L"\\System\\Regsvr32.exe /s \"C:\\f.ax\""});
}

TEST(RunRegsvr32Test, NoWindowsFolderRunsNothing) {
    ImportPatch<decltype(GetSystemWindowsDirectoryW)> folder(GetModuleHandleW(nullptr), "GetSystemWindowsDirectoryW",
                                                             [](auto, auto) {
        SetLastError(ERROR_ACCESS_DENIED);
        return UINT{0};
    });
    CreateProcessRecorder recorder(GetModuleHandleW(nullptr), Children::kRefuse);
    EXPECT_EQ(RunRegsvr32(L"C:\\f.ax", Registration::kRegister), 0);
    EXPECT_TRUE(recorder.calls().empty()) << "a relative tool path must never run";
}

}  // namespace
