// Access lists as Windows keeps them, for the data folder and every item
// below it, answered through the hook's import table (GetSecurityInfo,
// SetKernelObjectSecurity): Wine 8 keeps no file's list (every list it reads
// back is made from the item's mode bits, with no protected or inherited
// mark) and pushes nothing down a tree. Each list is kept by the item's path
// below the data folder ("" the folder itself): as a case sets it, otherwise
// as an item below the common application data folder inherits one, and as
// the hook writes it (passed on to Wine too, whose mode bits then follow).
#pragma once

#include <windows.h>
#include <aclapi.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/iat_patch.h"

class KeptLists {
public:
    // The write of the item failingWrite fails with failure.
    KeptLists(HMODULE module, std::map<std::wstring, std::wstring> lists, const std::wstring& failingWrite,
              DWORD failure);

    std::map<std::wstring, std::wstring> lists;   // SDDL, as they are now
    std::map<std::wstring, std::wstring> asRead;  // each item's list when the hook first read it
    std::vector<std::wstring> written;            // each item written, in order

private:
    ImportPatch<decltype(GetSecurityInfo)> read_;
    ImportPatch<decltype(SetKernelObjectSecurity)> write_;
};

// list (SDDL) with the entry an item inherits from the data folder's new one
// (flags "ID", "OICIID" for a folder) before its first inherited entry, as
// Windows orders what an item inherits.
std::wstring WithInheritedEntry(const std::wstring& list, const std::wstring& flags);
