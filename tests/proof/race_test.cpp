// The race: before each of the hook's file-system and security calls, a
// folder on its way (strictly below the base of the action that runs) is
// exchanged at random with a link to a decoy, or back, as a user holding the
// hook at that call would do. The decoy must never change, and the real
// items must still be handled in a tenth of the rounds at least.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <random>

#include "base/guards.h"
#include "tests/proof/harness.h"
#include "tests/support/environment.h"
#include "tests/support/links.h"
#include "tests/support/shell.h"

namespace {

volatile LONG* g_shared = nullptr;  // request, done, stop, the swapper's pid, errno of its last exchange
std::mt19937 g_random;
unsigned g_rate = 2;  // a swap before one raced call in so many (2 to 512), this round
bool g_swapped = false;
bool g_lost = false;  // the swapper stopped answering: no more swaps
unsigned g_swaps = 0;

bool Swap() {
    const LONG request = g_shared[0] + 1;
    InterlockedExchange(&g_shared[0], request);
    // The swapper shares this prefix's CPU: it runs when this thread yields.
    for (const DWORD start = GetTickCount(); g_shared[1] != request; SwitchToThread()) {
        if (GetTickCount() - start > 20000) {
            g_lost = true;
            return false;
        }
    }
    const bool exchanged = g_shared[4] == 0;
    InterlockedExchange(&g_shared[4], 0);
    g_swapped = g_swapped != exchanged;
    g_swaps += exchanged ? 1 : 0;
    return true;
}

void SwapAtRandom() {
    if (!g_lost && g_random() % g_rate == 0) {
        Swap();
    }
}

void CopyTree(const std::wstring& from, const std::wstring& to) {
    MakeFolders(to);
    ForEachEntry(from, [&](const WIN32_FIND_DATAW& entry) {
        const std::wstring name = std::wstring(L"\\") + entry.cFileName;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            CopyTree(from + name, to + name);
        } else {
            CopyFileW((from + name).c_str(), (to + name).c_str(), FALSE);
        }
    });
}

struct Race {
    const char* name;
    InstallMode mode;
    EntryMode entry;
    std::function<std::wstring(const PopulatedMachine&)> swapped;  // exists when the phase starts
    std::function<void(const ProofHook&, PopulatedMachine&)> before = nullptr;
};

