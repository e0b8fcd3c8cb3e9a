// How cost grows: the profile sweep, the pruning of an OEM folder tree and
// the Start-menu walk, each at several sizes. A size's cost is the phase's
// time at that size less its time at size 0, per item; the floor's likewise.
#include <stdio.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "bench/sections.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

namespace {

const double kTargetRatio = 1.25;

const PhaseFacts& PhaseOf(InstallMode mode, EntryMode entry) {
    for (const PhaseFacts& phase : AllPhases()) {
        if (phase.mode == mode && phase.entry == entry) {
            return phase;
        }
    }
    return AllPhases().front();
}

struct Timings {
    std::vector<double> hook;
    std::vector<double> floor;
};

// Runs of the hook's phase and of its floor, alternating; prepare (when
// given) sets the machine up before each, untimed.
Timings Measure(const BenchHook& hook, const PropertyMap* properties, const PhaseFacts& phase, const Floor& floor,
                int repetitions, const std::function<void()>& prepare = nullptr) {
    Timings timings;
    auto timeHook = [&] {
        if (prepare) {
            prepare();
        }
        timings.hook.push_back(TimeMilliseconds([&] { hook.Run(properties, phase); }));
    };
    auto timeFloor = [&] {
        if (prepare) {
            prepare();
        }
        timings.floor.push_back(TimeMilliseconds([&] { floor.Run(phase); }));
    };
    Alternate(repetitions, timeHook, timeFloor);
    TakeLineCount();
    return timings;
}

// Per item: each sample less the median at size 0, over the size.
std::vector<double> PerItem(const std::vector<double>& samples, const std::vector<double>& base, int items) {
    const double baseMedian = Summarise(base).median;
    std::vector<double> perItem;
    for (double sample : samples) {
        perItem.push_back((sample - baseMedian) / items);
    }
    return perItem;
}

Timings PerItem(const Timings& sized, const Timings& base, int items) {
    return Timings{PerItem(sized.hook, base.hook, items), PerItem(sized.floor, base.floor, items)};
}

// Per item from pairs of runs, each at size 0 and then at the size, the
// machine set up before each run: slow drifts of the platform cancel out.
Timings PairedPerItem(const BenchHook& hook, const PropertyMap* properties, const PhaseFacts& phase,
                      const Floor& baseFloor, const Floor& sizedFloor, int items, int repetitions,
                      const std::function<void()>& prepareBase, const std::function<void()>& prepareSized) {
    Timings perItem;
    auto pair = [&](std::vector<double>* samples, const std::function<void()>& run0,
                    const std::function<void()>& run) {
        prepareBase();
        const double base = TimeMilliseconds(run0);
        prepareSized();
        samples->push_back((TimeMilliseconds(run) - base) / items);
    };
    auto timeHook = [&] {
        pair(&perItem.hook, [&] { hook.Run(properties, phase); }, [&] { hook.Run(properties, phase); });
    };
    auto timeFloor = [&] {
        pair(&perItem.floor, [&] { baseFloor.Run(phase); }, [&] { sizedFloor.Run(phase); });
    };
    Alternate(repetitions, timeHook, timeFloor);
    TakeLineCount();
    return perItem;
}

void AddSeriesRow(Table* table, const std::string& what, const Timings& perItem) {
    const Figures hook = Summarise(perItem.hook);
    const Figures floor = Summarise(perItem.floor);
    const double ratio = hook.median / floor.median;
    table->Add(Row{what, Duration(hook), Duration(floor), ratio, "<= 1.25x", Verdict(ratio <= kTargetRatio)});
}

int RepetitionsFor(int items, bool quick) {
    return quick ? 3 : std::max(5, std::min(101, 20000 / items));
}

// Profiles in the machine's profile list, none with a pinned copy, removed
// when the object ends.
class ScopedProfiles {
public:
    ScopedProfiles(int count, const std::wstring& folder) {
        for (int i = 0; i < count; ++i) {
            const std::wstring key = Key(i);
            ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, key, L"ProfileImagePath",
                                           folder + L"\\User" + std::to_wstring(i), REG_EXPAND_SZ, 0);
            keys_.push_back(key);
        }
    }
    ~ScopedProfiles() {
        for (const std::wstring& key : keys_) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
        }
    }
    ScopedProfiles(const ScopedProfiles&) = delete;
    ScopedProfiles& operator=(const ScopedProfiles&) = delete;

private:
    static std::wstring Key(int i) {
        return std::wstring(kProfileListKey) + L"\\S-1-5-21-1000-2000-3000-" + std::to_wstring(10000 + i);
    }
    std::vector<std::wstring> keys_;
};

