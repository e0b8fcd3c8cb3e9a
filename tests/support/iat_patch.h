// Fault injection without seams: redirects one imported function of a module
// (its import address table entry) for the lifetime of the object.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class ImportPatch {
public:
    // Replaces module's import of function from dll (names compare without
    // case for the DLL). applied() tells whether the import was found.
    ImportPatch(HMODULE module, const char* dll, const char* function, const void* replacement);
    template <typename Function>
    ImportPatch(HMODULE module, const char* dll, const char* function, Function* replacement)
        : ImportPatch(module, dll, function, reinterpret_cast<const void*>(replacement)) {}
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool applied() const { return slot_ != nullptr; }

    // The function the import pointed at before, to pass calls on.
    template <typename Function>
    Function original() const {
        return reinterpret_cast<Function>(original_);
    }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

// True when module imports function from dll.
bool ModuleImports(HMODULE module, const char* dll, const char* function);

// One function a module imports by name.
struct ImportedFunction {
    std::string dll;  // as the import table spells it, e.g. "KERNEL32.dll"
    std::string name;
};

// Every function module imports by name, read from its import table.
std::vector<ImportedFunction> ImportedFunctions(HMODULE module);
