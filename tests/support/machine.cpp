#include "tests/support/machine.h"

#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/payload.h"

const wchar_t kMachineStartMenuTop[] = L"VLX Media";
const wchar_t kMachineStartMenuLocation[] = L"VLX Media\\Video";

namespace {

// The rest of the payload, beside what the hook's lists name.
const wchar_t* const kOtherPayload[] = {
    VLX_WIDE(VLX_WELCOME_SCREEN), VLX_WIDE(VLX_ANALYZER), L"\\mc_dec_dd.dll", L"\\32\\mc_dec_dd.dll",
    L"\\Settings\\User\\prefs.xml",
};

}  // namespace

PopulatedMachine::PopulatedMachine() {
    installDir_ = sandbox_ / L"Apps";
    app_ = installDir_ + VLX_WIDE(VLX_APPLICATION_FOLDER);
    organizer_ = sandbox_ / L"Organizer";
    profile_ = sandbox_ / L"Profile";
    properties_ = ProductProperties(ToUtf8(installDir_));

    for (const auto* list : {&kFiltersToUnregister, &kOemFiles}) {
        for (const wchar_t* file : *list) {
            Write(app_ + file, "payload");
        }
    }
    for (const wchar_t* file : kOtherPayload) {
        Write(app_ + file, "payload");
    }
    MakeFolders(app_ + L"\\Settings\\Info\\Cache");  // left empty by the application
    for (const wchar_t* file : kCaHeadlessFiles) {
        Write(organizer_ + L"\\CAHeadless" + file, "codec");
    }
    Write(organizer_ + L"\\CAHeadless\\OrganizerOwn.dll", "codec");
    Write(profile_ + L"\\" + kPinnedLinkBelowProfile, "lnk");

    RemoveTree(VendorDataFolder());
    Write(DataFolder() + L"\\Profiles\\settings.xml", "settings");  // what the grant pushes its entry down to
    Write(CatalogDatabase(), "catalog");
    LayOutRegistry();
}

void PopulatedMachine::LayOutRegistry() {
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kPinKey, KEY_WOW64_64KEY);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kOptionParentKey);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kDeletionRecordsKey);
    shortcuts_.SetOption(L"NODESKTOPICON", L"0");
    shortcuts_.SetOption(L"PINWSTOTASKBAR", L"1");
    shortcuts_.SetOption(L"STARTMENULOCATION", kMachineStartMenuLocation);
    organizerKey_.reset(new ScopedRegistryKey(HKEY_LOCAL_MACHINE, kOrganizerKey, KEY_WOW64_64KEY));
    organizerKey_->SetString(L"", organizer_);
    profileKey_.reset(new ScopedRegistryKey(HKEY_LOCAL_MACHINE,
                                            std::wstring(kProfileListKey) + L"\\S-1-5-21-9-9-9-Pin"));
    profileKey_->SetString(L"ProfileImagePath", profile_, REG_EXPAND_SZ);
}

void PopulatedMachine::Write(const std::wstring& path, const std::string& content) {
    WriteTextFile(path, content);
    contents_[path] = content;
}

PopulatedMachine::~PopulatedMachine() {
    RemoveTree(CommonPrograms() + L"\\" + kMachineStartMenuTop);
    RemoveTree(VendorDataFolder());
}
