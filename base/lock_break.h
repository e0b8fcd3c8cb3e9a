// Opening an item below a base without waiting for another program. An open
// that must first break another program's opportunistic lock on the item (a
// sync client's, an indexer's, any program's that asked for one) waits on
// Windows until that program lets go, and one that never does would hold the
// installer's phase for ever. So every open below a base asks to complete at
// once (FILE_COMPLETE_IF_OPLOCKED), and the break is then waited for here, at
// most kLockBreakWaitMs; an item whose break is not done by then counts as
// held by another program. Wine has no such locks (its opens never answer
// that a break is in progress).
#pragma once

#include <windows.h>

#include "base/nt_file.h"

// How long the hook waits for another program to let go of its lock.
const DWORD kLockBreakWaitMs = 2000;

// Opens name (length characters, one component; "" is the item open at
// folder itself) relative to the folder open at folder with access, sharing
// and options, never waiting for another program without a bound: 0, with
// *item open; ERROR_SHARING_VIOLATION when another program's lock was not
// let go within kLockBreakWaitMs; or why it did not open.
DWORD OpenWithoutWaiting(HANDLE folder, const wchar_t* name, size_t length, ACCESS_MASK access, ULONG sharing,
                         ULONG options, HANDLE* item);
