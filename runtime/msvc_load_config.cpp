// The load configuration of a Visual Studio build of the DLL, as its own
// (the C runtime's would otherwise bring it): what the Windows loader reads
// to guard the image. It names
//   - the /GS cookie. The loader seeds the cookie the configuration names
//     only while it holds the default value; ours starts as another (see
//     runtime/stack_guard.cpp), so every loader leaves it, Wine's included, and
//     the entry point makes it from the system's random generator before
//     anything protected runs (runtime/msvc_entry.cpp);
//   - the SafeSEH table of the exception handlers the image may run (empty:
//     it has none), which the linker makes with /SAFESEH;
//   - Control Flow Guard: the pointer to the check that precedes every
//     indirect call, which the loader points at its own where the system
//     enforces CFG (and which checks nothing until then, or where it does
//     not), and the table of the functions an indirect call may reach, which
//     the linker makes with /guard:cf.
// The layout is the one of Windows 10 (IMAGE_LOAD_CONFIG_DIRECTORY32 up to
// the long-jump targets): SDKs older than that, ours among them, do not have
// all of its fields.
#if defined(_MSC_VER)

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

extern "C" {

struct LoadConfiguration {
    DWORD Size;
    DWORD TimeDateStamp;
    WORD MajorVersion;
    WORD MinorVersion;
    DWORD GlobalFlagsClear;
    DWORD GlobalFlagsSet;
    DWORD CriticalSectionDefaultTimeout;
    DWORD DeCommitFreeBlockThreshold;
    DWORD DeCommitTotalFreeThreshold;
    const void* LockPrefixTable;
    DWORD MaximumAllocationSize;
    DWORD VirtualMemoryThreshold;
    DWORD ProcessHeapFlags;
    DWORD ProcessAffinityMask;
    WORD CSDVersion;
    WORD DependentLoadFlags;
    const void* EditList;
    const void* SecurityCookie;
    const void* SEHandlerTable;
    const void* SEHandlerCount;
    const void* GuardCFCheckFunctionPointer;
    const void* GuardCFDispatchFunctionPointer;
    const void* GuardCFFunctionTable;
    const void* GuardCFFunctionCount;
    const void* GuardFlags;
    WORD CodeIntegrityFlags;
    WORD CodeIntegrityCatalog;
    DWORD CodeIntegrityCatalogOffset;
    DWORD CodeIntegrityReserved;
    const void* GuardAddressTakenIatEntryTable;
    const void* GuardAddressTakenIatEntryCount;
    const void* GuardLongJumpTargetTable;
    const void* GuardLongJumpTargetCount;
};
static_assert(sizeof(LoadConfiguration) == 0x78, "the layout of IMAGE_LOAD_CONFIG_DIRECTORY32 through the long-jump targets");
static_assert(offsetof(LoadConfiguration, GuardFlags) == 0x58, "GuardFlags where the loader reads it");

// Made by the linker.
extern uintptr_t __security_cookie;
extern PVOID __safe_se_handler_table[];
extern BYTE __safe_se_handler_count;
extern PVOID __guard_fids_table[];
extern BYTE __guard_fids_count;
extern BYTE __guard_flags;
extern PVOID __guard_iat_table[];
extern BYTE __guard_iat_count;
extern PVOID __guard_longjmp_table[];
extern BYTE __guard_longjmp_count;

// The check before an indirect call until the loader puts its own here.
static void __fastcall NoCallTargetCheck(uintptr_t) {}

// Read-only once loaded (the linker merges .00cfg into .rdata): only the
// loader may change it.
#pragma section(".00cfg", read)
__declspec(allocate(".00cfg")) void(__fastcall* __guard_check_icall_fptr)(uintptr_t) = NoCallTargetCheck;

// Its addresses are the image's own; the counts and flags are the addresses
// of the linker's symbols, as the C runtime's configuration has them. Found
// by its name, which the linker looks for.
extern const LoadConfiguration _load_config_used;
const LoadConfiguration _load_config_used = {
    sizeof(LoadConfiguration),
    0, 0, 0, 0, 0, 0, 0, 0, nullptr, 0, 0, 0, 0, 0, 0, nullptr,
    &__security_cookie,
    __safe_se_handler_table,
    &__safe_se_handler_count,
    &__guard_check_icall_fptr,
    nullptr,
    __guard_fids_table,
    &__guard_fids_count,
    &__guard_flags,
    0, 0, 0, 0,
    __guard_iat_table,
    &__guard_iat_count,
    __guard_longjmp_table,
    &__guard_longjmp_count,
};

}  // extern "C"

#endif  // defined(_MSC_VER)
