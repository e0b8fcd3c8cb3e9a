// Fault injection without seams: redirects one imported function of a module
// (its import address table entry) for the lifetime of the object.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

template <typename T>
struct NotDeduced {
    typedef T Type;
};

// Whether a patch's import must be there. A required one that is not fails
// the test at once: a renamed or dropped import would otherwise leave the
// test vacuous. Optional: where the module may or may not import it (then
// applied() tells).
enum class Import { kRequired, kOptional };

// Replaces one slot with an untyped pointer: the typed forms below are the
// ones to use, so that a replacement of the wrong signature does not compile.
class RawImportPatch {
public:
    // Replaces module's import of function from dll (names compare without
    // case for the DLL). applied() tells whether the import was found.
    RawImportPatch(HMODULE module, const char* dll, const char* function, const void* replacement,
                   Import import = Import::kRequired);
    ~RawImportPatch();
    RawImportPatch(const RawImportPatch&) = delete;
    RawImportPatch& operator=(const RawImportPatch&) = delete;

    bool applied() const { return slot_ != nullptr; }
    void* original() const { return original_; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

// Typed by the API it replaces, named explicitly:
//   ImportPatch<decltype(Sleep)> sleep(module, "kernel32.dll", "Sleep", &RecordSleep);
template <typename Function>
class ImportPatch {
public:
    ImportPatch(HMODULE module, const char* dll, const char* function,
                typename NotDeduced<Function>::Type* replacement, Import import = Import::kRequired)
        : patch_(module, dll, function, reinterpret_cast<const void*>(replacement), import) {}

    bool applied() const { return patch_.applied(); }

    // The function the import pointed at before, to pass calls on.
    Function* original() const { return reinterpret_cast<Function*>(patch_.original()); }

private:
    RawImportPatch patch_;
};

// A replacement for a table of patches that are made by name at run time,
// checked against the API's own type where the table is written:
//   Replacement("malloc", malloc, &NoMalloc)
struct ImportReplacement {
    const char* name;
    const void* function;
};
template <typename Function>
ImportReplacement Replacement(const char* name, Function*,
                              typename NotDeduced<Function>::Type* replacement) {
    return ImportReplacement{name, reinterpret_cast<const void*>(replacement)};
}

// One function a module imports by name.
struct ImportedFunction {
    std::string dll;  // as the import table spells it, e.g. "KERNEL32.dll"
    std::string name;
};

// Every function module imports by name, read from its import table.
std::vector<ImportedFunction> ImportedFunctions(HMODULE module);
