#include "tests/proof/stand_ins.h"

#include "tests/proof/stand_in_stubs.h"

namespace proof_stubs {

unsigned g_calls[kMaxStandIns];
FaultPlan g_plan;
void** g_real[kMaxStandIns];
void (*g_beforeCall)(int id) = nullptr;

}  // namespace proof_stubs

using namespace proof_stubs;

const std::vector<StandIn>& AllStandIns() {
    static const std::vector<StandIn> table = MakeStandInTable();
    return table;
}

const StandIn* FindStandIn(const std::string& name) {
    for (const StandIn& standIn : AllStandIns()) {
        if (standIn.name == name) {
            return &standIn;
        }
    }
    return nullptr;
}

void SetFaultPlan(const FaultPlan& plan) {
    g_plan = plan;
}

void ResetCalls() {
    for (unsigned& calls : g_calls) {
        calls = 0;
    }
}

unsigned CallsOf(int id) {
    return id >= 0 && id < kMaxStandIns ? g_calls[id] : 0;
}

bool SetOriginal(int id, void* original) {
    if (id < 0 || id >= kMaxStandIns || g_real[id] == nullptr) {
        return false;
    }
    *g_real[id] = original;
    return true;
}

namespace {

bool g_marked[kMaxStandIns];
void (*g_before)() = nullptr;

void BeforeMarked(int id) {
    if (g_marked[id]) g_before();
}

}  // namespace

void CallBeforeEach(bool StandIn::*mark, void (*before)()) {
    for (const StandIn& standIn : AllStandIns()) {
        if (standIn.id >= 0) g_marked[standIn.id] = standIn.*mark;
    }
    g_before = before;
    g_beforeCall = before != nullptr ? &BeforeMarked : nullptr;
}

bool PassCallsTo(const std::string& name, const void* function) {
    const StandIn* standIn = FindStandIn(name);
    return standIn != nullptr && SetOriginal(standIn->id, const_cast<void*>(function));
}
