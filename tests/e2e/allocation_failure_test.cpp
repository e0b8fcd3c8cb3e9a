// With every allocation function the DLL imports failing, every phase still
// returns its result and every action still runs from its first line to its
// last: nothing in the hook can crash or unwind on a failed allocation.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <errno.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/expected_log.h"
#include "tests/support/phases.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/machine.h"
#include "tests/support/process_recorder.h"

namespace {

void* __cdecl NoMalloc(size_t) {
    errno = ENOMEM;
    return nullptr;
}
void* __cdecl NoCalloc(size_t, size_t) {
    errno = ENOMEM;
    return nullptr;
}
void* __cdecl NoRealloc(void*, size_t) {
    errno = ENOMEM;
    return nullptr;
}
char* __cdecl NoStrdup(const char*) {
    errno = ENOMEM;
    return nullptr;
}
wchar_t* __cdecl NoWcsdup(const wchar_t*) {
    errno = ENOMEM;
    return nullptr;
}
LPVOID WINAPI NoHeapAlloc(HANDLE, DWORD, SIZE_T) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}
LPVOID WINAPI NoHeapReAlloc(HANDLE, DWORD, LPVOID, SIZE_T) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}
HLOCAL WINAPI NoLocalAlloc(UINT, SIZE_T) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}
HLOCAL WINAPI NoLocalReAlloc(HLOCAL, SIZE_T, UINT) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}
HGLOBAL WINAPI NoGlobalAlloc(UINT, SIZE_T) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}
LPVOID WINAPI NoVirtualAlloc(LPVOID, SIZE_T, DWORD, DWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}
BOOL WINAPI NoSid(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                  DWORD, PSID* sid) {
    *sid = nullptr;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
}
DWORD WINAPI NoTlsAlloc() {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return TLS_OUT_OF_INDEXES;
}
LPVOID WINAPI NoCoTaskMemAlloc(SIZE_T) {
    return nullptr;
}

// Every allocation function a Windows module may import, each with a
// replacement that fails as it documents.
const ImportReplacement kAllocators[] = {
    Replacement("malloc", malloc, &NoMalloc),
    Replacement("calloc", calloc, &NoCalloc),
    Replacement("realloc", realloc, &NoRealloc),
    Replacement("_strdup", _strdup, &NoStrdup),
    Replacement("_wcsdup", _wcsdup, &NoWcsdup),
    Replacement("HeapAlloc", HeapAlloc, &NoHeapAlloc),
    Replacement("HeapReAlloc", HeapReAlloc, &NoHeapReAlloc),
    Replacement("LocalAlloc", LocalAlloc, &NoLocalAlloc),
    Replacement("LocalReAlloc", LocalReAlloc, &NoLocalReAlloc),
    Replacement("GlobalAlloc", GlobalAlloc, &NoGlobalAlloc),
    Replacement("VirtualAlloc", VirtualAlloc, &NoVirtualAlloc),
    Replacement("AllocateAndInitializeSid", AllocateAndInitializeSid, &NoSid),
    Replacement("TlsAlloc", TlsAlloc, &NoTlsAlloc),
    Replacement("CoTaskMemAlloc", CoTaskMemAlloc, &NoCoTaskMemAlloc),
};

bool LooksLikeAllocation(std::string name) {
    for (char& c : name) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    const bool endsWithDup = name.size() >= 3 && name.compare(name.size() - 3, 3, "dup") == 0;
    return name.find("alloc") != std::string::npos || endsWithDup;
}

std::vector<DWORD> g_sleeps;
VOID WINAPI RecordSleep(DWORD milliseconds) {
    g_sleeps.push_back(milliseconds);
}

TEST(AllocationFailureTest, EveryPhaseRunsEveryActionWithoutMemory) {
    PopulatedMachine machine;
    HookDll hook;
    CreateProcessRecorder noTools(hook.module(), Children::kRefuse);
    ImportPatch<decltype(Sleep)> sleep(hook.module(), "kernel32.dll", "Sleep", &RecordSleep);

    // Read from the DLL itself, so that a new allocation import cannot be
    // missed: one that the table does not know fails the test.
    std::vector<std::unique_ptr<RawImportPatch>> failing;
    for (const ImportedFunction& function : ImportedFunctions(hook.module())) {
        if (!LooksLikeAllocation(function.name)) {
            continue;
        }
        const ImportReplacement* known = nullptr;
        for (const ImportReplacement& allocator : kAllocators) {
            known = function.name == allocator.name ? &allocator : known;
        }
        ASSERT_NE(known, nullptr) << "an allocation import without a failing stand-in: "
                                  << function.dll << "!" << function.name;
        failing.emplace_back(new RawImportPatch(hook.module(), function.dll.c_str(),
                                                function.name.c_str(), known->function));
        ASSERT_TRUE(failing.back()->applied()) << function.name;
    }
    ASSERT_FALSE(failing.empty()) << "the DLL imports no allocation function at all";

    bool conversionFailed = false;
    for (const PhaseFacts& phase : AllPhases()) {
        SCOPED_TRACE(phase.name);
        g_sleeps.clear();
        LogCapture capture;
        EXPECT_EQ(hook.Proc(machine.properties(), phase.entry, phase.mode), ExpectedResult(phase));
        EXPECT_TRUE(FramesInOrder(capture.lines(), phase));
        EXPECT_EQ(g_sleeps, phase.pauseMilliseconds ? std::vector<DWORD>{phase.pauseMilliseconds}
                                                    : std::vector<DWORD>{});
        conversionFailed = conversionFailed ||
                           CountLines(capture.lines(), "VLX: INSTALLDIR could not be converted. "
                                                       "Install folder not available.") > 0;
    }
    EXPECT_TRUE(conversionFailed) << "the install folder's conversion never met the failure";
}

}  // namespace
