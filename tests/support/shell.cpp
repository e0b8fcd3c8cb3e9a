#include "tests/support/shell.h"

#include <aclapi.h>
#include <objbase.h>
#include <shlobj.h>

#include "tests/support/sandbox.h"

const wchar_t kLinkFile[] = L"Kestrune Montavo Fablio 15.lnk";
const wchar_t kOptionKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VEXOUninstallOptions\\VLX";
const wchar_t kOptionParentKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VEXOUninstallOptions";
const wchar_t kPinKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\TBDEn";

namespace {

std::wstring ShellFolder(int csidl) {
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder);
    return folder;
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

bool EveryoneHasFullAccess(const std::wstring& folder) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    bool found = dacl == nullptr;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) ||
            ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            !EqualSid(reinterpret_cast<PSID>(&ace->SidStart), everyone)) {
            continue;
        }
        // Wine keeps lists as mode bits and reads full access back as write
        // access rather than GENERIC_ALL.
        const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        const bool full = (ace->Mask & GENERIC_ALL) != 0 ||
                          (ace->Mask & FILE_GENERIC_WRITE) == FILE_GENERIC_WRITE;
        found = found || ((ace->Header.AceFlags & inherit) == inherit && full);
    }
    FreeSid(everyone);
    LocalFree(descriptor);
    return found;
}

LinkInfo ReadLink(const std::wstring& path) {
    LinkInfo info;
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
                wchar_t text[MAX_PATH] = {};
                info.loaded = true;
                link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
                info.target = text;
                text[0] = L'\0';
                link->GetDescription(text, MAX_PATH);
                info.description = text;
            }
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
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
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPinKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return pin;
    }
    DWORD size = 0;
    if (RegQueryValueExW(key, L"SBOEM2", nullptr, &pin.type, nullptr, &size) == ERROR_SUCCESS) {
        pin.exists = true;
        pin.data.resize(size);
        RegQueryValueExW(key, L"SBOEM2", nullptr, &pin.type, pin.data.data(), &size);
    }
    RegCloseKey(key);
    return pin;
}

void WritePin(const std::wstring& text) {
    ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, kPinKey, L"SBOEM2", text, REG_EXPAND_SZ,
                                   KEY_WOW64_64KEY);
}

ShortcutState::ShortcutState() {
    Clear();
}

ShortcutState::~ShortcutState() {
    Clear();
}

void ShortcutState::Clear() const {
    SetFileAttributesW((CommonDesktop() + L"\\" + kLinkFile).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW((CommonDesktop() + L"\\" + kLinkFile).c_str());
    DeleteFileW((CommonPrograms() + L"\\" + kLinkFile).c_str());
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kPinKey, KEY_WOW64_64KEY);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kOptionParentKey);
}

void ShortcutState::SetOption(const wchar_t* name, const std::wstring& value) const {
    ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, kOptionKey, name, value, REG_SZ, 0);
}

ScopedRegistryValue::ScopedRegistryValue(HKEY root, const std::wstring& subKey,
                                         const std::wstring& name, REGSAM view)
    : root_(root), subKey_(subKey), name_(name), view_(view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, subKey_.c_str(), 0, KEY_READ | view_, &key) == ERROR_SUCCESS) {
        DWORD size = 0;
        if (RegQueryValueExW(key, name_.c_str(), nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            existed_ = true;
            data_.resize(size);
            RegQueryValueExW(key, name_.c_str(), nullptr, &type_, data_.data(), &size);
        }
        RegCloseKey(key);
    }
}

ScopedRegistryValue::~ScopedRegistryValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, subKey_.c_str(), 0, KEY_SET_VALUE | view_, &key) != ERROR_SUCCESS) {
        return;
    }
    if (existed_) {
        RegSetValueExW(key, name_.c_str(), 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
    } else {
        RegDeleteValueW(key, name_.c_str());
    }
    RegCloseKey(key);
}

bool ScopedRegistryValue::Set(const std::wstring& text, DWORD type) const {
    return ScopedRegistryKey::SetStringIn(root_, subKey_, name_, text, type, view_);
}

void ScopedRegistryValue::Delete() const {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, subKey_.c_str(), 0, KEY_SET_VALUE | view_, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name_.c_str());
        RegCloseKey(key);
    }
}
