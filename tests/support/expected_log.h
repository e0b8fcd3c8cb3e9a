// The hook's log as the tests expect it, spelled once: single lines, the
// blocks each action sends, and the frame lines every action always sends.
// Tests compare whole blocks, never lines by position.
#pragma once

#include <string>
#include <vector>

#include "tests/support/log_capture.h"

typedef std::vector<LogLine> Lines;

// Joins blocks into one expected log.
Lines operator+(Lines first, const Lines& second);
// Level-4 lines of the given texts.
Lines L4s(const std::vector<std::string>& texts);
// How many of lines read text.
size_t CountLines(const Lines& lines, const std::string& text);

extern const char kPathTooLongLine[];
extern const char kLinkSkippedLine[];
// A walk stopped at its bound of levels or entries.
extern const char kWalkBoundLine[];
extern const char kOpenOptionKeyLine[];
extern const char kRefusedLocationLine[];
extern const char kPinSetLine[];
extern const char kOrganizerMissingLine[];
// A file that could not be deleted, with the platform's error.
std::string CouldNotDeleteLine(unsigned long error);

// GetInstallDir with a host INSTALLDIR value, and without one.
Lines InstallDirLines(const std::string& installDir);
Lines NoInstallDirLines();

// The filter (un)registration of an install folder, entry lines included.
Lines RegisterFiltersLines(const std::string& installDir);
Lines UnregisterFiltersLines(const std::string& installDir);

// The OEM file removal of an install folder, entry and folder lines included;
// with the entry whose file could not be deleted, and why.
Lines OemFilesLines(const std::string& installDir, const wchar_t* notDeleted = nullptr, unsigned long error = 0);

// One shortcut written, and the location lines that go with it.
Lines LinkLines();
Lines LocationLines(const std::wstring& link, const std::wstring& target);

// The pin removal with its profile sweep, as every shortcut removal ends.
Lines PinRemovalLines();

// The option key removal: key present, and key missing.
Lines OptionKeyRemovalLines();
Lines MissingOptionKeyLines();

// The organizer cleanup on a machine without the organizer.
Lines NoOrganizerLines();

// The analyzer stop for an install folder and its analyzer's return code.
Lines AnalyzerLines(const std::string& installDir, const std::wstring& app, const std::string& code);

// The permission fix of a data folder that exists, with its return code.
Lines FixPermissionLines(const std::wstring& folder, int code);

// The install pre-check's lines on 64-bit Windows (the last one at level 2),
// and its first two on 32-bit Windows.
Lines RefusedOn64BitLines();
Lines AllowedOn32BitLines();

// The lines an action always sends, whatever its inputs: its first, and its
// last when it has one that every run ends with.
struct ActionFrame {
    const char* name;
    const char* first;
    const char* last;  // null: the action's last line depends on what it found
};

extern const ActionFrame kRegisterFiltersFrame;
extern const ActionFrame kUnregisterFiltersFrame;
extern const ActionFrame kCreateShortcutsFrame;
extern const ActionFrame kDeleteShortcutsFrame;
extern const ActionFrame kDeleteOptionKeyFrame;
extern const ActionFrame kOrganizerCleanupFrame;
extern const ActionFrame kStopAnalyzerFrame;
extern const ActionFrame kOemFilesFrame;
extern const ActionFrame kFixPermissionFrame;

// The lines of lines from the first one reading frame.first through the
// next one reading frame.last: one action's part of a phase log (for frames
// that have a last line).
Lines ActionLines(const Lines& lines, const ActionFrame& frame);
