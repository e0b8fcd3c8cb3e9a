// Stand-ins for every function the hook DLL imports, for the proof runs.
// Each counts its calls, can fail a chosen call the way the function
// documents its failure, and tells the leak books what it acquired and
// released. Which stand-in replaces which import is read from the DLL's own
// import table, so an import without a stand-in fails the run.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The stand-ins' templates name functions whose declarations carry
// attributes (nothrow, malloc) that a template argument drops.
#pragma GCC diagnostic ignored "-Wignored-attributes"

enum class FaultKind {
    kFails,      // has a documented failure: the runs fail it
    kReleases,   // a release: failing it still releases, then reports failure
    kCannotFail, // no failure to report (void, pure computation, CRT internals)
    kData,       // a data import: left alone
};

struct StandIn {
    std::string name;
    FaultKind kind;
    const void* function;  // replaces the import; null for data
    int id;                // the stand-in's counters
    bool changes = false;  // changes the machine: the kill matrix ends the process before it
    bool raced = false;    // the race may swap a folder for a link before it
};

// The leak books of a proof run: what the hook acquired through its imports
// and what it released again, as the stand-ins report it.
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
// A call the hook must never make (a null access list, a list that the
// platform pushes down a tree): a line in the books.
void Forbidden(const std::string& what);
// Closes the books: one line for everything still held, everything released
// that was never acquired and every forbidden call. Empty when they balance.
std::vector<std::string> CloseBooks();

// Every import the DLL may have, by name.
const std::vector<StandIn>& AllStandIns();
const StandIn* FindStandIn(const std::string& name);

// Which call of which stand-in fails: none, every call, or the one numbered
// call (1 for the first).
struct FaultPlan {
    int id = -1;
    unsigned call = 0;  // 0: every call
};
void SetFaultPlan(const FaultPlan& plan);

// Calls of each stand-in since the last ResetCalls.
void ResetCalls();
unsigned CallsOf(int id);

// Sets what the stand-in with id passes its calls on to: the import's
// original, once the stand-in replaces it.
bool SetOriginal(int id, void* original);

// Calls before() before each call of a stand-in with a result that the table
// marks so (&StandIn::changes, &StandIn::raced); null: nothing.
void CallBeforeEach(bool StandIn::*mark, void (*before)());

// Replaces what the stand-in of name passes its calls on to (the harness
// short-circuits pauses and child processes this way). Returns false when
// there is no such stand-in.
bool PassCallsTo(const std::string& name, const void* function);
