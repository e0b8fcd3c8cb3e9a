#include "tests/support/hook_dll.h"

#include <gtest/gtest.h>

#include "hook/product.h"
#include "tests/support/environment.h"

namespace {

// An export's address as the function type the hook declares for it.
template <typename Function>
void Export(HMODULE module, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (*function == nullptr) {
        abort();
    }
}

}  // namespace

HookDll::HookDll() : HookDll(BesideTests(L"VLXCustomHook.dll")) {}

HookDll::HookDll(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {
    if (module_ == nullptr) {
        abort();
    }
    Export(module_, "QXInstallerCustomHookInitSession", &init_);
    Export(module_, "QXInstallerCustomHookCloseSession", &close_);
    Export(module_, "QXInstallerCustomHookProcV2", &proc_);
    deletionWay_ = DeletionWayFor(module_);
}

HookDll::~HookDll() {
    deletionWay_.reset();
    FreeLibrary(module_);
}

std::vector<LogLine> HookDll::Logged(const PropertyMap* map, EntryMode entryMode, InstallMode installMode,
                                     int32_t result) const {
    LogCapture capture;
    EXPECT_EQ(Proc(map, entryMode, installMode), result);
    return capture.lines();
}

PropertyMapBuilder& PropertyMapBuilder::Set(const std::string& name, const std::string& value) {
    pending_.push_back(Pending{name, value, false});
    return *this;
}

PropertyMapBuilder& PropertyMapBuilder::SetNull(const std::string& name) {
    pending_.push_back(Pending{name, std::string(), true});
    return *this;
}

const PropertyMap* PropertyMapBuilder::map() {
    entries_.clear();
    for (const Pending& entry : pending_) {
        entries_.push_back(PropertyEntry{entry.name.c_str(), entry.null ? nullptr : entry.value.c_str()});
    }
    entries_.push_back(PropertyEntry{nullptr, nullptr});
    return entries_.data();
}

PropertyMapBuilder ProductWithoutInstallDir() {
    PropertyMapBuilder builder;
    builder.Set("ProductName", VLX_PRODUCT_NAME);
    return builder;
}

PropertyMapBuilder ProductProperties(const std::string& installDir) {
    PropertyMapBuilder builder;
    builder.Set("ProductName", VLX_PRODUCT_NAME).Set("INSTALLDIR", installDir);
    return builder;
}
