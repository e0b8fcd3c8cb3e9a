#include "tests/proof/stand_ins.h"

#include <windows.h>
#include <objbase.h>

#include <map>
#include <sstream>

namespace {

const char* Name(Resource resource) {
    switch (resource) {
        case Resource::kKey: return "registry key";
        case Resource::kSearch: return "file search";
        case Resource::kHandle: return "handle";
        case Resource::kLocalMemory: return "LocalFree memory";
        case Resource::kSid: return "SID";
        case Resource::kComApartment: return "COM initialisation";
        case Resource::kComObject: return "COM object";
        case Resource::kHeap: return "heap block";
    }
    return "?";
}

bool g_open = false;
std::map<std::pair<Resource, const void*>, int> g_held;
std::vector<std::string> g_unbalanced;

}  // namespace

void OpenBooks() {
    g_held.clear();
    g_unbalanced.clear();
    g_open = true;
}

void Acquire(Resource resource, const void* what) {
    if (g_open) {
        ++g_held[{resource, what}];
    }
}

void Release(Resource resource, const void* what) {
    if (!g_open || what == nullptr) {
        return;
    }
    auto found = g_held.find({resource, what});
    if (found == g_held.end()) {
        std::ostringstream line;
        line << "released a " << Name(resource) << " it did not acquire (" << what << ")";
        g_unbalanced.push_back(line.str());
        return;
    }
    if (--found->second == 0) {
        g_held.erase(found);
    }
}

void Forbidden(const std::string& what) {
    if (g_open) {
        g_unbalanced.push_back(what);
    }
}

std::vector<std::string> CloseBooks() {
    g_open = false;
    std::vector<std::string> problems = g_unbalanced;
    for (const auto& held : g_held) {
        if (held.first.first == Resource::kComObject) {
            // The books hold one reference of their own on every object the
            // hook created: dropping it must free the object.
            const ULONG left = static_cast<IUnknown*>(const_cast<void*>(held.first.second))->Release();
            if (left != 0) {
                problems.push_back("left a COM object with " + std::to_string(left) + " references");
            }
            continue;
        }
        std::ostringstream line;
        line << "left " << held.second << " " << Name(held.first.first) << " open (" << held.first.second << ")";
        problems.push_back(line.str());
    }
    g_held.clear();
    return problems;
}
