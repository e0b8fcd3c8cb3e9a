// Owning guards for every platform resource the hook acquires: each releases
// what it holds when it goes out of scope, so no early return can leak.
// Guards move (a helper may hand an open key or handle to its caller) and
// never copy.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <stdlib.h>

template <typename Traits>
class Unique {
public:
    typedef typename Traits::Type Type;

    Unique() : value_(Traits::Empty()) {}
    explicit Unique(Type value) : value_(value) {}
    ~Unique() { reset(); }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& other) : value_(other.release()) {}
    Unique& operator=(Unique&& other) {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

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

    // Gives up ownership without releasing.
    Type release() {
        const Type value = value_;
        value_ = Traits::Empty();
        return value;
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

// Files and folders from CreateFileW: empty when INVALID_HANDLE_VALUE.
struct FileTraits {
    typedef HANDLE Type;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE file) { CloseHandle(file); }
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

// Memory the platform hands out for LocalFree, typed as what it holds
// (PSECURITY_DESCRIPTOR, PACL), so call sites need no casts.
template <typename Pointer>
struct LocalMemoryTraits {
    typedef Pointer Type;
    static Pointer Empty() { return nullptr; }
    static void Close(Pointer memory) { LocalFree(memory); }
};

// An array from the C runtime's heap (malloc), released with free.
template <typename Element>
struct HeapArrayTraits {
    typedef Element* Type;
    static Element* Empty() { return nullptr; }
    static void Close(Element* memory) { free(memory); }
};

typedef Unique<RegKeyTraits> RegKey;
typedef Unique<HandleTraits> Handle;
typedef Unique<FileTraits> FileHandle;
typedef Unique<FindTraits> FindHandle;
typedef Unique<SidTraits> Sid;
template <typename Pointer>
using LocalMemory = Unique<LocalMemoryTraits<Pointer>>;
template <typename Element>
using HeapArray = Unique<HeapArrayTraits<Element>>;

// root\subKey opened with access; empty when it does not open (the open's
// status in *status when asked for).
inline RegKey OpenRegKey(HKEY root, const wchar_t* subKey, REGSAM access, LONG* status = nullptr) {
    RegKey key;
    const LONG opened = RegOpenKeyExW(root, subKey, 0, access, key.put());
    if (opened != ERROR_SUCCESS) {
        key.release();  // nothing was opened, whatever the out-parameter holds
    }
    if (status != nullptr) {
        *status = opened;
    }
    return key;
}

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
