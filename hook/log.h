// Log operations: every line goes to the host through its callback, unchanged.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "hook/context.h"

// A file left under another name by a deletion (base/delete_below.h).
struct LeftAside;

const size_t kLogLineChars = 1024;   // formatted wide line, terminator included
const size_t kLogUtf8Bytes = 260;    // UTF-8 line sent to the host, terminator included

// Sends text at level when the context has a callback; otherwise does nothing.
void LogMessage(const HookContext* context, const char* text, int32_t level);

// Sends a wide text as UTF-8 at level 4. A text whose UTF-8 form does not fit
// 260 bytes is cut at the last whole character that fits.
void LogWideMessage(const HookContext* context, const wchar_t* text);

// Formats a wide line into a buffer of 1024 characters ("%ls" takes a wide
// text, "%d" a signed 32-bit integer; a longer result is cut at 1023
// characters) and sends it with LogWideMessage.
void LogFormattedLine(const HookContext* context, const wchar_t* format, ...);

// The line for a path that would not fit its buffer: the item is skipped
// rather than cut into a different path.
void LogPathTooLong(const HookContext* context);

// The line for an item skipped because of a link on its way.
void LogLinkSkipped(const HookContext* context);

// "VLX: Folder tree too deep or too large. The rest is left as it is.": a
// walk stopped at its bound of levels or entries.
void LogWalkBound(const HookContext* context);

// The line of a file deletion that did not happen, from its result: the link
// line for a link on the way, a second name or another item at the name; "VLX: Could not delete. Error <n>." for any
// other failure but the file's absence, followed by the name the file was
// left under when it could not take its own back ("VLX: File left as <name>.
// Error <n>."); nothing when it was deleted or was not there.
void LogDeletion(const HookContext* context, uint32_t result, const LeftAside& leftAside);
