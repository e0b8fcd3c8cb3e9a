#include "tests/support/log_capture.h"

namespace {

LogCapture* g_active = nullptr;

}  // namespace

LogCapture::LogCapture() {
    if (g_active != nullptr) {
        abort();  // two captures at once would split the lines
    }
    g_active = this;
}

LogCapture::~LogCapture() {
    g_active = nullptr;
}

void __cdecl LogCapture::Callback(const char* text, int32_t level) {
    if (g_active != nullptr) {
        g_active->lines_.push_back(LogLine{level, text});
    }
}

std::vector<LogLine> Between(const std::vector<LogLine>& lines, const std::string& first,
                             const std::string& last) {
    std::vector<LogLine> result;
    bool inside = false;
    for (const LogLine& line : lines) {
        if (!inside && line.text == first) {
            inside = true;
        }
        if (inside) {
            result.push_back(line);
            if (line.text == last && result.size() > 1) {
                return result;
            }
        }
    }
    return std::vector<LogLine>();
}
