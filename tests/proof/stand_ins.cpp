#include "tests/proof/stand_ins.h"

#include <aclapi.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <ntsecapi.h>

#include <stdarg.h>
#include <stdlib.h>

#include "tests/proof/books.h"

namespace {

const int kMaxStandIns = 128;
// The books' name for the calling thread's COM initialisation.
const char kApartment = 0;
unsigned g_calls[kMaxStandIns];
FaultPlan g_plan;

bool ShouldFail(int id, unsigned call) {
    return g_plan.id == id && (g_plan.call == 0 || g_plan.call == call);
}

// What a stand-in does besides counting: the failure it reports, what it
// writes to out-parameters when it fails, and what it tells the books.
template <typename Result, typename... Args>
struct Behaviour {
    Result failure{};
    DWORD error = 0;
    bool releasesFirst = false;
    void (*observe)(Result, Args...) = nullptr;
    void (*onFail)(Args...) = nullptr;
};

// One stand-in per (signature, id), for both calling conventions.
template <typename Signature, int Id>
struct Stub;

#define VLX_DEFINE_STUB(CONVENTION)                                                               \
    template <typename Result, typename... Args, int Id>                                          \
    struct Stub<Result CONVENTION(Args...), Id> {                                                 \
        typedef Result(CONVENTION* Function)(Args...);                                            \
        typedef Behaviour<Result, Args...> Rules;                                                 \
        static Function real;                                                                     \
        static Rules rules;                                                                       \
        static Result CONVENTION Call(Args... args) {                                             \
            const bool fail = ShouldFail(Id, ++g_calls[Id]);                                      \
            if (!fail || rules.releasesFirst) {                                                   \
                const Result result = real(args...);                                              \
                const DWORD error = GetLastError();                                               \
                if (rules.observe != nullptr) {                                                   \
                    rules.observe(result, args...);                                               \
                }                                                                                 \
                SetLastError(error);                                                              \
                if (!fail) {                                                                      \
                    return result;                                                                \
                }                                                                                 \
            }                                                                                     \
            if (rules.onFail != nullptr) {                                                        \
                rules.onFail(args...);                                                            \
            }                                                                                     \
            SetLastError(rules.error);                                                            \
            return rules.failure;                                                                 \
        }                                                                                         \
    };                                                                                            \
    template <typename Result, typename... Args, int Id>                                          \
    typename Stub<Result CONVENTION(Args...), Id>::Function Stub<Result CONVENTION(Args...), Id>::real = \
        nullptr;                                                                                  \
    template <typename Result, typename... Args, int Id>                                          \
    typename Stub<Result CONVENTION(Args...), Id>::Rules Stub<Result CONVENTION(Args...), Id>::rules; \
    template <typename... Args, int Id>                                                           \
    struct Stub<void CONVENTION(Args...), Id> {                                                   \
        typedef void(CONVENTION* Function)(Args...);                                              \
        typedef Behaviour<int, Args...> Rules;                                                    \
        static Function real;                                                                     \
        static void (*observe)(Args...);                                                          \
        static void CONVENTION Call(Args... args) {                                               \
            ++g_calls[Id];                                                                        \
            real(args...);                                                                        \
            const DWORD error = GetLastError();                                                   \
            if (observe != nullptr) {                                                             \
                observe(args...);                                                                 \
            }                                                                                     \
            SetLastError(error);                                                                  \
        }                                                                                         \
    };                                                                                            \
    template <typename... Args, int Id>                                                           \
    typename Stub<void CONVENTION(Args...), Id>::Function Stub<void CONVENTION(Args...), Id>::real = \
        nullptr;                                                                                  \
    template <typename... Args, int Id>                                                           \
    void (*Stub<void CONVENTION(Args...), Id>::observe)(Args...) = nullptr;

VLX_DEFINE_STUB(__stdcall)
VLX_DEFINE_STUB(__cdecl)
#undef VLX_DEFINE_STUB

// Where each stand-in's original goes, by id: filled when the table is made.
void** g_real[kMaxStandIns];

template <typename Signature, int Id>
StandIn Make(const char* name, FaultKind kind) {
    static_assert(Id < kMaxStandIns, "more stand-ins than counters");
    g_real[Id] = reinterpret_cast<void**>(&Stub<Signature, Id>::real);
    return StandIn{name, kind, reinterpret_cast<const void*>(&Stub<Signature, Id>::Call), Id};
}

// A function with a documented failure: result and last error.
template <typename Signature, int Id>
StandIn Fails(const char* name, decltype(Stub<Signature, Id>::rules.failure) failure, DWORD error,
              decltype(Stub<Signature, Id>::rules.observe) observe = nullptr,
              decltype(Stub<Signature, Id>::rules.onFail) onFail = nullptr) {
    auto& rules = Stub<Signature, Id>::rules;
    rules.failure = failure;
    rules.error = error;
    rules.observe = observe;
    rules.onFail = onFail;
    return Make<Signature, Id>(name, FaultKind::kFails);
}

// A release: failing it still releases, then reports the failure.
template <typename Signature, int Id>
StandIn Releases(const char* name, decltype(Stub<Signature, Id>::rules.failure) failure, DWORD error,
                 decltype(Stub<Signature, Id>::rules.observe) observe) {
    StandIn standIn = Fails<Signature, Id>(name, failure, error, observe);
    Stub<Signature, Id>::rules.releasesFirst = true;
    standIn.kind = FaultKind::kReleases;
    return standIn;
}

// A function without a failure to report (the CRT's own business, or a
// query that cannot fail): counted.
template <typename Signature, int Id>
StandIn Passes(const char* name) {
    return Make<Signature, Id>(name, FaultKind::kCannotFail);
}

// A function without a result: counted and, where the books need it, watched.
template <typename Signature, int Id>
StandIn Watches(const char* name, decltype(Stub<Signature, Id>::observe) observe) {
    Stub<Signature, Id>::observe = observe;
    return Make<Signature, Id>(name, FaultKind::kCannotFail);
}

// Left as it is: C variadic functions and CRT internals that only run while
// the DLL loads or unloads, or on a fatal error.
StandIn Untouched(const char* name) {
    return StandIn{name, FaultKind::kCannotFail, nullptr, -1};
}

StandIn Data(const char* name) {
    return StandIn{name, FaultKind::kData, nullptr, -1};
}

#define VLX_FAILS(api, ...) Fails<decltype(api), __COUNTER__>(#api, __VA_ARGS__)
#define VLX_RELEASES(api, ...) Releases<decltype(api), __COUNTER__>(#api, __VA_ARGS__)
#define VLX_PASSES(api) Passes<decltype(api), __COUNTER__>(#api)
#define VLX_WATCHES(api, observe) Watches<decltype(api), __COUNTER__>(#api, observe)

std::vector<StandIn> MakeTable() {
    return {
        // advapi32: registry
        VLX_FAILS(RegOpenKeyExW, ERROR_ACCESS_DENIED, 0,
                  [](LONG r, HKEY, LPCWSTR, DWORD, REGSAM, PHKEY key) {
                      if (r == ERROR_SUCCESS) Acquire(Resource::kKey, *key);
                  },
                  [](HKEY, LPCWSTR, DWORD, REGSAM, PHKEY key) { *key = nullptr; }),
        VLX_FAILS(RegCreateKeyExW, ERROR_ACCESS_DENIED, 0,
                  [](LONG r, HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                     PHKEY key, LPDWORD) {
                      if (r == ERROR_SUCCESS) Acquire(Resource::kKey, *key);
                  },
                  [](HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY key,
                     LPDWORD) { *key = nullptr; }),
        VLX_RELEASES(RegCloseKey, ERROR_INVALID_HANDLE, 0,
                     [](LONG, HKEY key) { Release(Resource::kKey, key); }),
        VLX_FAILS(RegQueryValueExW, ERROR_ACCESS_DENIED, 0),
        VLX_FAILS(RegSetValueExW, ERROR_ACCESS_DENIED, 0),
        VLX_FAILS(RegDeleteValueW, ERROR_ACCESS_DENIED, 0),
        VLX_FAILS(RegEnumKeyW, ERROR_ACCESS_DENIED, 0),
        VLX_FAILS(RegFlushKey, ERROR_ACCESS_DENIED, 0),
        VLX_FAILS(RegQueryInfoKeyW, ERROR_ACCESS_DENIED, 0),
        // advapi32: security
        VLX_FAILS(GetSecurityInfo, ERROR_ACCESS_DENIED, 0,
                  [](DWORD r, HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                     PSECURITY_DESCRIPTOR* descriptor) {
                      if (r == ERROR_SUCCESS && descriptor != nullptr) {
                          Acquire(Resource::kLocalMemory, *descriptor);
                      }
                  },
                  [](HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL* dacl, PACL*,
                     PSECURITY_DESCRIPTOR* descriptor) {
                      if (dacl != nullptr) *dacl = nullptr;
                      if (descriptor != nullptr) *descriptor = nullptr;
                  }),
        VLX_FAILS(SetEntriesInAclW, ERROR_NOT_ENOUGH_MEMORY, 0,
                  [](DWORD r, ULONG, PEXPLICIT_ACCESS_W, PACL, PACL* list) {
                      if (r == ERROR_SUCCESS) Acquire(Resource::kLocalMemory, *list);
                  },
                  [](ULONG, PEXPLICIT_ACCESS_W, PACL, PACL* list) { *list = nullptr; }),
        VLX_FAILS(SetSecurityInfo, ERROR_ACCESS_DENIED, 0),
        VLX_FAILS(AllocateAndInitializeSid, FALSE, ERROR_NOT_ENOUGH_MEMORY,
                  [](BOOL r, PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                     DWORD, DWORD, PSID* sid) {
                      if (r) Acquire(Resource::kSid, *sid);
                  },
                  [](PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                     DWORD, PSID* sid) { *sid = nullptr; }),
        // FreeSid reports success with null, failure with the SID itself.
        VLX_RELEASES(FreeSid, reinterpret_cast<PVOID>(1), ERROR_INVALID_PARAMETER,
                     [](PVOID, PSID sid) { Release(Resource::kSid, sid); }),
        // The stack protector's guard is made when the DLL loads (from what
        // varies between processes when the generator fails).
        VLX_FAILS(SystemFunction036, FALSE, ERROR_NOT_ENOUGH_MEMORY), Untouched("QueryPerformanceCounter"),
        Untouched("GetCurrentProcessId"), Untouched("GetCurrentThreadId"), Untouched("GetTickCount"),
        // kernel32: files and folders
        VLX_FAILS(CreateFileW, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED,
                  [](HANDLE r, LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
                      if (r != INVALID_HANDLE_VALUE) Acquire(Resource::kHandle, r);
                  }),
        VLX_RELEASES(CloseHandle, FALSE, ERROR_INVALID_HANDLE,
                     [](BOOL, HANDLE handle) { Release(Resource::kHandle, handle); }),
        VLX_FAILS(GetFileInformationByHandleEx, FALSE, ERROR_ACCESS_DENIED),
        VLX_FAILS(SetFileInformationByHandle, FALSE, ERROR_ACCESS_DENIED),
        VLX_FAILS(GetFinalPathNameByHandleW, 0, ERROR_PATH_NOT_FOUND),
        VLX_FAILS(GetFileAttributesW, INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED),
        VLX_FAILS(CreateDirectoryW, FALSE, ERROR_ACCESS_DENIED),
        VLX_FAILS(RemoveDirectoryW, FALSE, ERROR_ACCESS_DENIED),
        VLX_FAILS(FindFirstFileW, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED,
                  [](HANDLE r, LPCWSTR, LPWIN32_FIND_DATAW) {
                      if (r != INVALID_HANDLE_VALUE) Acquire(Resource::kSearch, r);
                  }),
        VLX_FAILS(FindNextFileW, FALSE, ERROR_ACCESS_DENIED),
        VLX_RELEASES(FindClose, FALSE, ERROR_INVALID_HANDLE,
                     [](BOOL, HANDLE search) { Release(Resource::kSearch, search); }),
        VLX_FAILS(CompareStringOrdinal, 0, ERROR_INVALID_PARAMETER),
        // kernel32: processes and the system
        VLX_FAILS(CreateProcessW, FALSE, ERROR_FILE_NOT_FOUND,
                  [](BOOL r, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                     LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION information) {
                      if (r) {
                          Acquire(Resource::kHandle, information->hProcess);
                          Acquire(Resource::kHandle, information->hThread);
                      }
                  }),
        VLX_FAILS(WaitForSingleObject, WAIT_FAILED, ERROR_INVALID_HANDLE),
        VLX_FAILS(GetExitCodeProcess, FALSE, ERROR_ACCESS_DENIED),
        VLX_FAILS(GetWindowsDirectoryW, 0, ERROR_ACCESS_DENIED),
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
        VLX_FAILS(CoCreateInstance, REGDB_E_CLASSNOTREG, 0,
                  [](HRESULT r, REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object) {
                      if (SUCCEEDED(r)) {
                          static_cast<IUnknown*>(*object)->AddRef();
                          Acquire(Resource::kComObject, *object);
                      }
                  },
                  [](REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object) { *object = nullptr; }),
        // shell32 and shlwapi
        VLX_FAILS(SHGetFolderPathW, E_FAIL, 0),
        VLX_FAILS(SHGetSpecialFolderPathW, FALSE, ERROR_PATH_NOT_FOUND),
        VLX_FAILS(PathFileExistsW, FALSE, ERROR_FILE_NOT_FOUND),
        VLX_FAILS(PathIsDirectoryEmptyW, FALSE, ERROR_ACCESS_DENIED),
        VLX_FAILS(PathRemoveBackslashW, nullptr, ERROR_INVALID_PARAMETER),
        VLX_FAILS(PathRemoveFileSpecW, FALSE, 0),
        VLX_FAILS(SHDeleteEmptyKeyW, ERROR_ACCESS_DENIED, 0),
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
        VLX_PASSES(memcmp), VLX_PASSES(memcpy), VLX_PASSES(memmove), VLX_PASSES(strcmp),
        VLX_PASSES(strlen), VLX_PASSES(strncmp), VLX_PASSES(wcscmp), VLX_PASSES(wcslen),
        VLX_PASSES(wcsncmp), Untouched("wcschr"), Untouched("wcsstr"),
        Untouched("_amsg_exit"), Untouched("_exit"), Untouched("_initterm"), Untouched("_lock"),
        Untouched("_unlock"), Untouched("abort"), Untouched("fwrite"), Untouched("vfprintf"),
        Data("_iob"),
    };
}

}  // namespace

const std::vector<StandIn>& AllStandIns() {
    static const std::vector<StandIn> table = MakeTable();
    return table;
}

const StandIn* FindStandIn(const std::string& name) {
    for (const StandIn& standIn : AllStandIns()) {
        if (standIn.name == name) {
            return &standIn;
        }
    }
    return nullptr;
}

void SetFaultPlan(const FaultPlan& plan) {
    g_plan = plan;
}

void ResetCalls() {
    for (unsigned& calls : g_calls) {
        calls = 0;
    }
}

unsigned CallsOf(int id) {
    return id >= 0 && id < kMaxStandIns ? g_calls[id] : 0;
}

bool SetOriginal(int id, void* original) {
    if (id < 0 || id >= kMaxStandIns || g_real[id] == nullptr) {
        return false;
    }
    *g_real[id] = original;
    return true;
}

bool PassCallsTo(const std::string& name, const void* function) {
    const StandIn* standIn = FindStandIn(name);
    return standIn != nullptr && SetOriginal(standIn->id, const_cast<void*>(function));
}