// A tree of count folders below root (root included when it is missing),
// ten to a folder, breadth first; with a file in each folder or none.
void MakeTree(const std::wstring& root, int count, bool withFiles) {
    std::vector<std::wstring> folders = {root};
    MakeFolders(root);
    for (int i = 1; i <= count; ++i) {
        folders.push_back(folders[static_cast<size_t>((i - 1) / 10)] + L"\\d" + std::to_wstring(i));
        CreateDirectoryW(folders.back().c_str(), nullptr);
        if (withFiles) {
            WriteTextFile(folders.back() + L"\\f.dat", "x");
        }
    }
}

}  // namespace

void MeasureSeries(const BenchOptions& options, const BenchHook& hook, BenchMachine& bench, Table* table) {
    // The machine as an uninstall's PrePayload and PostPayload leave it: a
    // further run of either changes nothing, so only what a series adds is
    // there to work on.
    const PhaseFacts& prePayload = PhaseOf(Uninstall, PrePayload);
    const PhaseFacts& postPayload = PhaseOf(Uninstall, PostPayload);
    bench.Restore(Stage::kLaidOut);
    const PropertyMap* properties = bench.machine().properties();
    hook.Run(properties, prePayload);
    hook.Run(properties, postPayload);
    TakeLineCount();
    FloorPlaces places = bench.floorPlaces();
    places.startMenuFolder.clear();
    const Floor floor(places, CountLine);
    const bool quick = options.quick;
    const int baseRepetitions = quick ? 3 : 101;

    table->Section("Profile sweep (uninstall PostPayload), per profile");
    {
        const Timings base = Measure(hook, properties, postPayload, floor, baseRepetitions);
        for (int profiles : quick ? std::vector<int>{10, 100} : std::vector<int>{10, 100, 1000, 10000}) {
            const ScopedProfiles scoped(profiles, bench.machine().sandbox() / L"Profiles");
            const Timings sized = Measure(hook, properties, postPayload, floor, RepetitionsFor(profiles, quick));
            AddSeriesRow(table, std::to_string(profiles) + " profiles", PerItem(sized, base, profiles));
        }
    }

    const std::wstring tree = bench.machine().app() + L"\\MediaIO";
    const std::vector<int> treeSizes = quick ? std::vector<int>{100} : std::vector<int>{100, 1000, 10000};
    table->Section("Pruning (uninstall PrePayload), per folder: all empty, all removed");
    for (int folders : treeSizes) {
        const int repetitions = quick ? 2 : std::max(3, std::min(41, 2000 / folders));
        AddSeriesRow(table, std::to_string(folders) + " folders",
                     PairedPerItem(hook, properties, prePayload, floor, floor, folders, repetitions, [] {},
                                   [&] { MakeTree(tree, folders, false); }));
        RemoveTree(tree);
    }
    table->Section("Pruning (uninstall PrePayload), per folder: a file in each, all kept");
    {
        const Timings base = Measure(hook, properties, prePayload, floor, baseRepetitions);
        for (int folders : treeSizes) {
            MakeTree(tree, folders, true);
            const Timings sized = Measure(hook, properties, prePayload, floor, RepetitionsFor(folders, quick));
            RemoveTree(tree);
            AddSeriesRow(table, std::to_string(folders) + " folders", PerItem(sized, base, folders));
        }
    }

    table->Section("Start-menu walk (uninstall PostPayload), per level of the custom folder");
    {
        // The option key names the location (none for size 0, where the
        // shortcut lies in the programs folder itself), the folders are
        // there and empty but for the shortcut.
        const std::wstring link = std::wstring(L"\\") + kLinkFile;
        auto prepare = [&](const std::wstring& location) {
            ScopedRegistryKey::SetStringIn(HKEY_LOCAL_MACHINE, kOptionKey, L"STARTMENULOCATION", location, REG_SZ,
                                           0);
            const std::wstring folder = CommonPrograms() + (location.empty() ? L"" : L"\\" + location);
            MakeFolders(folder);
            WriteTextFile(folder + link, bench.linkBytes());
        };
        std::wstring location;
        for (int levels = 1; levels <= (quick ? 2 : 8); ++levels) {
            location += (levels > 1 ? L"\\W" : L"W") + std::to_wstring(levels);
            FloorPlaces walking = places;
            walking.startMenuFolder = location;
            const Floor walkFloor(walking, CountLine);
            AddSeriesRow(table, std::to_string(levels) + (levels == 1 ? " level" : " levels"),
                         PairedPerItem(hook, properties, postPayload, floor, walkFloor, levels, quick ? 3 : 41,
                                       [&] { prepare(L""); }, [&] { prepare(location); }));
        }
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kOptionParentKey);
        DeleteFileW((CommonPrograms() + link).c_str());
    }
    bench.Restore(Stage::kLaidOut);
}
