#include <gtest/gtest.h>

#include <string>

#include "base/delete_below.h"
#include "hook/log.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/log_capture.h"

namespace {

TEST(LogMessageTest, SendsTextAndLevelUnchanged) {
    LogCapture capture;
    const HookContext context = TestContext();
    LogMessage(&context, "VLX: 50% done \xC3\xA9", 2);
    LogMessage(&context, "", 4);
    EXPECT_EQ(capture.lines(), (std::vector<LogLine>{{2, "VLX: 50% done \xC3\xA9"}, {4, ""}}));
}

TEST(LogMessageTest, NullCallbackOrTextSendsNothing) {
    LogCapture capture;
    const HookContext noCallback = TestContext(nullptr, nullptr);
    LogMessage(&noCallback, "text", 4);
    LogWideMessage(&noCallback, L"text");
    const HookContext context = TestContext();
    LogWideMessage(&context, nullptr);
    EXPECT_TRUE(capture.lines().empty());
}

TEST(LogWideMessageTest, SendsUtf8AtLevel4WithoutInterpretingPercent) {
    LogCapture capture;
    const HookContext context = TestContext();
    LogWideMessage(&context, L"D:\\100%\\%d %s Caf\u00e9 \u20ac \U0001F600");
    EXPECT_EQ(capture.lines(),
              std::vector<LogLine>{L4("D:\\100%\\%d %s Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80")});
}

// A text whose UTF-8 form exceeds 259 bytes is cut at the last whole
// character that fits, and stays terminated.
struct CutCase {
    const char* name;
    std::wstring text;
    size_t expectedBytes;
};

std::wstring Repeated(const std::wstring& unit, int count) {
    std::wstring text;
    while (count-- > 0) {
        text += unit;
    }
    return text;
}

class LogWideMessageCutTest : public testing::TestWithParam<CutCase> {};

TEST_P(LogWideMessageCutTest, SendsLongestWholeCharacterPrefix) {
    const CutCase& c = GetParam();
    LogCapture capture;
    const HookContext context = TestContext();
    LogWideMessage(&context, c.text.c_str());

    ASSERT_EQ(capture.lines().size(), 1u);
    const std::string sent = capture.lines()[0].text;
    const std::string whole = ToUtf8(c.text);
    EXPECT_EQ(sent.size(), c.expectedBytes);
    EXPECT_EQ(sent, whole.substr(0, c.expectedBytes));
    EXPECT_EQ(capture.lines()[0].level, 4);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, LogWideMessageCutTest,
    testing::Values(CutCase{"Ascii259Fits", std::wstring(259, L'a'), 259},
                    CutCase{"Ascii260Cut", std::wstring(260, L'a'), 259},
                    CutCase{"TwoByteCut", std::wstring(130, L'\u00e9'), 258},
                    CutCase{"ThreeByteCut", std::wstring(87, L'\u20ac'), 258},
                    CutCase{"SurrogatePairsCut", Repeated(L"\U0001F600", 65), 256},
                    CutCase{"PairNeverSplit", L"abc" + Repeated(L"\U0001F600", 65), 259},
                    CutCase{"LoneSurrogates", std::wstring(100, static_cast<wchar_t>(0xD800)), 258}),
    [](const testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

// A formatted line: "%ls" a wide text, "%d" a signed number; one longer
// than its 1024-character buffer is cut and still terminated, and then cut
// to what the host takes, as any wide line is.
struct FormatCase {
    const char* name;
    const wchar_t* format;
    std::wstring text;
    int number;
    std::string sent;
};

class LogFormattedLineTest : public testing::TestWithParam<FormatCase> {};

TEST_P(LogFormattedLineTest, SendsTheFormattedLine) {
    const FormatCase& c = GetParam();
    LogCapture capture;
    const HookContext context = TestContext();
    if (c.text.empty()) {
        LogFormattedLine(&context, c.format, c.number);
    } else {
        LogFormattedLine(&context, c.format, c.text.c_str());
    }
    EXPECT_EQ(capture.lines(), std::vector<LogLine>{L4(c.sent)});
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LogFormattedLineTest,
    testing::Values(FormatCase{"WideText", L"InstallDir: %ls", L"C:\\Apps\\100%", 0, "InstallDir: C:\\Apps\\100%"},
                    FormatCase{"SignedNumber", L"Return Code: %d", L"", -1, "Return Code: -1"},
                    FormatCase{"Quoted", L"         Folder: \"%ls\"", L"C:\\ProgramData\\K", 0,
                               "         Folder: \"C:\\ProgramData\\K\""},
                    FormatCase{"LongerThanItsBuffer", L"Path: %ls", std::wstring(3000, L'y'), 0,
                               "Path: " + std::string(259 - 6, 'y')}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

// A deletion's result -> its lines: none for a file deleted or not there, the
// link line alone for a link, the error otherwise, and where the file was
// left when it could not take its name back.
struct DeletionCase {
    const char* name;
    uint32_t result;
    const wchar_t* leftAs;
    std::vector<std::string> lines;
};

class LogDeletionTest : public testing::TestWithParam<DeletionCase> {};

TEST_P(LogDeletionTest, SaysWhatBecameOfTheFile) {
    const DeletionCase& c = GetParam();
    LogCapture capture;
    const HookContext context = TestContext();
    LeftAside leftAside;
    wcscpy(leftAside.name, c.leftAs);
    leftAside.error = ERROR_ALREADY_EXISTS;
    LogDeletion(&context, c.result, leftAside);
    EXPECT_EQ(capture.lines(), L4s(c.lines));
}

INSTANTIATE_TEST_SUITE_P(
    Results, LogDeletionTest,
    testing::Values(DeletionCase{"Deleted", 0, L"", {}}, DeletionCase{"NotThere", 2, L"", {}},
                    DeletionCase{"FolderNotThere", 3, L"", {}},
                    DeletionCase{"Link", 4395, L"", {"VLX: Link in path. Skipped."}},
                    DeletionCase{"InUse", 5, L"", {CouldNotDeleteLine(5)}},
                    DeletionCase{"LeftUnderItsTemporaryName", 5, L"~VLX0123ABCD.tmp",
                                 {CouldNotDeleteLine(5), "VLX: File left as ~VLX0123ABCD.tmp. Error 183."}}),
    [](const testing::TestParamInfo<DeletionCase>& info) { return std::string(info.param.name); });

}  // namespace
