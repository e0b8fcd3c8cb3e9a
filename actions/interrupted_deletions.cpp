#include "actions/interrupted_deletions.h"

#include "base/aside_record.h"
#include "base/delete_below.h"
#include "hook/log.h"

void FinishInterruptedDeletions(const HookContext* context) {
    wchar_t path[kPathChars];
    AsideRecord record;
    for (DWORD index = 0; NextAsideRecord(index, path, &record);) {
        if (path[0] == L'\0') {
            ++index;
            continue;
        }
        wchar_t leftover[kPathChars];
        const DWORD result = FinishAside(path, record, leftover);
        const bool gone = result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ||
                          result == ERROR_PATH_NOT_FOUND || result == ERROR_INVALID_PARAMETER ||
                          result == ERROR_FILENAME_EXCED_RANGE;
        if (result == ERROR_SUCCESS) {
            LogFormattedLine(context, L"VLX: Deleted leftover %ls.", leftover);
        } else if (!gone) {
            LogFormattedLine(context, L"VLX: Leftover %ls stays.", leftover);
            LogDeletion(context, result, LeftAside());
        }
        // A record that is removed leaves the next one at the same index.
        if (!gone || !RemoveAsideRecord(path)) {
            ++index;
        }
    }
}
