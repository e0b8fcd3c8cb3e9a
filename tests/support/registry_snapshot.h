// What registry keys hold, to tell whether anything in them changed.
#pragma once

#include <windows.h>

#include <map>
#include <string>

// Every value and sub-key below root\subKey in the given view (0,
// KEY_WOW64_64KEY or KEY_WOW64_32KEY), by a name that says where it is
// ("<label>\sub\key" for a key, "<label>\sub\key=value" for a value), with
// its type and data for values. Nothing when the key is missing.
typedef std::map<std::wstring, std::string> RegistrySnapshot;
void SnapshotRegistry(HKEY root, const std::wstring& subKey, REGSAM view, const std::wstring& label,
                      RegistrySnapshot* snapshot);
