// The DLL's version resource, read back as Windows Installer and Explorer
// read it: through the platform's version API.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "hook/product.h"
#include "tests/support/environment.h"

namespace {

class VersionResourceTest : public testing::Test {
protected:
    void SetUp() override {
        const std::wstring dll = BesideTests(L"VLXCustomHook.dll");
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &handle);
        ASSERT_GT(size, 0u) << "no version resource";
        data.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, size, data.data()));
    }
    std::wstring Text(const wchar_t* name) {
        void* value = nullptr;
        UINT length = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueW(data.data(), path.c_str(), &value, &length) || length == 0) {
            return L"<missing>";
        }
        return std::wstring(static_cast<const wchar_t*>(value));
    }
    std::vector<BYTE> data;
};

// The numbers Windows Installer compares are the project's version, the
// same as the texts Explorer shows; the names are the product's.
TEST_F(VersionResourceTest, VersionIsTheProjectsAndTextsNameTheProductAndTheFile) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    const std::wstring version = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
                                 std::to_wstring(LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(version, FromUtf8(VLX_PROJECT_VERSION));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    const struct {
        const wchar_t* name;
        std::wstring value;
    } texts[] = {
        {L"CompanyName", L"Kestrune"},
        {L"FileDescription", L"Custom hook of the " VLX_WIDE(VLX_PRODUCT_NAME) L" installer"},
        {L"FileVersion", version},
        {L"InternalName", L"VLXCustomHook"},
        {L"LegalCopyright", L"Copyright (C) 2026 Kestrune"},
        {L"OriginalFilename", L"VLXCustomHook.dll"},
        {L"ProductName", VLX_WIDE(VLX_PRODUCT_NAME)},
        {L"ProductVersion", version},
    };
    for (const auto& text : texts) {
        SCOPED_TRACE(ToUtf8(text.name));
        EXPECT_EQ(Text(text.name), text.value);
    }
}

}  // namespace
