// With every allocation function the DLL imports failing, every phase still
// returns its result and every action still runs from its first line to its
// last: nothing in the hook can crash or unwind on a failed allocation.
#include <gtest/gtest.h>

#include <windows.h>

#include <errno.h>

#include <string>
#include <vector>

#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/iat_patch.h"
#include "tests/support/machine.h"
#include "tests/support/phases.h"
#include "tests/support/processes.h"

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
BOOL WINAPI NoSid(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                  DWORD, PSID* sid) {
    *sid = nullptr;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
}
// The allocation functions the DLL imports, each with a replacement that
// fails as it documents; one that is not here fails the test.
const ImportReplacement kAllocators[] = {
    Replacement("malloc", malloc, &NoMalloc),
    Replacement("calloc", calloc, &NoCalloc),
    Replacement("realloc", realloc, &NoRealloc),
    Replacement("AllocateAndInitializeSid", AllocateAndInitializeSid, &NoSid),
};

bool LooksLikeAllocation(std::string name) {
    for (char& c : name) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    const bool endsWithDup = name.size() >= 3 && name.compare(name.size() - 3, 3, "dup") == 0;
    return name.find("alloc") != std::string::npos || endsWithDup;
}

TEST(AllocationFailureTest, EveryPhaseRunsEveryActionWithoutMemory) {
    PopulatedMachine machine;
    HookDll hook;
    CreateProcessRecorder noTools(hook.module(), Children::kRefuse);
    PauseRecorder pauses(hook.module());

    // Read from the DLL itself, so that a new allocation import cannot be
    // missed: one that the table does not know fails the test.
    ImportPatches failing(hook.module());
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
        failing.Add({function.name.c_str(), known->function});
    }
    ASSERT_FALSE(failing.empty()) << "the DLL imports no allocation function at all";

    bool conversionFailed = false;
    for (const PhaseFacts& phase : AllPhases()) {
        SCOPED_TRACE(phase.name);
        pauses.clear();
        LogCapture capture;
        EXPECT_EQ(hook.Proc(machine.properties(), phase.entry, phase.mode), ExpectedResult(phase));
        EXPECT_TRUE(FramesInOrder(capture.lines(), phase));
        EXPECT_EQ(pauses.pauses(), phase.pauseMilliseconds ? std::vector<DWORD>{phase.pauseMilliseconds}
                                                    : std::vector<DWORD>{});
        conversionFailed = conversionFailed ||
                           CountLines(capture.lines(), "VLX: INSTALLDIR could not be converted. "
                                                       "Install folder not available.") > 0;
    }
    EXPECT_TRUE(conversionFailed) << "the install folder's conversion never met the failure";
}

}  // namespace
