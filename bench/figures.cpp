#include <stdio.h>

#include <algorithm>

#include "bench/bench.h"
#include "tests/support/environment.h"
#include "tests/support/processes.h"

namespace {

double Percentile(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) {
        return 0;
    }
    const double at = fraction * static_cast<double>(sorted.size() - 1);
    const size_t below = static_cast<size_t>(at);
    const size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (sorted[above] - sorted[below]) * (at - static_cast<double>(below));
}

void __cdecl DropLine(const char*, int32_t) {}

}  // namespace

Figures Summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return Figures{Percentile(samples, 0.5), Percentile(samples, 0.1), Percentile(samples, 0.9)};
}

std::string Duration(const Figures& figures) {
    const bool ms = figures.median >= 1;
    const double scale = ms ? 1 : 1000;
    char text[96];
    snprintf(text, sizeof(text), "%.3f %s (%.3f-%.3f)", figures.median * scale, ms ? "ms" : "us",
             figures.low * scale, figures.high * scale);
    return text;
}

double TimeMilliseconds(const std::function<void()>& f) {
    const double start = NowMilliseconds();
    f();
    return NowMilliseconds() - start;
}

void Table::Add(const Row& row) {
    rows_.push_back(row);
    failed_ = failed_ || (row.decides && !row.met);
    fprintf(stderr, "  %s: %s / %s\n", row.what.c_str(), row.hook.c_str(), row.yardstick.c_str());  // progress
}

void Table::Print() const {
    size_t what = 4;
    size_t hook = 4;
    size_t yardstick = 9;
    for (const Row& row : rows_) {
        what = row.hook.empty() ? what : std::max(what, row.what.size());
        hook = std::max(hook, row.hook.size());
        yardstick = std::max(yardstick, row.yardstick.size());
    }
    const int w = static_cast<int>(what);
    const int h = static_cast<int>(hook);
    const int y = static_cast<int>(yardstick);
    printf("%-*s  %-*s  %-*s  %7s  %s\n", w, "what", h, "hook", y, "yardstick", "ratio", "target: verdict");
    for (const Row& row : rows_) {
        if (row.hook.empty()) {
            printf("\n%s\n", row.what.c_str());
        } else {
            printf("%-*s  %-*s  %-*s  %7.3f  %s: %s\n", w, row.what.c_str(), h, row.hook.c_str(), y,
                   row.yardstick.c_str(), row.ratio, row.target.c_str(),
                   row.met ? "ok" : (row.decides ? "FAILED" : "missed"));
        }
    }
}

BenchHook::BenchHook(const std::wstring& path, Waits waits) : dll_(path) {
    if (waits == kShortCircuited) {
        PrepareFinishedChild();
        sleep_.reset(new ImportPatch<decltype(Sleep)>(dll_.module(), "Sleep", &NoPause));
        start_.reset(new ImportPatch<decltype(CreateProcessW)>(dll_.module(), "CreateProcessW", &StartNothing));
    }
}

int32_t BenchHook::Run(const PropertyMap* properties, InstallMode mode, EntryMode entry) const {
    return dll_.Proc(properties, entry, mode, DropLine);
}
