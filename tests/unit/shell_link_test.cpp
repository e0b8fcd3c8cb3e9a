#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <thread>

#include "shortcuts/shell_link.h"
#include "tests/support/expected_log.h"
#include "tests/support/iat_patch.h"
#include "tests/support/log_capture.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

// The writer's lines up to the step that failed, then the failure's line.
Lines FailedAt(size_t linesBefore, const char* failure) {
    const Lines success = LinkLines();
    return Lines(success.begin(), success.begin() + static_cast<std::ptrdiff_t>(linesBefore)) + L4s({failure});
}

class CreateLinkTest : public testing::Test {
protected:
    SandboxFolder sandbox;
    const std::wstring target = L"C:\\Program Files\\Kestrune\\WelcomeScreen\\Absent.exe";
};

TEST_F(CreateLinkTest, WritesLinkToTargetWithEmptyDescription) {
    LogCapture capture;
    const HookContext context = TestContext();
    const std::wstring link = sandbox / L"a.lnk";
    EXPECT_TRUE(CreateLink(&context, target.c_str(), link.c_str()));
    EXPECT_EQ(capture.lines(), LinkLines());
    const LinkInfo info = ReadLink(link);
    ASSERT_TRUE(info.loaded);
    EXPECT_EQ(info.target, target) << "a target that does not exist is linked all the same";
    EXPECT_EQ(info.description, L"");
}

// A second link in the same thread, over a file that is no link, and
// without a callback: the same link, no line.
TEST_F(CreateLinkTest, SecondLinkReplacesAnyFileWithoutCallback) {
    LogCapture capture;
    const HookContext context = TestContext(nullptr, nullptr);
    ASSERT_TRUE(WriteTextFile(sandbox / L"b.lnk", "not a link"));
    EXPECT_TRUE(CreateLink(&context, target.c_str(), (sandbox / L"a.lnk").c_str()));
    EXPECT_TRUE(CreateLink(&context, L"C:\\other.exe", (sandbox / L"b.lnk").c_str()));
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_EQ(ReadLink(sandbox / L"a.lnk").target, target);
    EXPECT_EQ(ReadLink(sandbox / L"b.lnk").target, L"C:\\other.exe");
}

// A save that fails is reported as a failure, not as success.
TEST_F(CreateLinkTest, FailedSaveIsReported) {
    LogCapture capture;
    const HookContext context = TestContext();
    const std::wstring link = sandbox / L"Missing Folder\\a.lnk";
    EXPECT_FALSE(CreateLink(&context, target.c_str(), link.c_str()));
    EXPECT_EQ(capture.lines(), FailedAt(3, "VLX: END - Link Creation Failed. Shortcut not saved."));
    EXPECT_FALSE(PathExists(link));
}

// The host's thread is left as it was found: after a link, the thread can
// still enter the multithreaded apartment; a thread in that apartment
// already gets its link all the same.
TEST_F(CreateLinkTest, LeavesHostThreadAsItWasFound) {
    HRESULT afterwards = E_FAIL;
    bool created = false;
    bool createdInOther = false;
    std::thread host([&] {
        const HookContext context = TestContext(nullptr, nullptr);
        created = CreateLink(&context, target.c_str(), (sandbox / L"a.lnk").c_str());
        afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        createdInOther = CreateLink(&context, target.c_str(), (sandbox / L"b.lnk").c_str());
        if (SUCCEEDED(afterwards)) {
            CoUninitialize();
        }
    });
    host.join();
    EXPECT_TRUE(created);
    EXPECT_EQ(afterwards, S_OK);
    EXPECT_TRUE(createdInOther);
}

HRESULT WINAPI FailCoCreateInstance(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object) {
    *object = nullptr;
    return REGDB_E_CLASSNOTREG;
}

TEST_F(CreateLinkTest, NoShellLinkObject) {
    ImportPatch<decltype(CoCreateInstance)> patch(GetModuleHandleW(nullptr), "CoCreateInstance", &FailCoCreateInstance);
    LogCapture capture;
    const HookContext context = TestContext();
    EXPECT_FALSE(CreateLink(&context, target.c_str(), (sandbox / L"a.lnk").c_str()));
    EXPECT_EQ(capture.lines(), FailedAt(1, "VLX: Entering CoCreateInstance failed block"));
    EXPECT_FALSE(PathExists(sandbox / L"a.lnk"));
}

// A shell link whose file-persistence interface cannot be obtained: every
// call goes to the real object except that query.
class NoPersistLink final : public ForwardingShellLink {
public:
    explicit NoPersistLink(IShellLinkW* real) : ForwardingShellLink(real) {}
    static LONG released;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IPersistFile)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        return real_->QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (--references_ == 0) {
            real_->Release();
            ++released;
            delete this;
            return 0;
        }
        return references_;
    }

private:
    ULONG references_ = 1;
};
LONG NoPersistLink::released = 0;

TEST_F(CreateLinkTest, NoFilePersistenceReleasesTheLink) {
    ImportPatch<decltype(CoCreateInstance)> patch(GetModuleHandleW(nullptr), "CoCreateInstance",
                                                  [&](auto clsid, auto outer, auto context, auto iid, auto object) {
        IShellLinkW* real = nullptr;
        const HRESULT result = patch.original()(clsid, outer, context, iid, reinterpret_cast<void**>(&real));
        *object = SUCCEEDED(result) ? static_cast<IShellLinkW*>(new NoPersistLink(real)) : nullptr;
        return result;
    });
    NoPersistLink::released = 0;
    LogCapture capture;
    const HookContext context = TestContext();
    EXPECT_FALSE(CreateLink(&context, target.c_str(), (sandbox / L"a.lnk").c_str()));
    EXPECT_EQ(capture.lines(), FailedAt(2, "VLX: Entering QueryInterface failed block"));
    EXPECT_EQ(NoPersistLink::released, 1);
    EXPECT_FALSE(PathExists(sandbox / L"a.lnk"));
}

}  // namespace
