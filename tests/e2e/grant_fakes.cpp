#include "tests/e2e/grant_fakes.h"

#include <sddl.h>

#include "tests/support/shell.h"

RecordedEntry g_entry;
std::vector<bool> g_nullLists;  // one per SetSecurityInfo call: was the list null
std::vector<std::string> g_badWrites;
DWORD g_failure = 0;
int g_failedWrites = 0;  // how many SetSecurityInfo calls fail, from the first
bool g_failMerge = false;
const wchar_t* g_listAsRead = nullptr;

DWORD WINAPI RecordSetEntries(ULONG count, PEXPLICIT_ACCESS_W access, PACL oldList, PACL* newList) {
    g_entry.count = count;
    g_entry.access = access[0];
    g_entry.hadOldList = oldList != nullptr;
    wchar_t* sid = nullptr;
    if (access[0].Trustee.TrusteeForm == TRUSTEE_IS_SID &&
        ConvertSidToStringSidW(reinterpret_cast<PSID>(access[0].Trustee.ptstrName), &sid)) {
        g_entry.trustee = sid;
        LocalFree(sid);
    }
    if (g_failMerge) {
        *newList = nullptr;
        return g_failure;
    }
    return SetEntriesInAclW(count, access, oldList, newList);
}

DWORD WINAPI RecordSetSecurity(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION information, PSID owner,
                               PSID group, PACL list, PACL systemList) {
    g_nullLists.push_back(list == nullptr);
    if (type != SE_FILE_OBJECT || information != DACL_SECURITY_INFORMATION || owner != nullptr ||
        group != nullptr || systemList != nullptr) {
        g_badWrites.push_back("write " + std::to_string(g_nullLists.size()) + " is not the folder's list alone");
    }
    if (static_cast<int>(g_nullLists.size()) <= g_failedWrites) {
        return g_failure;
    }
    return SetSecurityInfo(object, type, information, owner, group, list, systemList);
}

DWORD WINAPI ReadListFromSddl(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL* list, PACL*,
                              PSECURITY_DESCRIPTOR* descriptor) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(g_listAsRead, SDDL_REVISION_1, descriptor,
                                                              nullptr)) {
        return GetLastError();
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorDacl(*descriptor, &present, list, &defaulted);
    return ERROR_SUCCESS;
}

DWORD WINAPI FailGetSecurityInfo(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                 PSECURITY_DESCRIPTOR*) {
    return g_failure;
}

BOOL WINAPI FailFindNext(HANDLE, LPWIN32_FIND_DATAW) {
    SetLastError(g_failure);
    return FALSE;
}

BOOL WINAPI FailAllocateSid(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                            PSID* sid) {
    *sid = nullptr;
    SetLastError(g_failure);
    return FALSE;
}

// The walk goes by path, the grant through the folder's handle: where that
// handle leads as Windows answers once the folder was moved aside (and a
// clean folder, say, put in its place) after the walk began. Wine keeps the
// path a handle was opened by: its answers for the data folder are the moved
// folder's once the walk began.
int g_dataFolderListings = 0;
HANDLE WINAPI CountListings(LPCWSTR pattern, LPWIN32_FIND_DATAW entry) {
    g_dataFolderListings += pattern == DataFolder() + L"\\*.*" ? 1 : 0;
    return FindFirstFileW(pattern, entry);
}

// Moved once the walk lists the folder (its first listing is the probe of
// whether it exists).
DWORD WINAPI MovedAsideLater(HANDLE handle, LPWSTR path, DWORD size, DWORD flags) {
    const DWORD length = GetFinalPathNameByHandleW(handle, path, size, flags);
    const std::wstring moved = L"\\\\?\\" + DataFolder() + L" Moved";
    if (length > 0 && length < size && path == L"\\\\?\\" + DataFolder() && g_dataFolderListings > 1 &&
        moved.size() < size) {
        wcscpy(path, moved.c_str());
        return static_cast<DWORD>(moved.size());
    }
    return length;
}

HANDLE WINAPI RefuseCatalog(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                            DWORD disposition, DWORD flags, HANDLE templateFile) {
    const std::wstring name = path;
    if (name.size() >= 10 && name.compare(name.size() - 10, 10, L"catalog.db") == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

// The common application data folder named with "." components, which the
// platform folds away: the data folder below it is too long for the walk.
BOOL WINAPI LongBase(HWND, LPWSTR path, int, BOOL) {
    std::wstring base = CommonAppData();
    while (base.size() < 250) {
        base += L"\\.";
    }
    wcscpy(path, base.c_str());
    return TRUE;
}

