// Removing a registry key that holds nothing.
#pragma once

#include <windows.h>

// Deletes the key at subKey below root (in the process's own view) when it
// holds neither values nor sub-keys: 0 when it did, ERROR_DIR_NOT_EMPTY when
// it holds anything, otherwise the registry's status (ERROR_FILE_NOT_FOUND
// for a key that is not there). Wine's SHDeleteEmptyKeyW deletes a key that
// still holds values (only sub-keys stop it), so emptiness is checked first;
// on Windows, which refuses such a key itself, the check changes nothing.
LONG DeleteKeyIfEmpty(HKEY root, const wchar_t* subKey);
