#include "hook/properties.h"

#include <windows.h>
#include <shlwapi.h>

#include <new>
#include <string.h>

#include "hook/log.h"

namespace {

const wchar_t kApplicationFolder[] = L"\\Kestrune Montavo Fablio 15";

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
        LogMessage(context, "VLX: INSTALLDIR not found. Install folder not available.",
                   kLogLevelProgress);
        return false;
    }
    LogMessage(context, value, kLogLevelProgress);

    std::wstring wide;
    try {
        wide = Utf8ToWide(value);
    } catch (const std::bad_alloc&) {
        wide.clear();
    }
    if (wide.empty()) {
        LogMessage(context, "VLX: INSTALLDIR is empty. Install folder not available.",
                   kLogLevelProgress);
        return false;
    }

    // The host's folder without its trailing backslash, then the application's.
    wchar_t folder[kPathChars] = {};
    bool fits = CheckedCopy(folder, wide.c_str());
    if (fits) {
        PathRemoveBackslashW(folder);
        fits = CheckedAppend(folder, kApplicationFolder);
    }
    if (!fits) {
        LogMessage(context, "VLX: INSTALLDIR is too long. Install folder not available.",
                   kLogLevelProgress);
        return false;
    }
    CheckedCopy(installDir, folder);
    return true;
}

bool BuildInstallPath(const HookContext* context, const wchar_t* installDir, const wchar_t* entry,
                      wchar_t (&path)[kPathChars]) {
    if (CheckedCopy(path, installDir) && CheckedAppend(path, entry)) {
        return true;
    }
    LogPathTooLong(context);
    return false;
}

std::wstring Utf8ToWide(const std::string& text) {
    std::wstring result;
    if (text.empty()) {
        return result;
    }
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        return result;
    }
    result.resize(static_cast<size_t>(needed));
    if (MultiByteToWideChar(CP_UTF8, 0, text.data(), length, &result[0], needed) != needed) {
        result.clear();
    }
    return result;
}
