// How the stand-ins are made: one stub per (signature, id) that counts its
// calls, fails the planned one as the function documents its failure, and
// tells the leak books what it saw; and the kinds of entry of the table.
// Used by the table (stand_in_table.cpp) alone.
#pragma once

#include <windows.h>

#include <tuple>
#include <type_traits>

#include "tests/proof/stand_ins.h"

namespace proof_stubs {

const int kMaxStandIns = 128;
// Calls of each stand-in, the plan of which call fails, and where each
// stand-in's original goes (filled when the table is made): in stand_ins.cpp.
extern unsigned g_calls[kMaxStandIns];
extern FaultPlan g_plan;
extern void** g_real[kMaxStandIns];

// Called before each call of a stand-in, with its id, when set.
extern void (*g_beforeCall)(int id);

inline bool ShouldFail(int id, unsigned call) {
    return g_plan.id == id && (g_plan.call == 0 || g_plan.call == call);
}

// What a stand-in does besides counting: the failure it reports, what it
// writes to out-parameters when it fails, and what it tells the books.
template <typename Result, typename... Args>
struct Behaviour {
    Result failure{};
    DWORD error = 0;
    bool releasesFirst = false;
    void (*observe)(Result, Args...) = nullptr;
    void (*onFail)(Args...) = nullptr;
};

// One stand-in per (signature, id), for both calling conventions. One
// without a result is counted and watched, never failed, and calls no
// before-call hook.
template <typename Signature, int Id>
struct Stub;

#define VLX_DEFINE_STUB(CONVENTION)                                                               \
    template <typename Result, typename... Args, int Id>                                          \
    struct Stub<Result CONVENTION(Args...), Id> {                                                 \
        typedef Behaviour<std::conditional_t<std::is_void_v<Result>, int, Result>, Args...> Rules; \
        static inline Result(CONVENTION* real)(Args...) = nullptr;                                \
        static inline Rules rules;                                                                \
        static inline void (*observe)(Args...) = nullptr; /* without a result */                  \
        static Result CONVENTION Call(Args... args) {                                             \
            if constexpr (std::is_void_v<Result>) {                                               \
                ++g_calls[Id];                                                                    \
                real(args...);                                                                    \
                const DWORD error = GetLastError();                                               \
                if (observe != nullptr) {                                                         \
                    observe(args...);                                                             \
                }                                                                                 \
                SetLastError(error);                                                              \
            } else {                                                                              \
                if (g_beforeCall != nullptr) {                                                    \
                    g_beforeCall(Id);                                                             \
                }                                                                                 \
                const bool fail = ShouldFail(Id, ++g_calls[Id]);                                  \
                if (!fail || rules.releasesFirst) {                                               \
                    const Result result = real(args...);                                          \
                    const DWORD error = GetLastError();                                           \
                    if (rules.observe != nullptr) {                                               \
                        rules.observe(result, args...);                                           \
                    }                                                                             \
                    SetLastError(error);                                                          \
                    if (!fail) {                                                                  \
                        return result;                                                            \
                    }                                                                             \
                }                                                                                 \
                if (rules.onFail != nullptr) {                                                    \
                    rules.onFail(args...);                                                        \
                }                                                                                 \
                SetLastError(rules.error);                                                        \
                return rules.failure;                                                             \
            }                                                                                     \
        }                                                                                         \
    };

VLX_DEFINE_STUB(__stdcall)
VLX_DEFINE_STUB(__cdecl)
#undef VLX_DEFINE_STUB

template <typename Signature, int Id>
StandIn Make(const char* name, FaultKind kind) {
    static_assert(Id < kMaxStandIns, "more stand-ins than counters");
    g_real[Id] = reinterpret_cast<void**>(&Stub<Signature, Id>::real);
    return StandIn{name, kind, reinterpret_cast<const void*>(&Stub<Signature, Id>::Call), Id};
}

// A function with a documented failure: result and last error.
template <typename Signature, int Id>
StandIn Fails(const char* name, decltype(Stub<Signature, Id>::rules.failure) failure, DWORD error,
              decltype(Stub<Signature, Id>::rules.observe) observe = nullptr,
              decltype(Stub<Signature, Id>::rules.onFail) onFail = nullptr) {
    auto& rules = Stub<Signature, Id>::rules;
    rules.failure = failure;
    rules.error = error;
    rules.observe = observe;
    rules.onFail = onFail;
    return Make<Signature, Id>(name, FaultKind::kFails);
}

// A release: failing it still releases, then reports the failure.
template <typename Signature, int Id>
StandIn Releases(const char* name, decltype(Stub<Signature, Id>::rules.failure) failure, DWORD error,
                 decltype(Stub<Signature, Id>::rules.observe) observe) {
    StandIn standIn = Fails<Signature, Id>(name, failure, error, observe);
    Stub<Signature, Id>::rules.releasesFirst = true;
    standIn.kind = FaultKind::kReleases;
    return standIn;
}

// A function without a failure to report (the CRT's own business, or a
// query that cannot fail): counted.
template <typename Signature, int Id>
StandIn Passes(const char* name) {
    return Make<Signature, Id>(name, FaultKind::kCannotFail);
}

// A function without a result: counted and, where the books need it, watched.
template <typename Signature, int Id>
StandIn Watches(const char* name, decltype(Stub<Signature, Id>::observe) observe) {
    Stub<Signature, Id>::observe = observe;
    return Make<Signature, Id>(name, FaultKind::kCannotFail);
}

// Left as it is: C variadic functions and CRT internals that only run while
// the DLL loads or unloads, or on a fatal error.
inline StandIn Untouched(const char* name) {
    return StandIn{name, FaultKind::kCannotFail, nullptr, -1};
}

inline StandIn Data(const char* name) {
    return StandIn{name, FaultKind::kData, nullptr, -1};
}

// The table's marks for the kill matrix and the race (StandIn).
inline StandIn Changes(StandIn standIn) {
    standIn.changes = true;
    return standIn;
}
inline StandIn Raced(StandIn standIn) {
    standIn.raced = true;
    return standIn;
}

// What the books learn from the common acquisitions: a handle returned
// (valid unless INVALID_HANDLE_VALUE), and what an out-parameter (argument
// At, from 0) points to after success (a BOOL nonzero, an error code zero).
// ClearOut writes null to the out-parameters of a planned failure.
template <Resource R, typename... Args>
void AcquireResult(HANDLE result, Args...) {
    if (result != INVALID_HANDLE_VALUE) Acquire(R, result);
}
template <Resource R, size_t At, typename Result, typename... Args>
void AcquireOut(Result result, Args... args) {
    const auto out = std::get<At>(std::tie(args...));
    const bool isBool = std::is_same<Result, BOOL>::value;
    if ((isBool ? result != 0 : result == 0) && out != nullptr) Acquire(R, *out);
}
template <size_t... At, typename... Args>
void ClearOut(Args... args) {
    ((std::get<At>(std::tie(args...)) != nullptr ? void(*std::get<At>(std::tie(args...)) = nullptr) : void()), ...);
}

#define VLX_FAILS(api, ...) Fails<decltype(api), __COUNTER__>(#api, __VA_ARGS__)
#define VLX_RELEASES(api, ...) Releases<decltype(api), __COUNTER__>(#api, __VA_ARGS__)
#define VLX_PASSES(api) Passes<decltype(api), __COUNTER__>(#api)
#define VLX_WATCHES(api, observe) Watches<decltype(api), __COUNTER__>(#api, observe)

// The table itself (stand_in_table.cpp).
std::vector<StandIn> MakeStandInTable();

}  // namespace proof_stubs
