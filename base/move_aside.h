// The old deletion's way to free a name at once: a file that another program
// holds open takes a temporary name in its own folder before it is marked
// for deletion, since the mark alone would keep its name taken until that
// program lets go (each step, and what a kill after it leaves: the table in
// docs/safety.md). The rename goes through the handle of the
// proven folder the file was opened in.
#pragma once

#include <windows.h>

#include "base/deletion_record.h"
#include "base/guards.h"
#include "base/no_follow.h"

// Gives the file open at file, found at path below base in the proven folder
// open at folder, a temporary name in that folder: a name from the system's
// random source, never one that is taken or that another file's record holds
// (nothing is overwritten). Each rename is recorded first
// (deletion_record.h; record holds the file's proof and how it is to be
// deleted, and gets base), and the record stays for the caller to remove
// once the deletion has its answer. A rename that reports failure keeps its
// record unless the file is seen to have kept its own name: under the
// temporary name it counts as done, and where its name cannot be told the
// next run finishes it. The caller makes sure that the temporary path fits
// within the path limit. 0, with temporaryPath set, when it did; otherwise
// why not, with nothing changed and no record left but as above: the random
// source fails, the record cannot be written, no name is free
// (ERROR_ALREADY_EXISTS), or the rename is refused.
DWORD MoveAside(HANDLE folder, HANDLE file, const wchar_t* base, const wchar_t* path, const DeletionRecord& record,
                wchar_t (&temporaryPath)[kPathChars]);

// Gives the file its own name, the last component of path, back in the
// folder MoveAside opened: 0, or why not (ERROR_ALREADY_EXISTS when the name
// was taken meanwhile).
DWORD MoveBack(HANDLE folder, HANDLE file, const wchar_t* path);
