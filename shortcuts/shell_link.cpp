#include "shortcuts/shell_link.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "base/guards.h"
#include "hook/log.h"

namespace {

// The shell-link object and the interfaces the writer asks it for, named
// here: the DLL needs no GUID library.
const CLSID kShellLinkObject = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kShellLinkInterface = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kPersistFileInterface = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace

bool CreateLink(const HookContext* context, const wchar_t* targetPath, const wchar_t* linkPath) {
    LogMessage(context, "VLX: BEGIN - Link Creation", kLogLevelProgress);
    // Released in reverse order: the file interface, the link, then COM.
    const ComApartment apartment;
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(kShellLinkObject, nullptr, CLSCTX_INPROC_SERVER, kShellLinkInterface,
                                link.put()))) {
        LogMessage(context, "VLX: Entering CoCreateInstance failed block", kLogLevelProgress);
        return false;
    }
    LogMessage(context, "VLX: Entering CoCreateInstance succeded block", kLogLevelProgress);
    // A target that does not exist yet is fine (S_FALSE).
    link->SetPath(targetPath);
    link->SetDescription(L"");

    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(kPersistFileInterface, file.put()))) {
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
