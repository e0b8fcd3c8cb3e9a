#include "tests/support/payload.h"

#include <windows.h>

#include "hook/product.h"
#include "tests/support/environment.h"

// Written here as the hook is to handle them, not taken from the hook's own
// lists: an entry dropped there is caught here.
const std::vector<const wchar_t*> kFiltersToRegister = {L"\\mc_dec_dd_ds.ax", L"\\32\\mc_dec_dd_ds.ax"};
const std::vector<const wchar_t*> kFiltersToUnregister = {
    L"\\mc_dec_amr_ds.ax",     L"\\mc_dec_dd_ds.ax",     L"\\mc_dec_mp2v_ds.ax",     L"\\mc_dec_mp4v_ds.ax",
    L"\\mc_dec_mpa_ds.ax",     L"\\mc_demux_mp4_ds.ax",  L"\\32\\mc_dec_amr_ds.ax", L"\\32\\mc_dec_dd_ds.ax",
    L"\\32\\mc_dec_mp2v_ds.ax", L"\\32\\mc_dec_mp4v_ds.ax", L"\\32\\mc_dec_mpa_ds.ax", L"\\32\\mc_demux_mp4_ds.ax"};
const std::vector<const wchar_t*> kOemFiles = {
    L"\\Settings\\Info\\CustomCredits",     L"\\Settings\\Info\\TeamNames",
    L"\\Settings\\Info\\PatentLegalNotice", L"\\Settings\\Info\\PatentLegalNotice",
    L"\\Settings\\Info\\About.xst",         L"\\Settings\\Info\\PatentTextMac.xst",
    L"\\Settings\\Info\\PatentTextWin.xst", L"\\Settings\\Info\\SplashAbout.xst",
    L"\\ols_config.xml",                 L"\\MediaIO\\codecs\\Dolby.vca",
    L"\\mc_dec_dd.dll",                  L"\\mc_dec_dd_ds.ax",
    L"\\32\\mc_dec_dd.dll",              L"\\32\\mc_dec_dd_ds.ax",
    L"\\MediaIO\\codecs\\mfdolby.vca",    L"\\MFDolbyEncoder.dll",
    L"\\MFDolbyImporter.dll"};
const std::vector<const wchar_t*> kOemFolders = {L"\\Settings", L"\\MediaIO"};
const std::vector<const wchar_t*> kCaHeadlessFiles = {L"\\mc_dec_amr.dll", L"\\mc_dec_mp2v.dll", L"\\mc_dec_mpa.dll",
                                                      L"\\mc_dec_dd.dll",  L"\\mc_dec_dd_ds.ax", L"\\WMFDolbyDecoder.dll"};

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
