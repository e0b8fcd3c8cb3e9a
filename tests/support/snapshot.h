// What a folder tree or registry keys hold, to tell whether anything in them
// changed.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Every file and folder at and below path (a folder or a single file), by
// its path relative to path, with what can change about it: a file's size
// and attributes, a folder's attributes and (unless told otherwise) whether
// Everyone has full access. Links are listed, never followed.
typedef std::map<std::wstring, std::string> FileSnapshot;
enum class FolderAccess { kRecorded, kIgnored };
FileSnapshot SnapshotFiles(const std::wstring& path, FolderAccess access = FolderAccess::kRecorded);

// How an entry of a snapshot (of files, or of the registry) changed.
struct Change {
    const char* how;  // "removed", "changed" or "added"
    std::wstring what;
};
std::vector<Change> Changes(const std::map<std::wstring, std::string>& before,
                            const std::map<std::wstring, std::string>& after);

// The entries in which two snapshots differ, one per line, for a message.
std::string Difference(const FileSnapshot& before, const FileSnapshot& after);

// Every value and sub-key below root\subKey in the given view (0,
// KEY_WOW64_64KEY or KEY_WOW64_32KEY), by a name that says where it is
// ("<label>\sub\key" for a key, "<label>\sub\key=value" for a value), with
// its type and data for values. Nothing when the key is missing.
typedef std::map<std::wstring, std::string> RegistrySnapshot;
void SnapshotRegistry(HKEY root, const std::wstring& subKey, REGSAM view, const std::wstring& label,
                      RegistrySnapshot* snapshot);
