#include "actions/codec_filters.h"

#include "actions/process.h"
#include "hook/log.h"
#include "hook/properties.h"

namespace {

// The Dolby decoder filter only, in the install folder and its "32" sub-folder.
const wchar_t* const kFiltersToRegister[] = {
    L"\\mc_dec_dd_ds.ax",
    L"\\32\\mc_dec_dd_ds.ax",
};

// All six filters, in both folders.
const wchar_t* const kFiltersToUnregister[] = {
    L"\\mc_dec_amr_ds.ax",     L"\\mc_dec_dd_ds.ax",        L"\\mc_dec_mp2v_ds.ax",
    L"\\mc_dec_mp4v_ds.ax",    L"\\mc_dec_mpa_ds.ax",       L"\\mc_demux_mp4_ds.ax",
    L"\\32\\mc_dec_amr_ds.ax", L"\\32\\mc_dec_dd_ds.ax",    L"\\32\\mc_dec_mp2v_ds.ax",
    L"\\32\\mc_dec_mp4v_ds.ax", L"\\32\\mc_dec_mpa_ds.ax",  L"\\32\\mc_demux_mp4_ds.ax",
};

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
