#include "actions/codec_filters.h"

#include "actions/process.h"
#include "hook/log.h"
#include "hook/properties.h"

namespace {

const wchar_t* const kRegisteredFilters[] = {
    L"\\mc_dec_dd_ds.ax",
    L"\\32\\mc_dec_dd_ds.ax",
};

const wchar_t* const kUnregisteredFilters[] = {
    L"\\mc_dec_amr_ds.ax",     L"\\mc_dec_dd_ds.ax",        L"\\mc_dec_mp2v_ds.ax",
    L"\\mc_dec_mp4v_ds.ax",    L"\\mc_dec_mpa_ds.ax",       L"\\mc_demux_mp4_ds.ax",
    L"\\32\\mc_dec_amr_ds.ax", L"\\32\\mc_dec_dd_ds.ax",    L"\\32\\mc_dec_mp2v_ds.ax",
    L"\\32\\mc_dec_mp4v_ds.ax", L"\\32\\mc_dec_mpa_ds.ax",  L"\\32\\mc_demux_mp4_ds.ax",
};

template <size_t N>
void RunFilterList(const HookContext* context, const wchar_t* const (&entries)[N],
                   bool registerFlag) {
    wchar_t installDir[kPathChars] = {};
    if (!GetInstallDir(context, installDir)) {
        return;
    }
    for (const wchar_t* entry : entries) {
        LogWideMessage(context, entry);
        wchar_t path[kPathChars] = {};
        if (BuildInstallPath(context, installDir, entry, path)) {
            RunRegsvr32(path, registerFlag);
        }
    }
}

}  // namespace

void RegisterMainConceptFilters(const HookContext* context) {
    LogMessage(context, "VLX: BEGIN - Register Main Concept Filters", kLogLevelProgress);
    RunFilterList(context, kRegisteredFilters, true);
    LogMessage(context, "VLX: END - Register Main Concept Filters", kLogLevelProgress);
}

void UnRegisterMainConceptFilters(const HookContext* context) {
    LogMessage(context, "VLX: BEGIN - UnRegister Main Concept Filters", kLogLevelProgress);
    RunFilterList(context, kUnregisteredFilters, false);
    LogMessage(context, "VLX: END - UnRegister Main Concept Filters", kLogLevelProgress);
}
