#include "actions/grant_record.h"

#include "base/deletion_record.h"
#include "base/guards.h"

namespace {

// Below the hook's key: a sub-key keeps the deletion records' pass from
// taking a push record for a value that is none of its own.
const wchar_t kGrantRecords[] = L"Grants";

// The value's data: the record's layout.
const DWORD kGrantRecordLayout = 1;

}  // namespace

DWORD WriteGrantRecord(const wchar_t* folder) {
    return WriteRecordsValue(kGrantRecords, folder, REG_DWORD, &kGrantRecordLayout, sizeof(kGrantRecordLayout),
                             kUpdatedRecord);
}

bool GrantRecorded(const wchar_t* folder) {
    const RegKey records = OpenRegKey(HKEY_LOCAL_MACHINE, kDeletionRecordKey, KEY_QUERY_VALUE);
    const RegKey key = records.valid() ? OpenRegKey(records.get(), kGrantRecords, KEY_QUERY_VALUE) : RegKey();
    return key.valid() && RegQueryValueExW(key.get(), folder, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

namespace {

// Deletes folder's value, then the sub-key when nothing is left in it: true
// when the sub-key went.
bool RemoveValueAndSubKey(const wchar_t* folder) {
    const RegKey records = OpenRegKey(HKEY_LOCAL_MACHINE, kDeletionRecordKey, KEY_QUERY_VALUE);
    bool empty = false;
    {
        const RegKey key =
            records.valid() ? OpenRegKey(records.get(), kGrantRecords, KEY_SET_VALUE | KEY_QUERY_VALUE) : RegKey();
        if (!key.valid()) {
            return false;
        }
        RegDeleteValueW(key.get(), folder);
        // RegDeleteKeyW takes a key that holds values too: only an empty one goes.
        DWORD values = 0;
        DWORD subKeys = 0;
        empty = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                                 nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                values == 0 && subKeys == 0;
    }
    return empty && RegDeleteKeyW(records.get(), kGrantRecords) == ERROR_SUCCESS;
}

}  // namespace

void RemoveGrantRecord(const wchar_t* folder) {
    if (RemoveValueAndSubKey(folder)) {
        RemoveRecordsKeyWhenDone();
    }
}
