// Where Wine is more lenient than Windows, the proof runs behave as Windows
// does: run as root, Wine opens a read-only file for writing and lets the
// shell-link object save over a read-only shortcut; Windows refuses both.
// (Deleting a read-only file Wine refuses already, as Windows does.)
#pragma once

#include <windows.h>
#include <objbase.h>

// CoCreateInstance as the hook gets it in the proof runs: the shell-link
// object it hands out refuses to save over a read-only file
// (E_ACCESSDENIED), as on Windows; everything else is the real object.
HRESULT WINAPI CreateWindowsLikeObject(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                       LPVOID* object);

// Calls before() before each save of such a shell-link object (null: nothing).
void CallBeforeSave(void (*before)());

// CreateFileW as on Windows: opening a read-only file for writing its data
// fails with ERROR_ACCESS_DENIED.
HANDLE WINAPI CreateFileWindowsLike(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                    DWORD disposition, DWORD flags, HANDLE templateFile);
