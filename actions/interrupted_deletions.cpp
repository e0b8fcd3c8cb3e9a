#include "actions/interrupted_deletions.h"

#include "base/deletion_record.h"
#include "base/delete_below.h"
#include "hook/log.h"

namespace {

// Finishes the deletion that record names: true when the record is done
// with (the leftover deleted, gone, not ours, or given up), false when it
// is kept with this pass counted.
bool FinishRecorded(const HookContext* context, const wchar_t* leftover, DeletionRecord* record) {
    DWORD error = ERROR_SUCCESS;
    const LeftoverFound found = FinishLeftover(leftover, *record, &error);
    if (found == kLeftoverDeleted) {
        LogFormattedLine(context, L"VLX: Deleted leftover %ls.", leftover);
    }
    if (found != kLeftoverStays) {
        return true;
    }
    LogFormattedLine(context, L"VLX: Leftover %ls stays.", leftover);
    LogDeletion(context, error, LeftAside());
    // A count that cannot be kept would never reach the last pass: the
    // record is given up at once.
    ++record->passes;
    if (record->passes < kMostFinishingPasses &&
        WriteDeletionRecord(leftover, *record, kUpdatedRecord) == ERROR_SUCCESS) {
        return false;
    }
    LogFormattedLine(context, L"VLX: Gave up on leftover %ls after %lu tries.", leftover,
                     static_cast<unsigned long>(record->passes));
    return true;
}

}  // namespace

void FinishInterruptedDeletions(const HookContext* context) {
    wchar_t leftover[kPathChars];
    DeletionRecord record;
    DWORD index = 0;
    // No more reads than the key held values when the pass began, whatever
    // stays at an index.
    for (DWORD read = 0, values = DeletionRecordCount(); read < values; ++read) {
        const RecordValue value = ReadDeletionRecord(index, leftover, &record);
        if (value == kNoMoreValues) {
            break;
        }
        // A record marked given up (its removal failed then) and a value that
        // is none of ours go without a line; one that cannot be named stays.
        const bool done =
            value == kForeignValue ||
            (value == kOurRecord &&
             (record.passes >= kMostFinishingPasses || FinishRecorded(context, leftover, &record)));
        if (!done) {
            ++index;
        } else if (!RemoveDeletionRecord(leftover)) {
            if (value == kOurRecord) {
                record.passes = kMostFinishingPasses;
                WriteDeletionRecord(leftover, record, kUpdatedRecord);
            }
            ++index;
        }
        // A value removed leaves the next one at the same index.
    }
    RemoveRecordsKeyWhenDone();
}
