// Scratch folders and files for tests, and registry keys removed afterwards.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A fresh folder for one test on the sandbox drive S: (mapped by the prefix
// set-up to a scratch folder; the temporary folder when S: is missing).
// Removed with everything in it when the object ends.
class SandboxFolder {
public:
    SandboxFolder();
    ~SandboxFolder();
    SandboxFolder(const SandboxFolder&) = delete;
    SandboxFolder& operator=(const SandboxFolder&) = delete;

    const std::wstring& path() const { return path_; }
    // path() followed by a backslash and relative.
    std::wstring operator/(const std::wstring& relative) const;

private:
    std::wstring path_;
};

// Moves everything in a folder aside (into a sibling folder) for the object's
// lifetime and back when it ends, so a test can see the folder empty.
class ScopedEmptyFolder {
public:
    explicit ScopedEmptyFolder(const std::wstring& folder);
    ~ScopedEmptyFolder();
    ScopedEmptyFolder(const ScopedEmptyFolder&) = delete;
    ScopedEmptyFolder& operator=(const ScopedEmptyFolder&) = delete;

private:
    std::wstring folder_;
    std::wstring aside_;
};

// Calls visit with each entry of folder but "." and "..".
void ForEachEntry(const std::wstring& folder, const std::function<void(const WIN32_FIND_DATAW&)>& visit);

bool PathExists(const std::wstring& path);
// Creates the folder and its missing parents.
bool MakeFolders(const std::wstring& path);
// Writes content to path, creating missing parent folders.
bool WriteTextFile(const std::wstring& path, const std::string& content);
// Removes a file or a folder tree, read-only entries included; never goes
// through a link (the link and the folders that hold it stay).
void RemoveTree(const std::wstring& path);

// A registry key (with its sub-keys) that a test creates: removed when the
// object is made and again when it ends. view is 0, KEY_WOW64_64KEY or
// KEY_WOW64_32KEY.
class ScopedRegistryKey {
public:
    ScopedRegistryKey(HKEY root, const std::wstring& subKey, REGSAM view = 0);
    ~ScopedRegistryKey();
    ScopedRegistryKey(const ScopedRegistryKey&) = delete;
    ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;

    // Creates the key when missing and sets a text value (REG_SZ unless told).
    bool SetString(const std::wstring& name, const std::wstring& value, DWORD type = REG_SZ) const;
    bool Create() const;
    // Creates root\subKey when missing and sets a text value there.
    static bool SetStringIn(HKEY root, const std::wstring& subKey, const std::wstring& name,
                            const std::wstring& value, DWORD type, REGSAM view);
    bool Exists() const;

private:
    HKEY root_;
    std::wstring subKey_;
    REGSAM view_;
};

// Makes an existing key readable but not writable for everyone while the
// object lives, and puts its own access list back when it ends.
class ScopedReadOnlyKey {
public:
    ScopedReadOnlyKey(HKEY root, const std::wstring& subKey);
    ~ScopedReadOnlyKey();
    ScopedReadOnlyKey(const ScopedReadOnlyKey&) = delete;
    ScopedReadOnlyKey& operator=(const ScopedReadOnlyKey&) = delete;

    bool applied() const { return applied_; }

private:
    HKEY root_;
    std::wstring subKey_;
    std::vector<BYTE> original_;  // the key's security descriptor, self-relative
    bool applied_ = false;
};

// Creates a key (and missing parents); true when it exists afterwards.
bool CreateRegistryKey(HKEY root, const std::wstring& subKey, REGSAM view = 0);

bool RegistryKeyExists(HKEY root, const std::wstring& subKey, REGSAM view = 0);

// Deletes subKey of root with all its sub-keys; a missing key is no error.
void DeleteRegistryTree(HKEY root, const std::wstring& subKey, REGSAM view = 0);
