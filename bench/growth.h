// How a growth series is measured (series.cpp holds the series). The hook's
// cost per item at a size is its phase's time at that size less its time
// without the items, over the count; the floor's is the time of the platform
// calls the items need, made directly, over the count. The hook's cost per
// item at the largest size may be at most 1.5 times that at the smallest:
// that row decides.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bench/bench.h"

// One growth series: its items, how they are laid out and its floor.
struct Series {
    const char* name;  // for --series
    std::string title;
    const char* unit;
    InstallMode mode;
    EntryMode entry;
    int base;         // the items of the runs a size is measured against
    std::vector<int> sizes;
    // Lays out count items for the next run of the hook, untimed.
    std::function<void(int count)> layOut;
    // The floor: the platform calls for count items laid out, timed.
    std::function<void(int count)> floor;
    // What the floor needs ready that the hook does outside its items (the
    // shortcut before the walk's levels, say), untimed; may be empty.
    std::function<void(int count)> beforeFloor;
    // Whether a run uses the items up (each run then needs its own layout,
    // and is paired with a run at base just before it) or leaves them.
    bool usesUp;
};

// Measures series, repetitions runs at each size, into table, as growth.cpp
// tells; again: its second measurement, after a first that was not linear.
void MeasureGrowth(const BenchHook& hook, const PropertyMap* properties, const Series& series, int repetitions,
                   Table* table, bool again = false);
