// A shell-link object that passes every IShellLinkW call on to a real one:
// stand-ins derive from it and change what they need (IUnknown's three are
// theirs to give).
#pragma once

#include <windows.h>
#include <shlobj.h>

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
