// With every allocation function the DLL imports failing, every phase still
// returns its result and every action still runs from its first line to its
// last: nothing in the hook can crash or unwind on a failed allocation.
#include <gtest/gtest.h>

#include <windows.h>

#include <errno.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/expected_log.h"
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

struct Allocator {
    const char* name;
    const void* failing;
};

// Every allocation function a Windows module may import, each with a
// replacement that fails as it documents.
const Allocator kAllocators[] = {
    {"malloc", reinterpret_cast<const void*>(&NoMalloc)},
    {"calloc", reinterpret_cast<const void*>(&NoCalloc)},
    {"realloc", reinterpret_cast<const void*>(&NoRealloc)},
    {"_strdup", reinterpret_cast<const void*>(&NoStrdup)},
    {"_wcsdup", reinterpret_cast<const void*>(&NoWcsdup)},
    {"HeapAlloc", reinterpret_cast<const void*>(&NoHeapAlloc)},
    {"HeapReAlloc", reinterpret_cast<const void*>(&NoHeapReAlloc)},
    {"LocalAlloc", reinterpret_cast<const void*>(&NoLocalAlloc)},
    {"LocalReAlloc", reinterpret_cast<const void*>(&NoLocalReAlloc)},
    {"GlobalAlloc", reinterpret_cast<const void*>(&NoGlobalAlloc)},
    {"VirtualAlloc", reinterpret_cast<const void*>(&NoVirtualAlloc)},
    {"AllocateAndInitializeSid", reinterpret_cast<const void*>(&NoSid)},
    {"TlsAlloc", reinterpret_cast<const void*>(&NoTlsAlloc)},
    {"CoTaskMemAlloc", reinterpret_cast<const void*>(&NoCoTaskMemAlloc)},
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
    CreateProcessRecorder noTools(hook.module(), false);
    ImportPatch sleep(hook.module(), "kernel32.dll", "Sleep", &RecordSleep);

    // Read from the DLL itself, so that a new allocation import cannot be
    // missed: one that the table does not know fails the test.
    std::vector<std::unique_ptr<ImportPatch>> failing;
    for (const ImportedFunction& function : ImportedFunctions(hook.module())) {
        if (!LooksLikeAllocation(function.name)) {
            continue;
        }
        const Allocator* known = nullptr;
        for (const Allocator& allocator : kAllocators) {
            known = function.name == allocator.name ? &allocator : known;
        }
        ASSERT_NE(known, nullptr) << "an allocation import without a failing stand-in: "
                                  << function.dll << "!" << function.name;
        failing.emplace_back(new ImportPatch(hook.module(), function.dll.c_str(),
                                             function.name.c_str(), known->failing));
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
        for (const LogLine& line : capture.lines()) {
            conversionFailed = conversionFailed ||
                               line == L4("VLX: INSTALLDIR could not be converted. Install folder not "
                                          "available.");
        }
    }
    EXPECT_TRUE(conversionFailed) << "the install folder's conversion never met the failure";
}

}  // namespace
