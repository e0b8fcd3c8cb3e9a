// What the grant's tests put in place of the DLL's imports: recorders of
// what the hook hands to the platform (the entry's trustee, mask and
// inheritance, each list written), since Wine keeps access lists as mode bits
// and pushes nothing down a tree; answers that make what the hook reads say
// what a case needs; and failures.
#pragma once

#include <windows.h>
#include <aclapi.h>

#include <string>
#include <vector>

// What the hook hands to the platform, recorded.
struct RecordedEntry {
    ULONG count = 0;
    EXPLICIT_ACCESS_W access = {};
    std::wstring trustee;  // the SID as text
    bool hadOldList = false;
};
extern RecordedEntry g_entry;
extern std::vector<bool> g_nullLists;  // one per SetSecurityInfo call: was the list null
extern std::vector<std::string> g_badWrites;
extern DWORD g_failure;
extern int g_failedWrites;  // how many SetSecurityInfo calls fail, from the first
extern bool g_failMerge;
extern const wchar_t* g_listAsRead;
extern int g_dataFolderListings;  // listings of the data folder, the existence probe's among them

DWORD WINAPI RecordSetEntries(ULONG count, PEXPLICIT_ACCESS_W access, PACL oldList, PACL* newList);
DWORD WINAPI RecordSetSecurity(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION information, PSID owner,
                               PSID group, PACL list, PACL systemList);
// The folder's list as g_listAsRead (SDDL) gives it.
DWORD WINAPI ReadListFromSddl(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL* list, PACL*,
                              PSECURITY_DESCRIPTOR* descriptor);
DWORD WINAPI FailGetSecurityInfo(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                 PSECURITY_DESCRIPTOR*);
BOOL WINAPI FailFindNext(HANDLE, LPWIN32_FIND_DATAW);
BOOL WINAPI FailAllocateSid(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                            PSID* sid);
HANDLE WINAPI CountListings(LPCWSTR pattern, LPWIN32_FIND_DATAW entry);
DWORD WINAPI MovedAsideLater(HANDLE handle, LPWSTR path, DWORD size, DWORD flags);
// A file below the data folder that cannot be opened: the catalog.
HANDLE WINAPI RefuseCatalog(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                            DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WINAPI LongBase(HWND, LPWSTR path, int, BOOL);
