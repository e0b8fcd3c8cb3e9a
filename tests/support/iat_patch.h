// Fault injection without seams: redirects one imported function of a module
// (its import address table entry) for the lifetime of the object. The DLL
// it comes from is read from the module's own import table. Patches of one
// import nest: each may pass its calls on to the one made before it
// (original()), and they are undone in the reverse order, as scopes end.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
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

// Replaces one slot with an untyped pointer: the typed form below is the one
// to use, so that a replacement of the wrong signature does not compile.
class RawImportPatch {
public:
    // Replaces module's import of function (by name, from whichever DLL).
    RawImportPatch(HMODULE module, const char* function, const void* replacement,
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

namespace iat_patch {

// A lambda does not convert to a pointer of the API's calling convention:
// it is called through one of a few trampolines of that convention per
// signature, each bound to one live patch.
const int kTrampolines = 8;
template <typename Function>
struct Trampolines;
#define VLX_TRAMPOLINES(CONVENTION)                                                                     \
    template <typename Result, typename... Args>                                                        \
    struct Trampolines<Result CONVENTION(Args...)> {                                                    \
        typedef std::function<Result(Args...)> Body;                                                    \
        static inline Body* bodies[kTrampolines] = {};                                                  \
        template <int N>                                                                                \
        static Result CONVENTION Call(Args... args) {                                                   \
            return (*bodies[N])(args...);                                                               \
        }                                                                                               \
        static const void* Entry(int n) {                                                               \
            static const void* const entries[kTrampolines] = {                                          \
                reinterpret_cast<const void*>(&Call<0>), reinterpret_cast<const void*>(&Call<1>),      \
                reinterpret_cast<const void*>(&Call<2>), reinterpret_cast<const void*>(&Call<3>),      \
                reinterpret_cast<const void*>(&Call<4>), reinterpret_cast<const void*>(&Call<5>),      \
                reinterpret_cast<const void*>(&Call<6>), reinterpret_cast<const void*>(&Call<7>)};     \
            return entries[n];                                                                          \
        }                                                                                               \
    };
VLX_TRAMPOLINES(__stdcall)
VLX_TRAMPOLINES(__cdecl)
#undef VLX_TRAMPOLINES

// Fails the test: every trampoline of a signature is bound.
void AllTrampolinesTaken();

// Binds body to a free trampoline and returns its entry; fails the test and
// returns null when all are taken. Unbind(entry) frees it.
template <typename Function, typename Body>
const void* Bind(Body* body) {
    typedef Trampolines<Function> Pool;
    for (int n = 0; n < kTrampolines; ++n) {
        if (Pool::bodies[n] == nullptr) {
            Pool::bodies[n] = body;
            return Pool::Entry(n);
        }
    }
    AllTrampolinesTaken();
    return nullptr;
}
template <typename Function>
void Unbind(const void* entry) {
    typedef Trampolines<Function> Pool;
    for (int n = 0; n < kTrampolines; ++n) {
        if (Pool::Entry(n) == entry) {
            Pool::bodies[n] = nullptr;
        }
    }
}

}  // namespace iat_patch

// Typed by the API it replaces:
//   ImportPatch<decltype(Sleep)> sleep(module, "Sleep", &RecordSleep);
// or with a lambda, which may capture and pass calls on:
//   ImportPatch<decltype(Sleep)> sleep(module, "Sleep", [&](DWORD ms) { sleep.original()(ms / 2); });
template <typename Function>
class ImportPatch {
public:
    ImportPatch(HMODULE module, const char* function, typename NotDeduced<Function>::Type* replacement,
                Import import = Import::kRequired)
        : patch_(new RawImportPatch(module, function, reinterpret_cast<const void*>(replacement), import)) {}
    template <typename Lambda>
    ImportPatch(HMODULE module, const char* function, Lambda lambda, Import import = Import::kRequired)
        : body_(new typename iat_patch::Trampolines<Function>::Body(std::move(lambda))),
          entry_(iat_patch::Bind<Function>(body_.get())),
          patch_(entry_ != nullptr ? new RawImportPatch(module, function, entry_, import) : nullptr) {}
    ~ImportPatch() {
        patch_.reset();
        if (entry_ != nullptr) {
            iat_patch::Unbind<Function>(entry_);
        }
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool applied() const { return patch_ != nullptr && patch_->applied(); }

    // The function the import pointed at before, to pass calls on.
    Function* original() const {
        return patch_ != nullptr ? reinterpret_cast<Function*>(patch_->original()) : nullptr;
    }

private:
    std::unique_ptr<typename iat_patch::Trampolines<Function>::Body> body_;
    const void* entry_ = nullptr;
    std::unique_ptr<RawImportPatch> patch_;
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

// Patches made by name at run time, kept until it ends (undone in reverse).
class ImportPatches {
public:
    explicit ImportPatches(HMODULE module) : module_(module) {}
    ~ImportPatches() { clear(); }
    void clear() {
        while (!patches_.empty()) {
            patches_.pop_back();
        }
    }
    // Patches name (none for a null name); returns what it replaced.
    void* Add(const ImportReplacement& replacement, Import import = Import::kRequired);
    bool empty() const { return patches_.empty(); }

private:
    HMODULE module_;
    std::vector<std::unique_ptr<RawImportPatch>> patches_;
};

// One function a module imports by name.
struct ImportedFunction {
    std::string dll;  // as the import table spells it, e.g. "KERNEL32.dll"
    std::string name;
};

// Every function module imports by name, read from its import table.
std::vector<ImportedFunction> ImportedFunctions(HMODULE module);
