#include "tests/proof/harness.h"

#include <shlobj.h>

#include "tests/support/shell.h"

namespace {

void (*g_beforeSave)() = nullptr;

// One object for both interfaces the hook uses, around the real ones, with
// one reference count, as the real shell-link object has.
class WindowsLikeLink final : public ForwardingShellLink, public IPersistFile {
public:
    WindowsLikeLink(IShellLinkW* link, IPersistFile* file) : ForwardingShellLink(link), file_(file) {}
    virtual ~WindowsLikeLink() {
        file_->Release();
        real_->Release();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IShellLinkW)) {
            *object = static_cast<IShellLinkW*>(this);
        } else if (IsEqualIID(iid, IID_IPersistFile) || IsEqualIID(iid, IID_IPersist)) {
            *object = static_cast<IPersistFile*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IPersistFile: a save over a read-only file is refused.
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR path, BOOL remember) override {
        if (g_beforeSave != nullptr) {
            g_beforeSave();
        }
        const DWORD attributes = path != nullptr ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            return E_ACCESSDENIED;
        }
        return file_->Save(path, remember);
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* a) override { return file_->GetClassID(a); }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return file_->IsDirty(); }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR a, DWORD b) override { return file_->Load(a, b); }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR a) override { return file_->SaveCompleted(a); }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* a) override { return file_->GetCurFile(a); }

private:
    IPersistFile* file_;
    ULONG references_ = 1;
};

}  // namespace

HANDLE WINAPI CreateFileWindowsLike(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                    DWORD disposition, DWORD flags, HANDLE templateFile) {
    const DWORD writes = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
    const DWORD attributes = path != nullptr ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
    if ((access & writes) != 0 && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == FILE_ATTRIBUTE_READONLY) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

void CallBeforeSave(void (*before)()) {
    g_beforeSave = before;
}

HRESULT WINAPI CreateWindowsLikeObject(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                       LPVOID* object) {
    if (!IsEqualCLSID(clsid, CLSID_ShellLink) || !IsEqualIID(iid, IID_IShellLinkW)) {
        return CoCreateInstance(clsid, outer, context, iid, object);
    }
    IShellLinkW* link = nullptr;
    const HRESULT created = CoCreateInstance(clsid, outer, context, iid, reinterpret_cast<void**>(&link));
    if (FAILED(created)) {
        *object = nullptr;
        return created;
    }
    IPersistFile* file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        *object = link;  // nothing to make stricter
        return created;
    }
    *object = static_cast<IShellLinkW*>(new WindowsLikeLink(link, file));
    return created;
}
