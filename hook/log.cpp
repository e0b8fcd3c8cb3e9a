#include "hook/log.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>

#include "base/delete_below.h"
#include "base/errors.h"

namespace {

// UTF-8 length of the code point that starts at text[i], and the number of
// UTF-16 units it takes. A lone surrogate becomes U+FFFD (three bytes), as
// the platform's converter does.
void MeasureCodePoint(const wchar_t* text, size_t i, size_t* bytes, size_t* units) {
    const unsigned c = text[i];
    *units = 1;
    if (c < 0x80) {
        *bytes = 1;
    } else if (c < 0x800) {
        *bytes = 2;
    } else if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        *bytes = 4;
        *units = 2;
    } else {
        *bytes = 3;
    }
}

// The number of leading UTF-16 units of text whose UTF-8 form fits maxBytes,
// never splitting a character.
int UnitsThatFit(const wchar_t* text, size_t maxBytes) {
    size_t used = 0;
    size_t i = 0;
    while (text[i] != L'\0') {
        size_t bytes = 0;
        size_t units = 0;
        MeasureCodePoint(text, i, &bytes, &units);
        if (used + bytes > maxBytes) {
            break;
        }
        used += bytes;
        i += units;
    }
    return static_cast<int>(i);
}

}  // namespace

void LogMessage(const HookContext* context, const char* text, int32_t level) {
    if (context->logCallback != nullptr) {
        context->logCallback(text, level);
    }
}

void LogWideMessage(const HookContext* context, const wchar_t* text) {
    if (text == nullptr || context->logCallback == nullptr) {
        return;
    }
    char utf8[kLogUtf8Bytes] = {};
    const int units = UnitsThatFit(text, kLogUtf8Bytes - 1);
    int written = 0;
    if (units > 0) {
        written = WideCharToMultiByte(CP_UTF8, 0, text, units, utf8,
                                      static_cast<int>(kLogUtf8Bytes - 1), nullptr, nullptr);
    }
    utf8[written > 0 ? written : 0] = '\0';
    context->logCallback(utf8, kLogLevelProgress);
}

namespace {

void FormatInto(wchar_t (&buffer)[kLogLineChars], const wchar_t* format, va_list args) {
    buffer[0] = L'\0';
    // The system C runtime's formatter: it never calls the invalid-parameter
    // handler (which would end the host), and it keeps the C++ library's own
    // printf implementation out of the DLL. A line that does not fit is cut
    // and left unterminated: the last character is always set to the
    // terminator.
#ifdef _MSC_VER
    // Microsoft's headers mark it deprecated in favour of the _s form, whose
    // overflow would call the invalid-parameter handler and end the host.
#pragma warning(suppress : 4996)
#endif
    _vsnwprintf(buffer, kLogLineChars - 1, format, args);
    buffer[kLogLineChars - 1] = L'\0';
}

}  // namespace

void LogFormattedLine(const HookContext* context, const wchar_t* format, ...) {
    wchar_t line[kLogLineChars];
    va_list args;
    va_start(args, format);
    FormatInto(line, format, args);
    va_end(args);
    LogWideMessage(context, line);
}

void LogPathTooLong(const HookContext* context) {
    LogMessage(context, "VLX: Path too long. Skipped.", kLogLevelProgress);
}

void LogLinkSkipped(const HookContext* context) {
    LogMessage(context, "VLX: Link in path. Skipped.", kLogLevelProgress);
}

void LogWalkBound(const HookContext* context) {
    LogMessage(context, "VLX: Folder tree too deep or too large. The rest is left as it is.", kLogLevelProgress);
}

void LogDeletion(const HookContext* context, uint32_t result, const LeftAside& leftAside) {
    if (IsRefusedAsLink(result)) {
        LogLinkSkipped(context);
    } else if (result != ERROR_SUCCESS && !NotThere(result)) {
        LogFormattedLine(context, L"VLX: Could not delete. Error %lu.", static_cast<unsigned long>(result));
        if (leftAside.name[0] != L'\0') {
            LogFormattedLine(context, L"VLX: File left as %ls. Error %lu.", leftAside.name,
                             static_cast<unsigned long>(leftAside.error));
        }
    }
}
