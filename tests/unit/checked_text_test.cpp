#include <gtest/gtest.h>

#include <string>

#include "base/checked_text.h"

namespace {

struct CopyCase {
    const char* name;
    size_t sourceLength;
    bool fits;
};

class CheckedCopyTest : public testing::TestWithParam<CopyCase> {};

TEST_P(CheckedCopyTest, CopiesWholeTextOrLeavesBufferAlone) {
    const CopyCase& c = GetParam();
    wchar_t buffer[kPathChars + 1];
    std::fill(buffer, buffer + kPathChars + 1, L'#');
    wcscpy(buffer, L"before");
    const std::wstring source(c.sourceLength, L'x');

    EXPECT_EQ(CheckedCopy(buffer, kPathChars, source.c_str()), c.fits);
    EXPECT_EQ(std::wstring(buffer), c.fits ? source : std::wstring(L"before"));
    EXPECT_EQ(buffer[kPathChars], L'#') << "wrote past the buffer";
}

INSTANTIATE_TEST_SUITE_P(Boundaries, CheckedCopyTest,
                         testing::Values(CopyCase{"Empty", 0, true},
                                         CopyCase{"Chars259", 259, true},
                                         CopyCase{"Chars260", 260, false},
                                         CopyCase{"Chars400", 400, false}),
                         [](const testing::TestParamInfo<CopyCase>& info) { return std::string(info.param.name); });

struct AppendCase {
    const char* name;
    size_t existing;
    size_t added;
    bool fits;
};

class CheckedAppendTest : public testing::TestWithParam<AppendCase> {};

TEST_P(CheckedAppendTest, AppendsWholeTextOrLeavesBufferAlone) {
    const AppendCase& c = GetParam();
    wchar_t buffer[kPathChars + 1];
    std::fill(buffer, buffer + kPathChars + 1, L'#');
    const std::wstring before(c.existing, L'a');
    wcscpy(buffer, before.c_str());
    const std::wstring added(c.added, L'b');

    EXPECT_EQ(CheckedAppend(buffer, kPathChars, added.c_str()), c.fits);
    EXPECT_EQ(std::wstring(buffer), c.fits ? before + added : before);
    EXPECT_EQ(buffer[kPathChars], L'#') << "wrote past the buffer";
}

INSTANTIATE_TEST_SUITE_P(Boundaries, CheckedAppendTest,
                         testing::Values(AppendCase{"ToEmpty", 0, 5, true},
                                         AppendCase{"UpTo259", 200, 59, true},
                                         AppendCase{"To260", 200, 60, false},
                                         AppendCase{"FullBufferNothingAdded", 259, 0, true},
                                         AppendCase{"FullBufferOneMore", 259, 1, false}),
                         [](const testing::TestParamInfo<AppendCase>& info) { return std::string(info.param.name); });

TEST(CheckedAppendTest, RefusesBufferWithoutTerminator) {
    wchar_t buffer[8];
    std::fill(buffer, buffer + 8, L'z');
    EXPECT_FALSE(CheckedAppend(buffer, L"a"));
    EXPECT_EQ(std::wstring(buffer, 8), std::wstring(8, L'z'));
}

}  // namespace
