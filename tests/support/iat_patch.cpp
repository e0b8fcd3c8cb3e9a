#include "tests/support/iat_patch.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

template <typename T>
T* AtRva(HMODULE module, DWORD rva) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

const IMAGE_IMPORT_DESCRIPTOR* FirstDescriptor(HMODULE module) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = AtRva<const IMAGE_NT_HEADERS>(module, dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    return directory.VirtualAddress == 0
               ? nullptr
               : AtRva<const IMAGE_IMPORT_DESCRIPTOR>(module, directory.VirtualAddress);
}

// Calls visit(dll, function, slot) for each import by name, until it
// returns true; returns that slot, or null.
template <typename Visit>
void** VisitNamedImports(HMODULE module, Visit visit) {
    for (const auto* descriptor = FirstDescriptor(module); descriptor != nullptr && descriptor->Name != 0;
         ++descriptor) {
        if (descriptor->OriginalFirstThunk == 0) {
            continue;
        }
        const char* dll = AtRva<const char>(module, descriptor->Name);
        auto* slots = AtRva<IMAGE_THUNK_DATA>(module, descriptor->FirstThunk);
        const auto* names = AtRva<IMAGE_THUNK_DATA>(module, descriptor->OriginalFirstThunk);
        for (size_t i = 0; names[i].u1.AddressOfData != 0; ++i) {
            if (IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) {
                continue;
            }
            const auto* byName = AtRva<const IMAGE_IMPORT_BY_NAME>(
                module, static_cast<DWORD>(names[i].u1.AddressOfData));
            void** slot = reinterpret_cast<void**>(&slots[i].u1.Function);
            if (visit(dll, reinterpret_cast<const char*>(byName->Name), slot)) {
                return slot;
            }
        }
    }
    return nullptr;
}

// The import address table slot through which module calls function.
void** FindImportSlot(HMODULE module, const char* function) {
    return VisitNamedImports(module,
                             [&](const char*, const char* name, void**) { return strcmp(name, function) == 0; });
}

void WriteSlot(void** slot, void* value) {
    DWORD oldProtection = 0;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &oldProtection);
    *slot = value;
    VirtualProtect(slot, sizeof(void*), oldProtection, &oldProtection);
    FlushInstructionCache(GetCurrentProcess(), slot, sizeof(void*));
}

}  // namespace

RawImportPatch::RawImportPatch(HMODULE module, const char* function, const void* replacement, Import import) {
    slot_ = FindImportSlot(module, function);
    if (slot_ != nullptr) {
        original_ = *slot_;
        WriteSlot(slot_, const_cast<void*>(replacement));
    } else if (import == Import::kRequired) {
        ADD_FAILURE() << "the module imports no " << function << ": nothing was patched";
    }
}

RawImportPatch::~RawImportPatch() {
    if (slot_ != nullptr) {
        WriteSlot(slot_, original_);
    }
}

void iat_patch::AllTrampolinesTaken() {
    ADD_FAILURE() << "more live lambda patches of one signature than " << kTrampolines;
}

void* ImportPatches::Add(const ImportReplacement& replacement, Import import) {
    if (replacement.name == nullptr) {
        return nullptr;
    }
    patches_.emplace_back(new RawImportPatch(module_, replacement.name, replacement.function, import));
    return patches_.back()->original();
}

std::vector<ImportedFunction> ImportedFunctions(HMODULE module) {
    std::vector<ImportedFunction> functions;
    VisitNamedImports(module, [&](const char* dll, const char* name, void**) {
        functions.push_back({dll, name});
        return false;
    });
    return functions;
}
