#include "actions/codec_filters.h"

#include "actions/process.h"
#include "hook/log.h"
#include "hook/product.h"
#include "hook/properties.h"

namespace {

const wchar_t* const kFiltersToRegister[] = {VLX_FILTERS_TO_REGISTER(VLX_WIDE_ENTRY)};
const wchar_t* const kFiltersToUnregister[] = {VLX_FILTERS_TO_UNREGISTER(VLX_WIDE_ENTRY)};

template <size_t N>
void RunFilterList(const HookContext* context, const wchar_t* const (&entries)[N],
                   Registration registration) {
    wchar_t installDir[kPathChars] = {};
    if (!GetInstallDir(context, installDir)) {
        return;
    }
    for (const wchar_t* entry : entries) {
        LogWideMessage(context, entry);
        wchar_t path[kPathChars] = {};
        if (BuildInstallPath(context, installDir, entry, path)) {
            RunRegsvr32(path, registration);
        }
    }
}

}  // namespace

void RegisterMainConceptFilters(const HookContext* context) {
    LogMessage(context, "VLX: BEGIN - Register Main Concept Filters", kLogLevelProgress);
    RunFilterList(context, kFiltersToRegister, Registration::kRegister);
    LogMessage(context, "VLX: END - Register Main Concept Filters", kLogLevelProgress);
}

void UnRegisterMainConceptFilters(const HookContext* context) {
    LogMessage(context, "VLX: BEGIN - UnRegister Main Concept Filters", kLogLevelProgress);
    RunFilterList(context, kFiltersToUnregister, Registration::kUnregister);
    LogMessage(context, "VLX: END - UnRegister Main Concept Filters", kLogLevelProgress);
}
