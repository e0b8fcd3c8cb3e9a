#include "tests/support/shell.h"

#include <aclapi.h>
#include <objbase.h>
#include <shlobj.h>

#include "base/guards.h"
#include "hook/product.h"
#include "tests/support/sandbox.h"

const wchar_t kLinkFile[] = VLX_WIDE(VLX_LINK_FILE);
const wchar_t kOptionKey[] = VLX_WIDE(VLX_OPTION_KEY);
const wchar_t kOptionParentKey[] = VLX_WIDE(VLX_OPTION_PARENT_KEY);
const wchar_t kPinKey[] = VLX_WIDE(VLX_PIN_KEY);
const wchar_t kPinValueName[] = VLX_WIDE(VLX_PIN_VALUE);
const wchar_t kOrganizerKey[] = VLX_WIDE(VLX_ORGANIZER_KEY);
const wchar_t kDataFolderBelowCommonAppData[] = VLX_WIDE(VLX_DATA_FOLDER);
const wchar_t kCatalogBelowCommonAppData[] = VLX_WIDE(VLX_CATALOG_DATABASE);
const wchar_t kDeletionRecordsKey[] = L"SOFTWARE\\VLXCustomHook";
const wchar_t kProfileListKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const wchar_t kDefaultUserShellFolders[] =
    L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
#define VLX_TEST_PINNED \
    "\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\" VLX_LINK_FILE
const wchar_t kPinnedLinkBelowAppData[] = VLX_WIDE(VLX_TEST_PINNED);
const wchar_t kPinnedLinkBelowProfile[] = VLX_WIDE("AppData\\Roaming" VLX_TEST_PINNED);

namespace {

std::wstring ShellFolder(int csidl) {
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder);
    return folder;
}

// A value's type and bytes; false when there is none.
bool ReadValue(HKEY root, const std::wstring& subKey, const std::wstring& name, REGSAM view, DWORD* type,
               std::vector<BYTE>* data) {
    RegKey key;
    DWORD size = 0;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS ||
        RegQueryValueExW(key.get(), name.c_str(), nullptr, type, nullptr, &size) != ERROR_SUCCESS) {
        return false;
    }
    data->resize(size);
    return RegQueryValueExW(key.get(), name.c_str(), nullptr, type, data->data(), &size) == ERROR_SUCCESS;
}

}  // namespace

std::wstring CommonDesktop() {
    return ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
}

std::wstring CommonPrograms() {
    return ShellFolder(CSIDL_COMMON_PROGRAMS);
}

std::wstring CommonAppData() {
    return ShellFolder(CSIDL_COMMON_APPDATA);
}

std::wstring DataFolder() {
    return CommonAppData() + kDataFolderBelowCommonAppData;
}

std::wstring CatalogDatabase() {
    return CommonAppData() + kCatalogBelowCommonAppData;
}

std::wstring VendorDataFolder() {
    const std::wstring below = kDataFolderBelowCommonAppData;
    return CommonAppData() + below.substr(0, below.find(L'\\', 1));
}

bool EveryoneHasFullAccess(const std::wstring& folder) {
    PACL dacl = nullptr;
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, descriptor.put()) != ERROR_SUCCESS) {
        return false;
    }
    // Wine reads the list back from the folder's mode bits: Everyone may
    // write once the grant made them 0777 (a null list makes them so too).
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            IsWellKnownSid(reinterpret_cast<PSID>(&ace->SidStart), WinWorldSid) &&
            (ace->Mask & FILE_GENERIC_WRITE) == FILE_GENERIC_WRITE) {
            return true;
        }
    }
    return dacl == nullptr;
}

LinkInfo ReadLink(const std::wstring& path) {
    LinkInfo info;
    const ComApartment apartment;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.put())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.put())) ||
        FAILED(file->Load(path.c_str(), STGM_READ))) {
        return info;
    }
    wchar_t text[MAX_PATH] = {};
    info.loaded = true;
    link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    info.target = text;
    text[0] = L'\0';
    link->GetDescription(text, MAX_PATH);
    info.description = text;
    return info;
}

std::wstring PinValue::text() const {
    std::wstring result(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!result.empty() && result.back() == L'\0') {
        result.pop_back();
    }
    return result;
}

PinValue ReadPin() {
    PinValue pin;
    pin.exists = ReadValue(HKEY_LOCAL_MACHINE, kPinKey, kPinValueName, KEY_WOW64_64KEY, &pin.type, &pin.data);
    return pin;
}

void WritePin(const std::wstring& text) {
    ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, kPinKey, kPinValueName, text, REG_EXPAND_SZ,
                                   KEY_WOW64_64KEY);
}

ShortcutState::ShortcutState() {
    Clear();
}

ShortcutState::~ShortcutState() {
    Clear();
}

void ShortcutState::Clear() const {
    for (const std::wstring& link : {CommonDesktop() + L"\\" + kLinkFile, CommonPrograms() + L"\\" + kLinkFile}) {
        SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(link.c_str());
    }
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kPinKey, KEY_WOW64_64KEY);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kOptionParentKey);
}

void ShortcutState::SetOption(const wchar_t* name, const std::wstring& value) const {
    ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, kOptionKey, name, value, REG_SZ, 0);
}

ScopedRegistryValue::ScopedRegistryValue(HKEY root, const std::wstring& subKey,
                                         const std::wstring& name, REGSAM view)
    : root_(root), subKey_(subKey), name_(name), view_(view) {
    existed_ = ReadValue(root_, subKey_, name_, view_, &type_, &data_);
}

ScopedRegistryValue::~ScopedRegistryValue() {
    Restore();
}

void ScopedRegistryValue::Restore() const {
    if (!existed_) {
        Delete();
        return;
    }
    RegKey key;
    if (RegOpenKeyExW(root_, subKey_.c_str(), 0, KEY_SET_VALUE | view_, key.put()) == ERROR_SUCCESS) {
        RegSetValueExW(key.get(), name_.c_str(), 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
    }
}

bool ScopedRegistryValue::Set(const std::wstring& text, DWORD type) const {
    return ScopedRegistryKey::SetStringIn(root_, subKey_, name_, text, type, view_);
}

void ScopedRegistryValue::Delete() const {
    RegKey key;
    if (RegOpenKeyExW(root_, subKey_.c_str(), 0, KEY_SET_VALUE | view_, key.put()) == ERROR_SUCCESS) {
        RegDeleteValueW(key.get(), name_.c_str());
    }
}
