#include "bench/figures.h"

#include <stdio.h>

#include <algorithm>

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

std::string Format(const char* unit, double scale, const Figures& figures) {
    char text[96];
    snprintf(text, sizeof(text), "%.3f %s (%.3f-%.3f)", figures.median * scale, unit, figures.low * scale,
             figures.high * scale);
    return text;
}

}  // namespace

Figures Summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    Figures figures;
    figures.median = Percentile(samples, 0.5);
    figures.low = Percentile(samples, 0.1);
    figures.high = Percentile(samples, 0.9);
    return figures;
}

std::string Duration(const Figures& figures) {
    return figures.median >= 1 ? Format("ms", 1, figures) : Format("us", 1000, figures);
}

std::string Amount(double milliseconds) {
    char text[32];
    if (milliseconds >= 1) {
        snprintf(text, sizeof(text), "%.3f ms", milliseconds);
    } else {
        snprintf(text, sizeof(text), "%.3f us", milliseconds * 1000);
    }
    return text;
}

std::string Verdict(bool met) {
    return met ? "ok" : "MISSED";
}

void Table::Section(const std::string& title) {
    Row row;
    row.what = title;
    rows_.push_back(row);
}

void Table::Add(const Row& row) {
    rows_.push_back(row);
    if (row.verdict.find("FLOOR DIFFERS") != std::string::npos) {
        floorDiffers_ = true;
    }
    // Rows appear as they are measured, so a long run shows its progress.
    fprintf(stderr, "  %s: %s / %s\n", row.what.c_str(), row.hook.c_str(), row.floor.c_str());
}

void Table::Print() const {
    size_t what = 4;
    size_t hook = 4;
    size_t floor = 5;
    for (const Row& row : rows_) {
        if (!row.hook.empty()) {
            what = std::max(what, row.what.size());
            hook = std::max(hook, row.hook.size());
            floor = std::max(floor, row.floor.size());
        }
    }
    const int w = static_cast<int>(what);
    const int h = static_cast<int>(hook);
    const int f = static_cast<int>(floor);
    printf("%-*s  %-*s  %-*s  %7s  %s\n", w, "what", h, "hook", f, "floor", "ratio", "target: verdict");
    for (const Row& row : rows_) {
        if (row.hook.empty()) {
            printf("\n%s\n", row.what.c_str());
            continue;
        }
        printf("%-*s  %-*s  %-*s  %7.3f  %s: %s\n", w, row.what.c_str(), h, row.hook.c_str(), f,
               row.floor.c_str(), row.ratio, row.target.c_str(), row.verdict.c_str());
    }
}