TEST(ProofRace, NoLinkSwappedInWhileTheHookRunsIsFollowed) {
    const std::string only = EnvironmentText("VLX_RACE");  // a replay's race
    const ProofReport report("race", "ProofRace", !only.empty());
    ProofHook hook;
    ProofMachine machine;
    PopulatedMachine& populated = machine.machine();
    const unsigned seed = static_cast<unsigned>(EnvironmentNumber("VLX_RACE_SEED", GetTickCount()));
    const auto install = [](const ProofHook& h, PopulatedMachine& m) { h.dll().Proc(m.properties(), PostPayload, Install); };
    const auto ungrant = [](const ProofHook&, PopulatedMachine&) {
        RemoveTree(DataFolder());
        MakeFolders(DataFolder());
    };
    const Race races[] = {
        {"oem", Uninstall, PrePayload, [](const PopulatedMachine& m) { return m.app() + L"\\Settings"; }},
        {"catalog", Uninstall, PrePayload, [](const PopulatedMachine&) { return VendorDataFolder() + L"\\ZTV"; }},
        {"organizer", Uninstall, PostPayload, [](const PopulatedMachine& m) { return m.organizer() + L"\\CAHeadless"; }},
        {"shortcuts", Uninstall, PostPayload,
         [](const PopulatedMachine&) { return CommonPrograms() + L"\\" + kMachineStartMenuTop; }, install},
        {"grant", Install, SessionClose, [](const PopulatedMachine&) { return VendorDataFolder() + L"\\Montavo Fablio"; },
         ungrant},
    };
    unsigned hits = 0;
    unsigned fewestHandled = 100;  // per cent of a race's rounds
    for (size_t r = 0; r < std::size(races); ++r) {
        const Race& race = races[r];
        if (!report.Samples(r) || (!only.empty() && only != race.name)) {
            continue;
        }
        SCOPED_TRACE(race.name);
        LogCapture capture;
        if (race.before) {
            race.before(hook, populated);
        }
        const std::wstring real = race.swapped(populated);
        const std::wstring decoy = L"S:\\vlx-race-decoy\\" + FromUtf8(race.name);
        const std::wstring link = real.substr(0, 2) + L"\\vlx-race-" + FromUtf8(race.name);
        // A file of its own for each race's swapper: one that has not ended yet
        // must not answer the next.
        const std::wstring sharedFile = L"S:\\vlx-race-" + FromUtf8(race.name) + L".bin";
        const Handle file(CreateFileW(sharedFile.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, CREATE_ALWAYS, 0, nullptr));
        const Handle mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READWRITE, 0, 4096, nullptr));
        g_shared = static_cast<volatile LONG*>(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 4096));
        ASSERT_NE(g_shared, nullptr);
        RemoveTree(decoy);
        CopyTree(real, decoy);
        const FileSnapshot decoyBefore = SnapshotFiles(decoy);
        const ScopedLink swapLink(link, decoy);
        ASSERT_TRUE(swapLink.made());
        ASSERT_TRUE(RunUnix("\"" VLX_SWAPPER "\" \"" + UnixName(sharedFile) + "\" \"" + UnixName(real) + "\" \"" +
                            UnixName(link) + "\""));
        for (const DWORD start = GetTickCount(); g_shared[3] == 0 && GetTickCount() - start < 5000;) {
            Sleep(1);
        }
        ASSERT_NE(g_shared[3], 0) << "the swapper did not start";
        unsigned rounds = 0;
        unsigned handled = 0;
        // Three seconds, and enough rounds for the tenth to mean something.
        for (const DWORD start = GetTickCount(); GetTickCount() - start < 3000 || rounds < 100; ++rounds) {
            if (race.before && rounds > 0) {
                race.before(hook, populated);
            }
            const FileSnapshot realBefore = SnapshotFiles(real);
            g_random.seed(seed + rounds);
            g_rate = 1u << (1 + g_random() % 9);
            CallBeforeEach(&StandIn::raced, &SwapAtRandom);
            hook.dll().Proc(populated.properties(), race.entry, race.mode);
            CallBeforeEach(&StandIn::raced, nullptr);
            // Put back as the file system has it: the real folder at its place.
            g_swapped = (GetFileAttributesW(real.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                        GetFileAttributesW(real.c_str()) != INVALID_FILE_ATTRIBUTES;
            ASSERT_TRUE((!g_swapped || Swap()) && !g_lost) << "the swapper stopped answering";
            const FileSnapshot decoyAfter = SnapshotFiles(decoy);
            if (decoyAfter != decoyBefore) {
                ++hits;
                ADD_FAILURE() << "the decoy changed in round " << rounds << ":\n" << Difference(decoyBefore, decoyAfter)
                              << report.Replay("VLX_RACE=" + std::string(race.name) +
                                               " VLX_RACE_SEED=" + std::to_string(seed));
                break;
            }
            handled += SnapshotFiles(real) != realBefore ? 1 : 0;
            machine.Restore(TakeState(machine.places()));
        }
        InterlockedExchange(&g_shared[2], 1);
        RunUnix("/bin/kill " + std::to_string(g_shared[3]));
        UnmapViewOfFile(const_cast<LONG*>(g_shared));
        EXPECT_GE(handled * 10, rounds) << handled << " of " << rounds << " rounds handled real items";
        fewestHandled = std::min(fewestHandled, rounds == 0 ? 0 : handled * 100 / rounds);
    }
    RemoveTree(L"S:\\vlx-race-decoy");
    report.Figures(std::to_string(g_swaps) + " swaps, " + std::to_string(hits) + " hits (real items handled in " +
                       std::to_string(fewestHandled) + "% of the rounds at least)",
                   std::size(races));
}

}  // namespace
