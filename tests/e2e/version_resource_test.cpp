// The DLL's version resource, read back as Windows Installer and Explorer
// read it: through the platform's version API.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/environment.h"
#include "vlx_version.h"

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

TEST_F(VersionResourceTest, VersionAndTextsNameTheProjectTheFileAndTheProduct) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD most = MAKELONG(VLX_VERSION_MINOR, VLX_VERSION_MAJOR);
    const DWORD least = MAKELONG(VLX_VERSION_TWEAK, VLX_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, most);
    EXPECT_EQ(fixed->dwFileVersionLS, least);
    EXPECT_EQ(fixed->dwProductVersionMS, most);
    EXPECT_EQ(fixed->dwProductVersionLS, least);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    const struct {
        const wchar_t* name;
        const char* value;
    } texts[] = {
        {L"CompanyName", VLX_RESOURCE_COMPANY},     {L"FileDescription", VLX_FILE_DESCRIPTION},
        {L"FileVersion", VLX_VERSION_TEXT},         {L"InternalName", VLX_INTERNAL_NAME},
        {L"LegalCopyright", VLX_COPYRIGHT},         {L"OriginalFilename", VLX_ORIGINAL_FILENAME},
        {L"ProductName", VLX_RESOURCE_PRODUCT},     {L"ProductVersion", VLX_VERSION_TEXT},
    };
    for (const auto& text : texts) {
        SCOPED_TRACE(ToUtf8(text.name));
        EXPECT_EQ(Text(text.name), FromUtf8(text.value));
    }
    EXPECT_EQ(Text(L"CompanyName"), L"Kestrune");
    EXPECT_EQ(Text(L"OriginalFilename"), L"VLXCustomHook.dll");
}

}  // namespace
