#include "tests/support/machine.h"

#include "tests/support/environment.h"

const wchar_t kProfileListKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const wchar_t kPinnedLinkBelowProfile[] =
    L"AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\"
    L"Kestrune Montavo Fablio 15.lnk";

namespace {

const wchar_t kOrganizerKey[] = L"Software\\Kestrune\\Fablio Organizer\\15.0\\ApplicationPath";

const wchar_t* const kPayload[] = {
    L"WelcomeScreen\\Kestrune Montavo Fablio 15.exe",
    L"FablioAutoAnalyzer15.exe",
    L"mc_dec_amr_ds.ax", L"mc_dec_dd_ds.ax", L"mc_dec_mp2v_ds.ax", L"mc_dec_mp4v_ds.ax",
    L"mc_dec_mpa_ds.ax", L"mc_demux_mp4_ds.ax", L"32\\mc_dec_amr_ds.ax", L"32\\mc_dec_dd_ds.ax",
    L"32\\mc_dec_mp2v_ds.ax", L"32\\mc_dec_mp4v_ds.ax", L"32\\mc_dec_mpa_ds.ax",
    L"32\\mc_demux_mp4_ds.ax", L"mc_dec_dd.dll", L"32\\mc_dec_dd.dll",
    L"Settings\\Info\\CustomCredits", L"Settings\\Info\\TeamNames",
    L"Settings\\Info\\PatentLegalNotice", L"Settings\\Info\\About.xst",
    L"Settings\\Info\\PatentTextMac.xst", L"Settings\\Info\\PatentTextWin.xst",
    L"Settings\\Info\\SplashAbout.xst", L"ols_config.xml", L"MediaIO\\codecs\\Dolby.vca",
    L"MediaIO\\codecs\\mfdolby.vca", L"MFDolbyEncoder.dll", L"MFDolbyImporter.dll",
    L"Settings\\User\\prefs.xml",
};

const wchar_t* const kOrganizerFiles[] = {
    L"mc_dec_amr.dll", L"mc_dec_mp2v.dll", L"mc_dec_mpa.dll",      L"mc_dec_dd.dll",
    L"mc_dec_dd_ds.ax", L"WMFDolbyDecoder.dll", L"OrganizerOwn.dll",
};

}  // namespace

PopulatedMachine::PopulatedMachine() {
    installDir_ = sandbox_ / L"Apps";
    app_ = installDir_ + L"\\Kestrune Montavo Fablio 15";
    organizer_ = sandbox_ / L"Organizer";
    profile_ = sandbox_ / L"Profile";
    properties_ = ProductProperties(ToUtf8(installDir_));

    for (const wchar_t* file : kPayload) {
        WriteTextFile(app_ + L"\\" + file, "payload");
    }
    MakeFolders(app_ + L"\\Settings\\Info\\Cache");  // left empty by the application
    for (const wchar_t* file : kOrganizerFiles) {
        WriteTextFile(organizer_ + L"\\CAHeadless\\" + file, "codec");
    }
    organizerKey_.reset(new ScopedRegistryKey(HKEY_LOCAL_MACHINE, kOrganizerKey, KEY_WOW64_64KEY));
    organizerKey_->SetString(L"", organizer_);

    RemoveTree(CommonAppData() + L"\\Kestrune");
    MakeFolders(CommonAppData() + L"\\Kestrune\\Montavo Fablio\\15.0");
    WriteTextFile(CommonAppData() + L"\\Kestrune\\ZTV\\15.0\\Repository2_0.db", "catalog");

    shortcuts_.SetOption(L"NODESKTOPICON", L"0");
    shortcuts_.SetOption(L"PINWSTOTASKBAR", L"1");
    shortcuts_.SetOption(L"STARTMENULOCATION", L"VLX Media\\Video");

    profileKey_.reset(new ScopedRegistryKey(HKEY_LOCAL_MACHINE,
                                            std::wstring(kProfileListKey) + L"\\S-1-5-21-9-9-9-Pin"));
    profileKey_->SetString(L"ProfileImagePath", profile_, REG_EXPAND_SZ);
    WriteTextFile(profile_ + L"\\" + kPinnedLinkBelowProfile, "lnk");
}

PopulatedMachine::~PopulatedMachine() {
    RemoveTree(CommonPrograms() + L"\\VLX Media");
    RemoveTree(CommonAppData() + L"\\Kestrune");
}
