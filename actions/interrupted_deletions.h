// Deletions that a killed run left half-done: a file the old deletion had
// set aside under a temporary name but not yet marked. The phases that
// change files finish them first, after their entry line, from their
// records (base/deletion_record.h).
#pragma once

#include <windows.h>

#include "hook/context.h"

// How many finishing passes may find a leftover and leave it before its
// record is given up: two per reinstall or uninstall, so five more
// operations. A file that another program holds is let go long before; one
// still refused then is refused for good (a user's access list, a program
// that never lets go), and its record would only make every later phase
// log the same lines.
const DWORD kMostFinishingPasses = 10;

// For each record: deletes the file it names when that very file is still
// there, with "VLX: Deleted leftover <path>."; forgets, and logs nothing
// of, one that is gone from the volume recorded or where something not ours
// stands (a folder, a link, another file, our file with a second name);
// keeps the record of one that cannot be told or deleted, after "VLX:
// Leftover <path> stays." and the deletion's line, counting the pass, and
// gives it up at the last pass, or at once when the count cannot be kept,
// with "VLX: Gave up on leftover <path> after <n> tries.". A record that is
// done with but cannot be removed is written as given up, so that the next
// pass forgets it without a line. Values that are none of ours go without a
// line where they can be named; the key goes once no record is left in it.
void FinishInterruptedDeletions(const HookContext* context);
