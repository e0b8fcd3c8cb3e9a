#include "hook/properties.h"

#include <windows.h>
#include <shlwapi.h>

#include <limits.h>
#include <string.h>

#include "hook/log.h"
#include "hook/product.h"

namespace {

const wchar_t kApplicationFolder[] = VLX_WIDE(VLX_APPLICATION_FOLDER);

void LogNotAvailable(const HookContext* context, const char* line) {
    LogMessage(context, line, kLogLevelProgress);
}

}  // namespace

bool GetProperty(const HookContext* context, const char* name, const char** value) {
    if (name == nullptr) {
        LogMessage(context, "NULL pointer passed as property name.", kLogLevelProgress);
        return false;
    }
    if (value == nullptr) {
        LogMessage(context, "NULL pointer passed for property name.", kLogLevelProgress);
        return false;
    }
    if (context->propertyMap == nullptr) {
        LogMessage(context, "Property map is not initialized.", kLogLevelProgress);
        return false;
    }
    for (const PropertyEntry* entry = context->propertyMap; entry->name != nullptr; ++entry) {
        if (strcmp(entry->name, name) == 0) {
            *value = entry->value;
            return true;
        }
    }
    return false;
}

bool GetInstallDir(const HookContext* context, wchar_t (&installDir)[kPathChars]) {
    installDir[0] = L'\0';
    const char* value = nullptr;
    GetProperty(context, "INSTALLDIR", &value);
    LogMessage(context, "Extracting INSTALLDIR...", kLogLevelProgress);
    if (value == nullptr) {
        LogNotAvailable(context, "VLX: INSTALLDIR not found. Install folder not available.");
        return false;
    }
    LogMessage(context, value, kLogLevelProgress);

    HeapArray<wchar_t> wide;
    switch (Utf8ToWide(value, &wide)) {
        case Conversion::kEmpty:
            LogNotAvailable(context, "VLX: INSTALLDIR is empty. Install folder not available.");
            return false;
        case Conversion::kFailed:
            LogNotAvailable(context,
                            "VLX: INSTALLDIR could not be converted. Install folder not available.");
            return false;
        case Conversion::kConverted:
            break;
    }

    // The host's folder without its trailing backslash, then the application's.
    wchar_t folder[kPathChars] = {};
    bool fits = CheckedCopy(folder, wide.get());
    if (fits && !IsFullPath(folder)) {
        LogNotAvailable(context, "VLX: INSTALLDIR is not a full path. Install folder not available.");
        return false;
    }
    if (fits) {
        PathRemoveBackslashW(folder);
        fits = CheckedAppend(folder, kApplicationFolder);
    }
    if (!fits) {
        LogNotAvailable(context, "VLX: INSTALLDIR is too long. Install folder not available.");
        return false;
    }
    CheckedCopy(installDir, folder);
    return true;
}

bool BuildInstallPath(const HookContext* context, const wchar_t* installDir, const wchar_t* entry,
                      wchar_t (&path)[kPathChars]) {
    if (CheckedJoin(path, {installDir, entry})) {
        return true;
    }
    LogPathTooLong(context);
    return false;
}

Conversion Utf8ToWide(const char* text, HeapArray<wchar_t>* wide) {
    wide->reset();
    const size_t bytes = strlen(text);
    if (bytes == 0) {
        return Conversion::kEmpty;
    }
    if (bytes > static_cast<size_t>(INT_MAX)) {
        return Conversion::kFailed;
    }
    const int length = static_cast<int>(bytes);
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0);
    if (needed <= 0) {
        return Conversion::kFailed;
    }
    // One more for the terminator, which the converted text does not carry.
    HeapArray<wchar_t> array(
        static_cast<wchar_t*>(malloc((static_cast<size_t>(needed) + 1) * sizeof(wchar_t))));
    if (!array.valid() || MultiByteToWideChar(CP_UTF8, 0, text, length, array.get(), needed) != needed) {
        return Conversion::kFailed;
    }
    array.get()[needed] = L'\0';
    wide->reset(array.release());
    return Conversion::kConverted;
}
