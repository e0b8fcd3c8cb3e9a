// The machine state shortcut tests look at: the all-users shell folders, the
// product's shortcut files, the taskbar pin value and the option key; and
// the base of the shell-link objects that tests put in the platform's place.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

// The product's facts (hook/product.h) as the tests use them.
extern const wchar_t kLinkFile[];        // "<product>.lnk"
extern const wchar_t kOptionKey[];       // under HKEY_LOCAL_MACHINE
extern const wchar_t kOptionParentKey[];
extern const wchar_t kPinKey[];          // under HKEY_LOCAL_MACHINE, 64-bit view
extern const wchar_t kPinValueName[];
extern const wchar_t kOrganizerKey[];    // under HKEY_LOCAL_MACHINE, 64-bit view
extern const wchar_t kDataFolderBelowCommonAppData[];
extern const wchar_t kCatalogBelowCommonAppData[];
// The machine's profile list under HKEY_LOCAL_MACHINE, and the pinned copy of
// the shortcut below a profile's roaming application data and below the
// profile itself (with the usual "AppData\Roaming").
extern const wchar_t kProfileListKey[];
// The hook's own key under HKEY_LOCAL_MACHINE: its records of files set
// aside by the old deletion, one value each.
extern const wchar_t kDeletionRecordsKey[];
// The default user's shell folders, under HKEY_USERS.
extern const wchar_t kDefaultUserShellFolders[];
extern const wchar_t kPinnedLinkBelowAppData[];
extern const wchar_t kPinnedLinkBelowProfile[];

std::wstring CommonDesktop();
std::wstring CommonPrograms();
std::wstring CommonAppData();
// The data folder opened to Everyone, and the catalog database.
std::wstring DataFolder();
std::wstring CatalogDatabase();
// The vendor's folder below the common application data folder, which holds
// both: what tests remove to leave no trace.
std::wstring VendorDataFolder();

// True when the folder's access list, as Wine reads it back from the
// folder's mode bits, lets Everyone write in it: what the grant leaves there.
bool EveryoneHasFullAccess(const std::wstring& folder);

struct LinkInfo {
    bool loaded = false;
    std::wstring target;
    std::wstring description;
};

// Reads a shortcut back through the platform's shell-link object.
LinkInfo ReadLink(const std::wstring& path);

struct PinValue {
    bool exists = false;
    DWORD type = 0;
    std::vector<BYTE> data;
    std::wstring text() const;
};
PinValue ReadPin();
void WritePin(const std::wstring& text);

// Removes the product's shortcuts, the pin key and the option key when made
// and again when it ends, so every test starts from a machine without them.
class ShortcutState {
public:
    ShortcutState();
    ~ShortcutState();
    ShortcutState(const ShortcutState&) = delete;
    ShortcutState& operator=(const ShortcutState&) = delete;

    // Sets the option key's values as the installer records them.
    void SetOption(const wchar_t* name, const std::wstring& value) const;

private:
    void Clear() const;
};

// A registry value that a test changes: its old state comes back at the end.
class ScopedRegistryValue {
public:
    ScopedRegistryValue(HKEY root, const std::wstring& subKey, const std::wstring& name,
                        REGSAM view = 0);
    ~ScopedRegistryValue();
    ScopedRegistryValue(const ScopedRegistryValue&) = delete;
    ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;

    bool Set(const std::wstring& text, DWORD type = REG_SZ) const;
    void Delete() const;
    // Puts the old state back now (and again when the object ends).
    void Restore() const;

private:
    HKEY root_;
    std::wstring subKey_;
    std::wstring name_;
    REGSAM view_;
    bool existed_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

// A shell-link object that passes every IShellLinkW call on to a real one:
// stand-ins derive from it and change what they need (IUnknown's three are
// theirs to give).
class ForwardingShellLink : public IShellLinkW {
public:
    explicit ForwardingShellLink(IShellLinkW* real) : real_(real) {}
    virtual ~ForwardingShellLink() = default;

    HRESULT STDMETHODCALLTYPE GetPath(LPWSTR a, int b, WIN32_FIND_DATAW* c, DWORD d) override { return real_->GetPath(a, b, c, d); }
    HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE* a) override { return real_->GetIDList(a); }
    HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE a) override { return real_->SetIDList(a); }
    HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR a, int b) override { return real_->GetDescription(a, b); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR a) override { return real_->SetDescription(a); }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR a, int b) override { return real_->GetWorkingDirectory(a, b); }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR a) override { return real_->SetWorkingDirectory(a); }
    HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR a, int b) override { return real_->GetArguments(a, b); }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR a) override { return real_->SetArguments(a); }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD* a) override { return real_->GetHotkey(a); }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD a) override { return real_->SetHotkey(a); }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int* a) override { return real_->GetShowCmd(a); }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int a) override { return real_->SetShowCmd(a); }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR a, int b, int* c) override { return real_->GetIconLocation(a, b, c); }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR a, int b) override { return real_->SetIconLocation(a, b); }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR a, DWORD b) override { return real_->SetRelativePath(a, b); }
    HRESULT STDMETHODCALLTYPE Resolve(HWND a, DWORD b) override { return real_->Resolve(a, b); }
    HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR a) override { return real_->SetPath(a); }

protected:
    IShellLinkW* real_;
};
