// Deletions that a killed run left half-done: a file the old deletion had
// moved aside under a temporary name but not yet marked. Every phase
// finishes them first, from their records (base/aside_record.h).
#pragma once

#include "hook/context.h"

// For each record: deletes the file it names when that very file is still
// there, with "VLX: Deleted leftover <path>."; passes over (and forgets) one
// that is gone or whose name another file now has; keeps the record of one
// that stays, after "VLX: Leftover <path> stays." and the deletion's line.
void FinishInterruptedDeletions(const HookContext* context);
