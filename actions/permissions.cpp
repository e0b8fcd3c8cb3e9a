#include "actions/permissions.h"

#include <aclapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "hook/checked_text.h"
#include "hook/guards.h"
#include "hook/log.h"
#include "hook/no_follow.h"
#include "hook/product.h"

namespace {

const wchar_t kDataFolder[] = VLX_WIDE(VLX_DATA_FOLDER);
const size_t kFolderChars = 1024;

}  // namespace

int32_t FixPermission(const HookContext* context) {
    LogMessage(context, "VLX: FixPermission", kLogLevelProgress);
    wchar_t base[kFolderChars] = {};
    // Never "\Kestrune\..." at the root of the current drive.
    if (!SHGetSpecialFolderPathW(nullptr, base, CSIDL_COMMON_APPDATA, FALSE) || base[0] == L'\0') {
        LogMessage(context, "VLX: Common application data folder not found. Permission not changed.",
                   kLogLevelProgress);
        return 0;
    }
    PathRemoveBackslashW(base);
    wchar_t folder[kFolderChars] = {};
    if (!CheckedJoin(folder, {base, kDataFolder})) {
        LogPathTooLong(context);
        return 0;
    }
    if (!FolderExists(folder)) {
        return 0;
    }
    // Checked and changed through one handle, so that no link can be put in
    // between: on Windows the new entry is pushed down to everything below
    // the folder the handle really is.
    FileHandle handle;
    const DWORD opened = OpenBelow(base, folder, READ_CONTROL | WRITE_DAC, kFolderItem, &handle);
    if (opened == kLinkInPath) {
        LogLinkSkipped(context);
        return 0;
    }
    const uint32_t result = opened == ERROR_SUCCESS ? GrantEveryoneFullAccess(handle.get()) : opened;
    LogFormattedLine(context, L"         Folder: \"%ls\"", folder);
    LogFormattedLine(context, L"         Return code: %d", static_cast<int>(result));
    return 0;
}

bool FolderExists(const wchar_t* path) {
    wchar_t pattern[kFolderChars];
    if (path[0] == L'\0' || !CheckedJoin(pattern, {path, L"\\*.*"})) {
        return false;
    }
    WIN32_FIND_DATAW entry;
    const FindHandle search(FindFirstFileW(pattern, &entry));
    return search.valid();
}

uint32_t GrantEveryoneFullAccess(HANDLE folder) {
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    PACL currentList = nullptr;
    const DWORD read = GetSecurityInfo(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                       nullptr, &currentList, nullptr, descriptor.put());
    if (read != ERROR_SUCCESS) {
        return read;
    }

    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    Sid everyone;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                  everyone.put())) {
        return GetLastError();
    }

    EXPLICIT_ACCESS_W access = {};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.pMultipleTrustee = nullptr;
    access.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(everyone.get());

    LocalMemory<PACL> newList;
    const DWORD merged = SetEntriesInAclW(1, &access, currentList, newList.put());
    if (merged == ERROR_SUCCESS &&
        SetSecurityInfo(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        newList.get(), nullptr) == ERROR_SUCCESS) {
        return ERROR_SUCCESS;
    }
    // No list at all: the platform then grants everyone full access.
    return SetSecurityInfo(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                           nullptr, nullptr);
}
