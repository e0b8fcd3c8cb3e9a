#include "tests/support/payload.h"

#include <windows.h>

#include "hook/product.h"
#include "tests/support/environment.h"

const std::vector<const wchar_t*> kFiltersToRegister = {VLX_FILTERS_TO_REGISTER(VLX_WIDE_ENTRY)};
const std::vector<const wchar_t*> kFiltersToUnregister = {VLX_FILTERS_TO_UNREGISTER(VLX_WIDE_ENTRY)};
const std::vector<const wchar_t*> kOemFiles = {VLX_OEM_FILES(VLX_WIDE_ENTRY)};
const std::vector<const wchar_t*> kOemFolders = {VLX_OEM_FOLDERS(VLX_WIDE_ENTRY)};
const std::vector<const wchar_t*> kCaHeadlessFiles = {VLX_CAHEADLESS_FILES(VLX_WIDE_ENTRY)};

bool PlaceStandInFilters(const std::wstring& app) {
    for (const wchar_t* entry : kFiltersToUnregister) {
        if (!CopyFileW(BesideTests(L"test_filter.dll").c_str(), (app + entry).c_str(), FALSE)) {
            return false;
        }
    }
    return true;
}

bool PlaceStandInAnalyzer(const std::wstring& app) {
    return CopyFileW(BesideTests(L"vlx_child.exe").c_str(), (app + VLX_WIDE(VLX_ANALYZER)).c_str(), FALSE) != FALSE;
}
