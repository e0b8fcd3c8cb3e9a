// The hook as the installer host calls it: the built VLXCustomHook.dll,
// loaded as the host loads it, and the property maps it is given.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "dll/exports.h"
#include "hook/context.h"
#include "tests/support/log_capture.h"
#include "tests/support/windows10_deletion.h"

class HookDll {
public:
    // The DLL built beside the tests, or the one at path.
    HookDll();
    explicit HookDll(const std::wstring& path);
    ~HookDll();
    HookDll(const HookDll&) = delete;
    HookDll& operator=(const HookDll&) = delete;

    HMODULE module() const { return module_; }

    int32_t InitSession() const { return init_(); }
    int32_t CloseSession() const { return close_(); }
    // One phase, named by its modes.
    int32_t Proc(const PropertyMap* map, EntryMode entryMode, InstallMode installMode,
                 LogCallback callback = LogCapture::Callback, uint32_t hostValue = 0) const {
        return proc_(map, entryMode, installMode, hostValue, callback);
    }
    // One phase with its lines captured, expecting result (0 unless told).
    std::vector<LogLine> Logged(const PropertyMap* map, EntryMode entryMode, InstallMode installMode,
                                int32_t result = 0) const;
    // The export itself, for modes that name no phase.
    decltype(&QXInstallerCustomHookProcV2) ProcV2() const { return proc_; }

private:
    HMODULE module_ = nullptr;
    // The Windows 10 answers to its deletions, where this run takes that way.
    std::unique_ptr<Windows10Deletion> deletionWay_;
    decltype(&QXInstallerCustomHookInitSession) init_ = nullptr;
    decltype(&QXInstallerCustomHookCloseSession) close_ = nullptr;
    decltype(&QXInstallerCustomHookProcV2) proc_ = nullptr;
};

// Builds a host property map (UTF-8 name/value pairs ending at a null name).
class PropertyMapBuilder {
public:
    PropertyMapBuilder& Set(const std::string& name, const std::string& value);
    // An entry whose value pointer is null.
    PropertyMapBuilder& SetNull(const std::string& name);

    // The map, valid while the builder lives and is not changed.
    const PropertyMap* map();

private:
    struct Pending {
        std::string name;
        std::string value;
        bool null;
    };
    std::deque<Pending> pending_;
    std::vector<PropertyEntry> entries_;
};

// This product's name and no INSTALLDIR: no install folder is available.
PropertyMapBuilder ProductWithoutInstallDir();

// The properties the installer host passes for this product.
PropertyMapBuilder ProductProperties(const std::string& installDir = "C:\\Program Files\\Kestrune");
