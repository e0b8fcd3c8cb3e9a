// The DLL that ships, read as a Windows debugger reads it from a crash dump:
// the DLL taken from the symbol store under the key of its PE header, the
// key of its PDB worked out from the DLL's own CodeView record, as a
// symbol-server client does, dbghelp pointed at that folder of dist/, and
// addresses inside each export and inside an internal function resolved to
// their names, source files and lines. (Wine's dbghelp reads no "srv*" path:
// it is given the folder itself. It refuses a PDB whose GUID or age is not
// the DLL's, as a debugger does: the module then has its exports alone.)
#include <gtest/gtest.h>

#include <windows.h>
#include <dbghelp.h>

#include <string>

#include "tests/support/environment.h"

namespace {

// dist/ as the build made it, through the drive that maps the host's root.
std::wstring Dist() {
    std::wstring dist = L"Z:" + FromUtf8(VLX_DIST_DIR);
    for (wchar_t& c : dist) {
        c = c == L'/' ? L'\\' : c;
    }
    return dist;
}

const IMAGE_NT_HEADERS* Headers(HMODULE module) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
}

// The key under which a symbol store files the DLL: its time stamp and its
// image size in upper-case hexadecimal.
std::wstring DllKey(const std::wstring& dll) {
    const HMODULE module = LoadLibraryExW(dll.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (module == nullptr) {
        return L"";
    }
    wchar_t key[32];
    swprintf(key, 32, L"%08lX%lX", Headers(module)->FileHeader.TimeDateStamp, Headers(module)->OptionalHeader.SizeOfImage);
    FreeLibrary(module);
    return key;
}

struct CodeViewRecord {
    DWORD signature;  // "RSDS"
    GUID guid;
    DWORD age;
    char pdbName[1];
};

// The key under which a symbol store files the PDB that the module's
// CodeView record names: its GUID and age in upper-case hexadecimal.
std::wstring PdbKey(HMODULE module) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_DATA_DIRECTORY& directory = Headers(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG];
    const auto* entries = reinterpret_cast<const IMAGE_DEBUG_DIRECTORY*>(base + directory.VirtualAddress);
    for (size_t i = 0; i < directory.Size / sizeof(IMAGE_DEBUG_DIRECTORY); ++i) {
        const auto* record = reinterpret_cast<const CodeViewRecord*>(base + entries[i].AddressOfRawData);
        if (entries[i].Type == IMAGE_DEBUG_TYPE_CODEVIEW && record->signature == 0x53445352) {
            const GUID& g = record->guid;
            wchar_t key[64];
            swprintf(key, 64, L"%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X%lX", g.Data1, g.Data2, g.Data3,
                     g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7],
                     record->age);
            return key;
        }
    }
    return L"";
}

// A symbol as dbghelp describes it, with room for its name.
struct Symbol {
    Symbol() {
        symbol.info.SizeOfStruct = sizeof(SYMBOL_INFOW);
        symbol.info.MaxNameLen = MAX_SYM_NAME;
    }
    union {
        SYMBOL_INFOW info;
        BYTE room[sizeof(SYMBOL_INFOW) + MAX_SYM_NAME * sizeof(wchar_t)];
    } symbol = {};
};

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class SymbolsTest : public testing::Test {
protected:
    void SetUp() override {
        const std::wstring dll =
            Dist() + L"\\symbols\\VLXCustomHook.dll\\" + DllKey(Dist() + L"\\VLXCustomHook.dll") + L"\\VLXCustomHook.dll";
        module = LoadLibraryExW(dll.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(module, nullptr);
        const std::wstring key = PdbKey(module);
        ASSERT_FALSE(key.empty()) << "no CodeView record";
        SymSetOptions(SYMOPT_UNDNAME | SYMOPT_LOAD_LINES);
        const std::wstring folder = Dist() + L"\\symbols\\VLXCustomHook.pdb\\" + key;
        ASSERT_TRUE(SymInitializeW(process, folder.c_str(), FALSE));
        initialized = true;
        base = SymLoadModuleExW(process, nullptr, dll.c_str(), nullptr, reinterpret_cast<DWORD64>(module),
                                Headers(module)->OptionalHeader.SizeOfImage, nullptr, 0);
        ASSERT_NE(base, 0u);
    }
    void TearDown() override {
        if (initialized) {
            SymCleanup(process);
        }
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }

    // The function that holds address, and its source file and line.
    struct Place {
        std::wstring function;
        std::wstring file;
        DWORD line = 0;
    };
    Place At(DWORD64 address) const {
        Place place;
        Symbol found;
        DWORD64 displacement = 0;
        if (SymFromAddrW(process, address, &displacement, &found.symbol.info)) {
            place.function = found.symbol.info.Name;
        }
        IMAGEHLP_LINEW64 line = {};
        line.SizeOfStruct = sizeof(line);
        DWORD column = 0;
        if (SymGetLineFromAddrW64(process, address, &column, &line)) {
            place.file = line.FileName;
            place.line = line.LineNumber;
        }
        return place;
    }

    const HANDLE process = GetCurrentProcess();
    HMODULE module = nullptr;
    bool initialized = false;
    DWORD64 base = 0;
};

TEST_F(SymbolsTest, ExportsAndTheLinkSafeOpenResolveToTheirNamesAndLines) {
    IMAGEHLP_MODULEW64 info = {};
    info.SizeOfStruct = sizeof(info);
    ASSERT_TRUE(SymGetModuleInfoW64(process, base, &info));
    EXPECT_EQ(info.SymType, SymPdb) << "the PDB of the store's folder was not taken";
    for (const char* name :
         {"QXInstallerCustomHookCloseSession", "QXInstallerCustomHookInitSession", "QXInstallerCustomHookProcV2"}) {
        SCOPED_TRACE(name);
        const Place place = At(reinterpret_cast<DWORD64>(GetProcAddress(module, name)) + 1);
        EXPECT_EQ(place.function, FromUtf8(name));
        EXPECT_TRUE(EndsWith(place.file, L"\\dll\\exports.cpp")) << ToUtf8(place.file);
        EXPECT_GT(place.line, 0u);
    }
    // An internal function, found by its name in the PDB.
    Symbol open;
    ASSERT_TRUE(SymFromNameW(process, L"OpenBelow", &open.symbol.info));
    const Place place = At(open.symbol.info.Address + 2);
    EXPECT_EQ(place.function, L"OpenBelow");
    EXPECT_TRUE(EndsWith(place.file, L"\\base\\no_follow.cpp")) << ToUtf8(place.file);
    EXPECT_GT(place.line, 0u);
}

}  // namespace
