// Every function the hook DLL may import, with its documented failure, what
// the leak books learn from it, and whether it changes the machine (Changes:
// the kill matrix ends the process before it) or may meet a folder swapped
// for a link (Raced: the race swaps before it). A new import is one row.
#include "tests/proof/stand_in_stubs.h"

#include <aclapi.h>
#include <sddl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <ntsecapi.h>

#include <stdarg.h>
#include <stdlib.h>

#include "base/nt_file.h"

namespace proof_stubs {

namespace {

// The books' name for the calling thread's COM initialisation.
const char kApartment = 0;

}  // namespace

std::vector<StandIn> MakeStandInTable() {
    return {
        // advapi32: registry
        VLX_FAILS(RegOpenKeyExW, ERROR_ACCESS_DENIED, 0, &AcquireOut<Resource::kKey, 4>, &ClearOut<4>),
        Changes(VLX_FAILS(RegCreateKeyExW, ERROR_ACCESS_DENIED, 0, &AcquireOut<Resource::kKey, 7>, &ClearOut<7>)),
        VLX_RELEASES(RegCloseKey, ERROR_INVALID_HANDLE, 0,
                     [](LONG, HKEY key) { Release(Resource::kKey, key); }),
        VLX_FAILS(RegQueryValueExW, ERROR_ACCESS_DENIED, 0),
        Changes(VLX_FAILS(RegSetValueExW, ERROR_ACCESS_DENIED, 0)),
        Changes(VLX_FAILS(RegDeleteValueW, ERROR_ACCESS_DENIED, 0)),
        Changes(VLX_FAILS(RegDeleteKeyW, ERROR_ACCESS_DENIED, 0)),
        VLX_FAILS(RegEnumKeyW, ERROR_ACCESS_DENIED, 0),
        VLX_FAILS(RegEnumValueW, ERROR_ACCESS_DENIED, 0),
        VLX_FAILS(RegFlushKey, ERROR_ACCESS_DENIED, 0),
        VLX_FAILS(RegQueryInfoKeyW, ERROR_ACCESS_DENIED, 0),
        // advapi32: security
        Raced(VLX_FAILS(GetSecurityInfo, ERROR_ACCESS_DENIED, 0, &AcquireOut<Resource::kLocalMemory, 7>,
                        &ClearOut<5, 7>)),
        VLX_FAILS(SetEntriesInAclW, ERROR_NOT_ENOUGH_MEMORY, 0, &AcquireOut<Resource::kLocalMemory, 3>,
                  &ClearOut<3>),
        // A file's list is written through its handle, pushing nothing down (SetKernelObjectSecurity); the
        // platform's push of a file's list, and a null list, are never written.
        Changes(Raced(VLX_FAILS(SetSecurityInfo, ERROR_ACCESS_DENIED, 0,
                                [](DWORD, HANDLE, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID, PSID,
                                   PACL list, PACL) {
                                    if ((what & DACL_SECURITY_INFORMATION) != 0 &&
                                        (type == SE_FILE_OBJECT || list == nullptr)) {
                                        Forbidden("SetSecurityInfo wrote a file's list or a null list");
                                    }
                                }))),
        Changes(Raced(VLX_FAILS(SetKernelObjectSecurity, FALSE, ERROR_ACCESS_DENIED,
                                [](BOOL, HANDLE, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor) {
                                    BOOL present = FALSE;
                                    BOOL defaulted = FALSE;
                                    PACL list = nullptr;
                                    if ((what & DACL_SECURITY_INFORMATION) != 0 &&
                                        GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) &&
                                        (!present || list == nullptr)) {
                                        Forbidden("SetKernelObjectSecurity wrote a null list");
                                    }
                                }))),
        VLX_FAILS(InitializeSecurityDescriptor, FALSE, ERROR_INVALID_PARAMETER),
        VLX_FAILS(SetSecurityDescriptorDacl, FALSE, ERROR_INVALID_SECURITY_DESCR),
        VLX_FAILS(SetSecurityDescriptorControl, FALSE, ERROR_INVALID_PARAMETER),
        VLX_FAILS(GetSecurityDescriptorControl, FALSE, ERROR_INVALID_SECURITY_DESCR),
        VLX_FAILS(InitializeAcl, FALSE, ERROR_INSUFFICIENT_BUFFER),
        VLX_FAILS(AddAce, FALSE, ERROR_INSUFFICIENT_BUFFER),
        VLX_FAILS(AddAccessAllowedAceEx, FALSE, ERROR_ALLOTTED_SPACE_EXCEEDED),
        VLX_PASSES(GetLengthSid),  // of a valid SID: it cannot fail
        VLX_FAILS(ConvertStringSecurityDescriptorToSecurityDescriptorW, FALSE, ERROR_NOT_ENOUGH_MEMORY,
                  &AcquireOut<Resource::kLocalMemory, 2>),
        VLX_FAILS(GetSecurityDescriptorDacl, FALSE, ERROR_INVALID_SECURITY_DESCR),
        VLX_FAILS(GetAce, FALSE, ERROR_INVALID_PARAMETER),
        VLX_PASSES(EqualSid),
        VLX_FAILS(AllocateAndInitializeSid, FALSE, ERROR_NOT_ENOUGH_MEMORY, &AcquireOut<Resource::kSid, 10>,
                  &ClearOut<10>),
        // FreeSid reports success with null, failure with the SID itself.
        VLX_RELEASES(FreeSid, reinterpret_cast<PVOID>(1), ERROR_INVALID_PARAMETER,
                     [](PVOID, PSID sid) { Release(Resource::kSid, sid); }),
        // The stack protector's guard is made when the DLL loads (from what
        // varies between processes when the generator fails).
        VLX_FAILS(SystemFunction036, FALSE, ERROR_NOT_ENOUGH_MEMORY), Untouched("QueryPerformanceCounter"),
        Untouched("GetCurrentProcessId"), Untouched("GetCurrentThreadId"), Untouched("GetTickCount"),
        // kernel32: files and folders
        Raced(VLX_FAILS(CreateFileW, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, &AcquireResult<Resource::kHandle>)),
        Raced(VLX_RELEASES(CloseHandle, FALSE, ERROR_INVALID_HANDLE,
                           [](BOOL, HANDLE handle) { Release(Resource::kHandle, handle); })),
        Raced(VLX_FAILS(GetFileInformationByHandleEx, FALSE, ERROR_ACCESS_DENIED)),
        VLX_FAILS(GetFileInformationByHandle, FALSE, ERROR_ACCESS_DENIED),
        VLX_FAILS(GetVolumeInformationByHandleW, FALSE, ERROR_ACCESS_DENIED),
        Raced(VLX_FAILS(SetFileInformationByHandle, FALSE, ERROR_ACCESS_DENIED)),
        Raced(VLX_FAILS(GetFileAttributesW, INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED)),
        Changes(Raced(VLX_FAILS(CreateDirectoryW, FALSE, ERROR_ACCESS_DENIED))),
        Changes(Raced(VLX_FAILS(RemoveDirectoryW, FALSE, ERROR_ACCESS_DENIED))),
        Raced(VLX_FAILS(FindFirstFileW, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, &AcquireResult<Resource::kSearch>)),
        VLX_RELEASES(FindClose, FALSE, ERROR_INVALID_HANDLE,
                     [](BOOL, HANDLE search) { Release(Resource::kSearch, search); }),
        VLX_FAILS(CompareStringOrdinal, 0, ERROR_INVALID_PARAMETER),
        // ntdll: opens and listings below a base, one name relative to a folder's handle. Each open takes a
        // reparse point itself (Windows would follow it otherwise; Wine ignores the flag) and completes at once
        // where another program's lock is being broken (Windows would wait for that program otherwise).
        Raced(VLX_FAILS(NtCreateFile, static_cast<VlxNtStatus>(0xC0000022L) /* access denied */, 0,
                        [](VlxNtStatus r, HANDLE* file, auto... rest) {
                            const ULONG options = std::get<7>(std::tie(rest...));
                            if ((options & kVlxFileOpenReparsePoint) == 0) {
                                Forbidden("NtCreateFile would follow a reparse point");
                            }
                            if ((options & kVlxFileCompleteIfOplocked) == 0) {
                                Forbidden("NtCreateFile would wait for another program's lock");
                            }
                            AcquireOut<Resource::kHandle, 0>(r, file, rest...);
                        },
                        &ClearOut<0>)),
        Raced(VLX_FAILS(NtQueryDirectoryFile, static_cast<VlxNtStatus>(0xC0000022L), 0)),
        Raced(VLX_FAILS(NtQueryInformationFile, static_cast<VlxNtStatus>(0xC0000022L), 0)),
        VLX_FAILS(NtQueryVolumeInformationFile, static_cast<VlxNtStatus>(0xC0000022L), 0),
        // kernel32: the bounded wait for another program's lock to be let go (no Wine open asks for it)
        VLX_FAILS(CreateEventW, nullptr, ERROR_NOT_ENOUGH_MEMORY,
                  [](HANDLE r, LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR) {
                      if (r != nullptr) Acquire(Resource::kHandle, r);
                  }),
        VLX_FAILS(DeviceIoControl, FALSE, ERROR_NOT_SUPPORTED),
        VLX_FAILS(CancelIoEx, FALSE, ERROR_NOT_FOUND),
        // ntdll: a file named anew within the folder whose handle is given
        Changes(Raced(VLX_FAILS(NtSetInformationFile, static_cast<VlxNtStatus>(0xC0000022L) /* access denied */, 0))),
        VLX_PASSES(RtlNtStatusToDosError),  // a mapping, which cannot fail
        // kernel32: processes and the system
        Changes(VLX_FAILS(CreateProcessW, FALSE, ERROR_FILE_NOT_FOUND,
                          [](BOOL r, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                             LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION information) {
                              if (r) {
                                  Acquire(Resource::kHandle, information->hProcess);
                                  Acquire(Resource::kHandle, information->hThread);
                              }
                          })),
        VLX_FAILS(WaitForSingleObject, WAIT_FAILED, ERROR_INVALID_HANDLE),
        VLX_FAILS(GetExitCodeProcess, FALSE, ERROR_ACCESS_DENIED),
        VLX_FAILS(GetSystemWindowsDirectoryW, 0, ERROR_ACCESS_DENIED),
        VLX_FAILS(GetVersionExW, FALSE, ERROR_INSUFFICIENT_BUFFER),
        VLX_FAILS(IsWow64Process, FALSE, ERROR_ACCESS_DENIED),
        VLX_FAILS(GetEnvironmentVariableW, 0, ERROR_ENVVAR_NOT_FOUND),
        VLX_FAILS(MultiByteToWideChar, 0, ERROR_NO_UNICODE_TRANSLATION),
        VLX_FAILS(WideCharToMultiByte, 0, ERROR_INSUFFICIENT_BUFFER),
        // LocalFree reports success with null, failure with the memory itself.
        VLX_RELEASES(LocalFree, reinterpret_cast<HLOCAL>(1), ERROR_INVALID_HANDLE,
                     [](HLOCAL, HLOCAL memory) { Release(Resource::kLocalMemory, memory); }),
        VLX_WATCHES(Sleep, nullptr),
        VLX_PASSES(GetCurrentProcess),
        VLX_PASSES(GetLastError),
        // The end of a process whose stack is smashed.
        Untouched("TerminateProcess"),
        // kernel32: what the C runtime uses while the DLL loads and unloads
        VLX_FAILS(GetModuleHandleA, nullptr, ERROR_MOD_NOT_FOUND),
        VLX_FAILS(GetProcAddress, nullptr, ERROR_PROC_NOT_FOUND),
        VLX_FAILS(LoadLibraryA, nullptr, ERROR_MOD_NOT_FOUND),
        VLX_RELEASES(FreeLibrary, FALSE, ERROR_INVALID_HANDLE, nullptr),
        VLX_FAILS(VirtualProtect, FALSE, ERROR_INVALID_ADDRESS),
        VLX_FAILS(VirtualQuery, 0, ERROR_INVALID_PARAMETER),
        VLX_FAILS(TlsGetValue, nullptr, ERROR_INVALID_PARAMETER),
        VLX_WATCHES(InitializeCriticalSection, nullptr),
        VLX_WATCHES(EnterCriticalSection, nullptr),
        VLX_WATCHES(LeaveCriticalSection, nullptr),
        VLX_WATCHES(DeleteCriticalSection, nullptr),
        // ole32
        VLX_FAILS(CoInitialize, E_OUTOFMEMORY, 0,
                  [](HRESULT r, LPVOID) {
                      if (SUCCEEDED(r)) Acquire(Resource::kComApartment, &kApartment);
                  }),
        VLX_WATCHES(CoUninitialize, []() { Release(Resource::kComApartment, &kApartment); }),
        Changes(VLX_FAILS(CoCreateInstance, REGDB_E_CLASSNOTREG, 0,
                          [](HRESULT r, REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object) {
                              if (SUCCEEDED(r)) {
                                  static_cast<IUnknown*>(*object)->AddRef();
                                  Acquire(Resource::kComObject, *object);
                              }
                          },
                          &ClearOut<4>)),
        // shell32 and shlwapi
        VLX_FAILS(SHGetFolderPathW, E_FAIL, 0),
        VLX_FAILS(SHGetSpecialFolderPathW, FALSE, ERROR_PATH_NOT_FOUND),
        Raced(VLX_FAILS(PathFileExistsW, FALSE, ERROR_FILE_NOT_FOUND)),
        Raced(VLX_FAILS(PathIsDirectoryEmptyW, FALSE, ERROR_ACCESS_DENIED)),
        VLX_FAILS(PathRemoveBackslashW, nullptr, ERROR_INVALID_PARAMETER),
        VLX_FAILS(PathRemoveFileSpecW, FALSE, 0),
        Changes(VLX_FAILS(SHDeleteEmptyKeyW, ERROR_ACCESS_DENIED, 0)),
        // msvcrt: memory
        VLX_FAILS(malloc, nullptr, ERROR_NOT_ENOUGH_MEMORY,
                  [](void* r, size_t) { Acquire(Resource::kHeap, r); }),
        VLX_FAILS(calloc, nullptr, ERROR_NOT_ENOUGH_MEMORY,
                  [](void* r, size_t, size_t) { Acquire(Resource::kHeap, r); }),
        VLX_FAILS(realloc, nullptr, ERROR_NOT_ENOUGH_MEMORY,
                  [](void* r, void* old, size_t) {
                      if (r != nullptr) {
                          Release(Resource::kHeap, old);
                          Acquire(Resource::kHeap, r);
                      }
                  }),
        VLX_WATCHES(free, [](void* memory) { Release(Resource::kHeap, memory); }),
        // msvcrt: the line formatter reports a line that does not fit with -1
        VLX_FAILS(_vsnwprintf, -1, 0),
        // msvcrt: pure computation, and the C runtime's own start, end and
        // fatal-error paths
        VLX_PASSES(memcmp), VLX_PASSES(memcpy), VLX_PASSES(memmove), VLX_PASSES(memset), VLX_PASSES(strcmp),
        VLX_PASSES(strlen), VLX_PASSES(strncmp), VLX_PASSES(wcscmp), VLX_PASSES(wcslen),
        VLX_PASSES(wcsncmp), Untouched("wcschr"), Untouched("wcsstr"),
        Untouched("_amsg_exit"), Untouched("_exit"), Untouched("_initterm"), Untouched("_lock"),
        Untouched("_unlock"), Untouched("abort"), Untouched("fwrite"), Untouched("vfprintf"),
        Data("_iob"),
    };
}

}  // namespace proof_stubs
