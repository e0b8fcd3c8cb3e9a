#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "shortcuts/taskbar_pin.h"
#include "tests/support/expected_log.h"
#include "tests/support/log_capture.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

const std::wstring kStartMenuLink =
    L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Video\\" + std::wstring(kLinkFile);

class TaskbarPinTest : public testing::Test {
protected:
    ScopedRegistryKey pinKey{HKEY_LOCAL_MACHINE, kPinKey, KEY_WOW64_64KEY};
};

TEST_F(TaskbarPinTest, WritesExpandableTextWithTerminatorIn64BitView) {
    LogCapture capture;
    const HookContext context = TestContext();
    CreateRegPinVLXWelcomeScreenToTaskBar(&context, kStartMenuLink.c_str());

    EXPECT_EQ(capture.lines(), L4s({"VLX: Start CreateRegPinVLXWelcomeScreenToTaskBar"}));
    const PinValue pin = ReadPin();
    ASSERT_TRUE(pin.exists) << "the key is created when missing";
    EXPECT_EQ(pin.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(pin.data.size(), (kStartMenuLink.size() + 1) * 2);
    EXPECT_EQ(pin.text(), kStartMenuLink);
    EXPECT_EQ(pin.data[pin.data.size() - 2] | pin.data[pin.data.size() - 1], 0) << "terminator stored";
    // Any earlier pin is overwritten.
    WritePin(L"C:\\Other\\Something.lnk");
    CreateRegPinVLXWelcomeScreenToTaskBar(&context, kStartMenuLink.c_str());
    EXPECT_EQ(ReadPin().text(), kStartMenuLink);
}

struct RemovalCase {
    const char* name;
    std::wstring pin;
    bool removed;
};

class TaskbarPinRemovalTest : public TaskbarPinTest,
                              public testing::WithParamInterface<RemovalCase> {};

TEST_P(TaskbarPinRemovalTest, RemovesOnlyThisProductsPin) {
    WritePin(GetParam().pin);
    LogCapture capture;
    const HookContext context = TestContext();
    DeleteRegPinDRQWelcomeScreenToTaskBar(&context);
    EXPECT_EQ(capture.lines(), PinRemovalLines());
    EXPECT_EQ(ReadPin().exists, !GetParam().removed);
    EXPECT_TRUE(pinKey.Exists()) << "the key stays";
}

INSTANTIATE_TEST_SUITE_P(
    Pins, TaskbarPinRemovalTest,
    testing::Values(RemovalCase{"ThisProduct", kStartMenuLink, true},
                    RemovalCase{"ThisProductAnyFolder", L"D:\\x\\" + std::wstring(kLinkFile), true},
                    RemovalCase{"ExactlyTheFileName", kLinkFile, true},
                    RemovalCase{"OtherCase", L"C:\\x\\KESTRUNE MONTAVO FABLIO 15.LNK", false},
                    RemovalCase{"TrailingBlank", L"C:\\x\\" + std::wstring(kLinkFile) + L" ", false},
                    RemovalCase{"OtherName", L"C:\\x\\Word.lnk", false},
                    RemovalCase{"Empty", L"", false},
                    RemovalCase{"LongerThan1024Bytes",
                                std::wstring(600, L'x') + L"\\" + kLinkFile, false}),
    [](const testing::TestParamInfo<RemovalCase>& info) { return std::string(info.param.name); });

TEST_F(TaskbarPinTest, MissingKeyOrValueStillSweepsProfiles) {
    LogCapture capture;
    const HookContext context = TestContext();
    DeleteRegPinDRQWelcomeScreenToTaskBar(&context);
    ASSERT_TRUE(pinKey.SetString(L"Other", L"1"));
    DeleteRegPinDRQWelcomeScreenToTaskBar(&context);
    EXPECT_EQ(capture.lines(), PinRemovalLines() + PinRemovalLines());
}

}  // namespace
