// Captures the hook's log lines, each with its level, in order.
#pragma once

#include <stdint.h>

#include <ostream>
#include <string>
#include <vector>

#include "hook/context.h"

struct LogLine {
    int32_t level;
    std::string text;

    bool operator==(const LogLine& other) const {
        return level == other.level && text == other.text;
    }
};

inline std::ostream& operator<<(std::ostream& out, const LogLine& line) {
    return out << "[" << line.level << "] \"" << line.text << "\"";
}

// A level-4 line, the level of every progress line.
inline LogLine L4(const std::string& text) {
    return LogLine{4, text};
}

// The lines from the first one reading first through the next one reading
// last: one action's lines within a phase. Empty when absent.
std::vector<LogLine> Between(const std::vector<LogLine>& lines, const std::string& first,
                             const std::string& last);

// While an object lives, Callback appends to it. One capture at a time.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    static void __cdecl Callback(const char* text, int32_t level);

    const std::vector<LogLine>& lines() const { return lines_; }
    std::vector<LogLine> Between(const std::string& first, const std::string& last) const {
        return ::Between(lines_, first, last);
    }
    void clear() { lines_.clear(); }

private:
    std::vector<LogLine> lines_;
};

// A call context for unit tests that call the library's functions directly,
// its lines captured.
inline HookContext TestContext(const PropertyMap* map = nullptr,
                               LogCallback callback = LogCapture::Callback) {
    return HookContext{map, PostPayload, Install, 0, callback};
}
