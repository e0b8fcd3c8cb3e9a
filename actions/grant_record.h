// The record of a push of the data folder's new entry down its tree, under
// way: written and flushed before the folder's list is, removed once the
// push has ended, so that a run killed in between leaves it and the next run
// pushes again. It lives in the hook's own key (deletion_record.h: SYSTEM and
// Administrators alone), in a sub-key of its own, one value per folder.
#pragma once

#include <windows.h>

// Records, durably, that the push below folder has begun: 0 or why not.
DWORD WriteGrantRecord(const wchar_t* folder);

// Whether a push below folder is recorded (a killed run's, unfinished).
bool GrantRecorded(const wchar_t* folder);

// Forgets the push below folder; the sub-key, and then the hook's key, go
// once nothing is left in them.
void RemoveGrantRecord(const wchar_t* folder);
