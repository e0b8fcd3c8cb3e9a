// The temporary name a held file takes in its own folder before the old
// mark, since the mark alone would keep its name taken until the program
// that holds it lets go (the way such a file goes: delete_below.h). The
// rename goes through the handle of the proven folder the file was opened in.
#pragma once

#include <windows.h>

#include "base/deletion_record.h"

// Gives the file open at file, found at path in the proven folder open at
// folder, a temporary name in that folder from the system's random source,
// never one that is taken or that another file's record holds (nothing is
// overwritten), each recorded first (record: the file's proof, how it is to
// be deleted, and the base it was found below). The caller makes sure the temporary
// path fits the path limit, and removes the record once the deletion has its
// answer. 0, with temporaryPath set, when it did; otherwise why not, with no
// record left but where a rename reported failed leaves the file's name
// untold: the random source fails, the record cannot be written, no name is
// free (ERROR_ALREADY_EXISTS), or the rename is refused.
DWORD MoveAside(HANDLE folder, HANDLE file, const wchar_t* path, const DeletionRecord& record,
                wchar_t (&temporaryPath)[kPathChars]);

// Gives the file its own name, the last component of path, back in the
// folder MoveAside opened: 0, or why not (ERROR_ALREADY_EXISTS when the name
// was taken meanwhile).
DWORD MoveBack(HANDLE folder, HANDLE file, const wchar_t* path);
