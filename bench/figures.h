// Samples, their median and spread, and the one table the benchmark prints.
#pragma once

#include <string>
#include <vector>

// The median of samples and the spread around it (10th and 90th percentile).
struct Figures {
    double median = 0;
    double low = 0;
    double high = 0;
};
Figures Summarise(std::vector<double> samples);

// One row: what was measured, the hook's figure and the floor's, their
// ratio, the target it is held against and whether it met it ("ok", or
// "MISSED" and what).
struct Row {
    std::string what;
    std::string hook;
    std::string floor;
    double ratio = 0;
    std::string target;
    std::string verdict;
};
// "ok" when met, else "MISSED".
std::string Verdict(bool met);

class Table {
public:
    void Section(const std::string& title);
    void Add(const Row& row);
    void Print() const;
    // True when a row says that a floor did not log or change what the hook
    // did: the yardstick itself is then wrong.
    bool floorDiffers() const { return floorDiffers_; }

private:
    bool floorDiffers_ = false;
    std::vector<Row> rows_;  // a row with an empty hook figure is a section title
};

// Figures in milliseconds as "1.234 ms (1.200-1.300)", or in microseconds
// below a millisecond: median (10th-90th percentile).
std::string Duration(const Figures& figures);
// One time in milliseconds the same way: "1.234 ms" or "0.012 us".
std::string Amount(double milliseconds);
