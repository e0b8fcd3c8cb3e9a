#include "base/aside_record.h"

#include <shlwapi.h>

#include <string.h>

#include "base/guards.h"
#include "base/no_follow.h"

const wchar_t kAsideRecordKey[] = L"SOFTWARE\\VLXCustomHook";

DWORD IdentifyFile(HANDLE file, AsideRecord* record) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) {
        return LastFailure();
    }
    record->volume = information.dwVolumeSerialNumber;
    record->indexHigh = information.nFileIndexHigh;
    record->indexLow = information.nFileIndexLow;
    return ERROR_SUCCESS;
}

bool IsRecordedFile(HANDLE file, const AsideRecord& record) {
    AsideRecord found = {};
    return IdentifyFile(file, &found) == ERROR_SUCCESS && found.volume == record.volume &&
           found.indexHigh == record.indexHigh && found.indexLow == record.indexLow;
}

DWORD WriteAsideRecord(const wchar_t* path, const AsideRecord& record) {
    RegKey key;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAsideRecordKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key.get(), path, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&record),
                                sizeof(record));
    }
    // On disk before the rename it tells of: the machine may lose its power.
    if (status == ERROR_SUCCESS) {
        status = RegFlushKey(key.get());
    }
    return static_cast<DWORD>(status);
}

bool RemoveAsideRecord(const wchar_t* path) {
    RegKey key;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAsideRecordKey, 0, KEY_SET_VALUE, key.put());
    if (status == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    if (status == ERROR_SUCCESS) {
        status = RegDeleteValueW(key.get(), path);
    }
    key.reset();
    SHDeleteEmptyKeyW(HKEY_LOCAL_MACHINE, kAsideRecordKey);  // only once it holds nothing
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool NextAsideRecord(DWORD index, wchar_t (&path)[kPathChars], AsideRecord* record) {
    RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAsideRecordKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    DWORD pathChars = kPathChars;
    DWORD type = REG_NONE;
    DWORD size = sizeof(*record);
    const LONG status = RegEnumValueW(key.get(), index, path, &pathChars, nullptr, &type,
                                      reinterpret_cast<BYTE*>(record), &size);
    if (status == ERROR_NO_MORE_ITEMS) {
        // A run ended between the last record and the key leaves it empty.
        if (index == 0) {
            key.reset();
            SHDeleteEmptyKeyW(HKEY_LOCAL_MACHINE, kAsideRecordKey);
        }
        return false;
    }
    if (status == ERROR_MORE_DATA) {
        path[0] = L'\0';  // too long to be ours: passed over
    }
    const bool whole = status == ERROR_SUCCESS && type == REG_BINARY && size == sizeof(*record) &&
                       record->name[kTemporaryNameChars - 1] == L'\0' && record->base[kPathChars - 1] == L'\0';
    if (!whole) {
        memset(record, 0, sizeof(*record));
    }
    return status == ERROR_SUCCESS || status == ERROR_MORE_DATA;
}
