// Owning guards for every platform resource the hook acquires: each releases
// what it holds when it goes out of scope, so no early return can leak.
#pragma once

#include <windows.h>
#include <objbase.h>

template <typename Traits>
class Unique {
public:
    typedef typename Traits::Type Type;

    Unique() : value_(Traits::Empty()) {}
    explicit Unique(Type value) : value_(value) {}
    ~Unique() { reset(); }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;

    Type get() const { return value_; }
    bool valid() const { return value_ != Traits::Empty(); }

    // For an out-parameter: releases what is held first.
    Type* put() {
        reset();
        return &value_;
    }

    void reset(Type value = Traits::Empty()) {
        if (valid()) {
            Traits::Close(value_);
        }
        value_ = value;
    }

private:
    Type value_;
};

struct RegKeyTraits {
    typedef HKEY Type;
    static HKEY Empty() { return nullptr; }
    static void Close(HKEY key) { RegCloseKey(key); }
};

// Process and thread handles: empty when null.
struct HandleTraits {
    typedef HANDLE Type;
    static HANDLE Empty() { return nullptr; }
    static void Close(HANDLE handle) { CloseHandle(handle); }
};

// Searches: empty when INVALID_HANDLE_VALUE.
struct FindTraits {
    typedef HANDLE Type;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE search) { FindClose(search); }
};

// A SID from AllocateAndInitializeSid.
struct SidTraits {
    typedef PSID Type;
    static PSID Empty() { return nullptr; }
    static void Close(PSID sid) { FreeSid(sid); }
};

// Memory the platform hands out for LocalFree (security descriptors, ACLs).
struct LocalMemoryTraits {
    typedef HLOCAL Type;
    static HLOCAL Empty() { return nullptr; }
    static void Close(HLOCAL memory) { LocalFree(memory); }
};

typedef Unique<RegKeyTraits> RegKey;
typedef Unique<HandleTraits> Handle;
typedef Unique<FindTraits> FindHandle;
typedef Unique<SidTraits> Sid;
typedef Unique<LocalMemoryTraits> LocalMemory;

// A COM interface pointer, released when the guard ends.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }

    // For an out-parameter of CoCreateInstance or QueryInterface.
    void** put() {
        reset();
        return reinterpret_cast<void**>(&pointer_);
    }

    void reset() {
        if (pointer_ != nullptr) {
            pointer_->Release();
            pointer_ = nullptr;
        }
    }

private:
    Interface* pointer_ = nullptr;
};

// CoInitialize on the calling thread, balanced by CoUninitialize when it
// succeeded (S_OK or S_FALSE), so the thread is left as it was found.
class ComApartment {
public:
    ComApartment() : result_(CoInitialize(nullptr)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};
