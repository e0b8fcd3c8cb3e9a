// The leak books of a proof run: what the hook acquired through its imports
// and what it released again, as the stand-ins report it.
#pragma once

#include <string>
#include <vector>

enum class Resource {
    kKey,           // RegOpenKeyExW, RegCreateKeyExW / RegCloseKey
    kSearch,        // FindFirstFileW / FindClose
    kHandle,        // CreateFileW, CreateProcessW's two / CloseHandle
    kLocalMemory,   // GetSecurityInfo's descriptor, SetEntriesInAclW's list / LocalFree
    kSid,           // AllocateAndInitializeSid / FreeSid
    kComApartment,  // CoInitialize / CoUninitialize
    kComObject,     // CoCreateInstance / the object's last Release
    kHeap,          // malloc, calloc, realloc / free, realloc
};

// Starts the books empty.
void OpenBooks();
void Acquire(Resource resource, const void* what);
void Release(Resource resource, const void* what);
// Closes the books: one line for everything still held and everything
// released that was never acquired. Empty when they balance.
std::vector<std::string> CloseBooks();
