// The floor of each phase: the platform calls that its actions must make on
// the benchmark's machine (the same opens, reads, closes, shell-folder
// lookups, file probes, deletions, conversions and log lines, in the same
// order), made directly and nothing else. Paths are worked out beforehand;
// the pauses and the child processes go to the same short-circuits as the
// hook's.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "hook/context.h"
#include "tests/support/phases.h"

// Where the floor works: the machine as the benchmark lays it out.
struct FloorPlaces {
    std::string installDirUtf8;   // the host's INSTALLDIR
    std::wstring app;             // the application's folder below it
    std::wstring organizer;       // the companion organizer's folder
    std::wstring startMenuFolder; // the custom Start-menu location, relative; empty: none
};

class Floor {
public:
    Floor(const FloorPlaces& places, LogCallback callback);

    // One phase's calls, on the state the hook's phase starts from.
    void Run(const PhaseFacts& phase) const;

private:
    void Line(const char* text) const;
    void WideLine(const wchar_t* text) const;
    void FormattedLine(const wchar_t* format, const wchar_t* text) const;
    void InstallDir() const;

    void PreSystemCheck() const;
    void Filters(const std::vector<std::wstring>& commands, const std::vector<const wchar_t*>& entries,
                 const char* begin, const char* end) const;
    void CreateShortcuts() const;
    void CreateLink(const std::wstring& link) const;
    void DeleteShortcuts() const;
    void DeletePinnedShortcut() const;
    void DeletePinnedLink(const wchar_t* folder) const;
    void DeleteOptionKey() const;
    void OrganizerCleanup() const;
    void OemFiles() const;
    void PruneFolder(wchar_t* folder, size_t length) const;
    void StopAnalyzer() const;
    void RunChild(const std::wstring& command) const;
    void DeleteCatalog() const;
    void FixPermission() const;

    FloorPlaces places_;
    LogCallback callback_;
    std::wstring target_;
    std::wstring desktopLink_;
    std::wstring programsLink_;
    std::vector<std::wstring> startMenuFolders_;  // every prefix of the custom folder's path
    size_t customLevels_ = 0;                       // the last of them below the programs folder
    std::vector<std::wstring> registerCommands_;
    std::vector<std::wstring> unregisterCommands_;
    std::wstring analyzerCommand_;
    std::vector<std::wstring> oemFiles_;
    std::vector<std::wstring> oemFolders_;
    std::vector<std::wstring> organizerFiles_;
    std::wstring catalog_;
    std::wstring dataFolder_;
};
