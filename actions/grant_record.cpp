#include "actions/grant_record.h"

#include "base/deletion_record.h"
#include "base/guards.h"
#include "hook/product.h"
#include "registry/reg_util.h"

namespace {

// Below the hook's key: a sub-key keeps the deletion records' pass from
// taking a push record for a value that is none of its own.
#define VLX_GRANT_RECORDS "Grants"
const wchar_t kGrantRecords[] = VLX_WIDE(VLX_GRANT_RECORDS);
const wchar_t kGrantRecordsKey[] = VLX_WIDE("SOFTWARE\\" VLX_RECORDS_KEY_NAME "\\" VLX_GRANT_RECORDS);
const wchar_t kGrantRecordsPath[] = VLX_WIDE("HKEY_LOCAL_MACHINE\\SOFTWARE\\" VLX_RECORDS_KEY_NAME "\\" VLX_GRANT_RECORDS);

// The value's data: the record's layout.
const DWORD kGrantRecordLayout = 1;

}  // namespace

DWORD WriteGrantRecord(const wchar_t* folder) {
    return WriteRecordsValue(kGrantRecords, folder, REG_DWORD, &kGrantRecordLayout, sizeof(kGrantRecordLayout),
                             kUpdatedRecord);
}

bool GrantRecorded(const wchar_t* folder) {
    const RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, kGrantRecordsKey, KEY_QUERY_VALUE);
    return key.valid() && RegQueryValueExW(key.get(), folder, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void RemoveGrantRecord(const wchar_t* folder) {
    {
        const RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, kGrantRecordsKey, KEY_SET_VALUE);
        if (!key.valid()) {
            return;
        }
        RegDeleteValueW(key.get(), folder);
    }
    RegUtil registry;
    if (registry.DeleteEmptyKey(kGrantRecordsPath)) {
        RemoveRecordsKeyWhenDone();
    }
}
