#include "shortcuts/shell_link.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "hook/guards.h"
#include "hook/log.h"

bool CreateLink(const HookContext* context, const wchar_t* targetPath, const wchar_t* linkPath) {
    LogMessage(context, "VLX: BEGIN - Link Creation", kLogLevelProgress);
    // Released in reverse order: the file interface, the link, then COM.
    const ComApartment apartment;
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.put()))) {
        LogMessage(context, "VLX: Entering CoCreateInstance failed block", kLogLevelProgress);
        return false;
    }
    LogMessage(context, "VLX: Entering CoCreateInstance succeded block", kLogLevelProgress);
    // A target that does not exist yet is fine (S_FALSE).
    link->SetPath(targetPath);
    link->SetDescription(L"");

    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.put()))) {
        LogMessage(context, "VLX: Entering QueryInterface failed block", kLogLevelProgress);
        return false;
    }
    LogMessage(context, "VLX: Entering QueryInterface succeeded block", kLogLevelProgress);
    if (FAILED(file->Save(linkPath, TRUE))) {
        LogMessage(context, "VLX: END - Link Creation Failed. Shortcut not saved.",
                   kLogLevelProgress);
        return false;
    }
    LogMessage(context, "VLX: END - Link Creation Successful", kLogLevelProgress);
    return true;
}
