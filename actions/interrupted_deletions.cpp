#include "actions/interrupted_deletions.h"

#include "base/deletion_record.h"
#include "base/delete_below.h"
#include "hook/log.h"

void FinishInterruptedDeletions(const HookContext* context) {
    wchar_t leftover[kPathChars];
    DeletionRecord record;
    for (DWORD index = 0; NextDeletionRecord(index, leftover, &record);) {
        if (leftover[0] == L'\0') {
            ++index;
            continue;
        }
        bool forget = true;
        DWORD error = ERROR_SUCCESS;
        // A value that is none of ours (layout 0) proves nothing: forgotten.
        const LeftoverFound found = record.layout != 0 ? FinishLeftover(leftover, record, &error) : kLeftoverGone;
        if (found == kLeftoverDeleted) {
            LogFormattedLine(context, L"VLX: Deleted leftover %ls.", leftover);
        } else if (found == kLeftoverStays) {
            LogFormattedLine(context, L"VLX: Leftover %ls stays.", leftover);
            LogDeletion(context, error, LeftAside());
            if (++record.passes < kMostFinishingPasses) {
                forget = false;
                WriteDeletionRecord(leftover, record, kUpdatedRecord);
            } else {
                LogFormattedLine(context, L"VLX: Gave up on leftover %ls after %lu tries.", leftover,
                                 static_cast<unsigned long>(record.passes));
            }
        }
        // A record that is removed leaves the next one at the same index.
        if (!forget || !RemoveDeletionRecord(leftover)) {
            ++index;
        }
    }
}
