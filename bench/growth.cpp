#include "bench/growth.h"

#include <stdio.h>

#include <algorithm>

namespace {

const double kFloorRatio = 1.25;
const double kLinearLimit = 1.5;
const double kMostSpread = 0.05;

// The runs of one size of a series.
struct SizeSamples {
    int count;
    std::vector<double> with, without, perItem, floor, ratios;
};

// Runs the hook and the floor repetitions times more at samples' size;
// without is base's runs where the items are not used up.
void Sample(const BenchHook& hook, const PropertyMap* properties, const Series& series,
            const std::vector<double>& base, int repetitions, SizeSamples* samples) {
    auto run = [&] { return TimeMilliseconds([&] { hook.Run(properties, series.mode, series.entry); }); };
    const int count = samples->count;
    series.layOut(count);
    for (int r = 0; r < repetitions; ++r) {
        if (series.usesUp) {
            series.layOut(series.base);
            samples->without.push_back(run());
            series.layOut(count);
        }
        samples->with.push_back(run());
        const double without = series.usesUp ? samples->without.back() : Summarise(base).median;
        samples->perItem.push_back((samples->with.back() - without) / (count - series.base));
        if (series.usesUp) {
            series.layOut(count);
        }
        if (series.beforeFloor) {
            series.beforeFloor(count);
        }
        samples->floor.push_back(TimeMilliseconds([&] { series.floor(count); }) / count);
        samples->ratios.push_back(samples->perItem.back() / samples->floor.back());
    }
    if (!series.usesUp) {
        samples->without = base;
    }
}

// How far samples spread around their median: the 10th to the 90th percentile.
double Spread(const std::vector<double>& samples) {
    const Figures figures = Summarise(samples);
    return (figures.high - figures.low) / figures.median;
}

}  // namespace

// Per item at each size, the hook against the floor (medians of the runs),
// and whether the hook's cost per item stays linear. A series whose figures
// spread over 5 % at a size is measured once more at every size, and its
// figures are those of both measurements. Linearity is judged on the fastest
// runs, which only the work itself makes slow (whatever else the machine does
// only adds time), and against the platform's own growth (a deeper path costs
// the platform more, the hook's part or not): a series stops being linear
// when the hook's cost per item at the largest size is over 1.5 times that at
// the smallest and, taken run for run against the floor's measured beside it,
// also grows over 1.5 times. A series that misses is measured once more, and
// fails when it misses again.
void MeasureGrowth(const BenchHook& hook, const PropertyMap* properties, const Series& series, int repetitions,
                   Table* table, bool again) {
    auto fastest = [](const std::vector<double>& samples) { return *std::min_element(samples.begin(), samples.end()); };
    std::vector<double> base;
    series.layOut(series.base);
    for (int r = 0; r < repetitions && !series.usesUp; ++r) {
        base.push_back(TimeMilliseconds([&] { hook.Run(properties, series.mode, series.entry); }));
    }
    std::vector<SizeSamples> sizes;
    for (int count : series.sizes) {
        sizes.push_back(SizeSamples{count, {}, {}, {}, {}, {}});
        Sample(hook, properties, series, base, repetitions, &sizes.back());
    }
    const bool spread = std::any_of(sizes.begin(), sizes.end(), [](const SizeSamples& size) {
        return Spread(size.perItem) > kMostSpread || Spread(size.floor) > kMostSpread;
    });
    if (spread) {
        for (SizeSamples& size : sizes) {
            Sample(hook, properties, series, base, repetitions, &size);
        }
    }
    series.layOut(0);
    std::vector<Row> rows;
    std::vector<double> hookFastest;
    std::vector<double> toFloor;  // per size: the median of the hook's cost over the floor's, run for run
    for (const SizeSamples& size : sizes) {
        const Figures hookFigures = Summarise(size.perItem);
        const Figures floorFigures = Summarise(size.floor);
        const double ratio = hookFigures.median / floorFigures.median;
        rows.push_back(Row{std::to_string(size.count) + " " + series.unit + "s", Duration(hookFigures),
                           Duration(floorFigures), ratio, "<= 1.25x", ratio <= kFloorRatio, false});
        hookFastest.push_back((fastest(size.with) - fastest(size.without)) / (size.count - series.base));
        toFloor.push_back(Summarise(size.ratios).median);
    }
    const double growth = hookFastest.back() / hookFastest.front();
    const double floorGrowth = toFloor.back() / toFloor.front();
    const bool linear = growth <= kLinearLimit || floorGrowth <= kLinearLimit;
    if (!linear && !again) {
        MeasureGrowth(hook, properties, series, repetitions, table, true);
        return;
    }
    table->Section(series.title + (spread ? " (measured again: a spread over 5 %)" : "") +
                   (again ? " (measured twice)" : ""));
    for (const Row& row : rows) {
        table->Add(row);
    }
    char what[128];
    snprintf(what, sizeof(what), "linear: per %s at %d against at %d (to the floor %.2fx)", series.unit,
             series.sizes.back(), series.sizes.front(), floorGrowth);
    const double largest = hookFastest.back();
    const double smallest = hookFastest.front();
    table->Add(Row{what, Duration({largest, largest, largest}), Duration({smallest, smallest, smallest}), growth,
                   "<= 1.5x", linear, true});
}
