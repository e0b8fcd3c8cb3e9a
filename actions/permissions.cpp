#include "actions/permissions.h"

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>

#include "hook/checked_text.h"
#include "hook/guards.h"
#include "hook/log.h"

namespace {

const wchar_t kDataFolder[] = L"\\Kestrune\\Montavo Fablio\\15.0";
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
    if (!CheckedCopy(folder, base) || !CheckedAppend(folder, kDataFolder)) {
        LogPathTooLong(context);
        return 0;
    }
    if (!FolderExists(folder)) {
        return 0;
    }
    const uint32_t result = GrantEveryoneFullAccess(folder);
    LogFormattedLine(context, L"         Folder: \"%ls\"", folder);
    LogFormattedLine(context, L"         Return code: %d", static_cast<int>(result));
    return 0;
}

bool FolderExists(const wchar_t* path) {
    if (path[0] == L'\0') {
        return false;
    }
    WIN32_FIND_DATAW entry;
    const FindHandle search(FindFirstFileW((std::wstring(path) + L"\\*.*").c_str(), &entry));
    return search.valid();
}

uint32_t GrantEveryoneFullAccess(const wchar_t* path) {
    LocalMemory descriptor;
    PACL currentList = nullptr;
    const DWORD read = GetNamedSecurityInfoW(
        path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &currentList, nullptr,
        reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()));
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
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(everyone.get());

    LocalMemory newList;
    const DWORD merged = SetEntriesInAclW(1, &access, currentList,
                                          reinterpret_cast<PACL*>(newList.put()));
    wchar_t* objectName = const_cast<wchar_t*>(path);
    if (merged == ERROR_SUCCESS &&
        SetNamedSecurityInfoW(objectName, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, static_cast<PACL>(newList.get()), nullptr) == ERROR_SUCCESS) {
        return ERROR_SUCCESS;
    }
    // No list at all: the platform then grants everyone full access.
    return SetNamedSecurityInfoW(objectName, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                 nullptr, nullptr, nullptr);
}
