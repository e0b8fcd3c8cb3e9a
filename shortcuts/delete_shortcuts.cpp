#include "shortcuts/delete_shortcuts.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "base/checked_text.h"
#include "base/delete_below.h"
#include "base/guards.h"
#include "base/no_follow.h"
#include "hook/log.h"
#include "shortcuts/shortcut_options.h"
#include "shortcuts/taskbar_pin.h"

namespace {

// Each removed folder gets a moment before its parent is looked at.
const DWORD kFolderRemovalPauseMilliseconds = 1000;

void DeleteDesktopShortcut(const HookContext* context) {
    wchar_t desktop[kPathChars] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr,
                                SHGFP_TYPE_CURRENT, desktop))) {
        LogMessage(context, "VLX: Could not find Desktop Directory. Shortcut not deleted",
                   kLogLevelProgress);
        return;
    }
    LogMessage(context, "VLX: Deleting Desktop Shortcut.", kLogLevelProgress);
    wchar_t link[kPathChars] = {};
    if (!CheckedJoin(link, {desktop, kShortcutFileName})) {
        LogPathTooLong(context);
        return;
    }
    LogWideMessage(context, link);
    // Clears a read-only attribute; a missing file is no error.
    LeftAside leftAside;
    LogDeletion(context, ForceDeleteBelow(desktop, link, &leftAside), leftAside);
}

// The custom Start-menu location from the option key; empty when not set.
void ReadStartMenuLocation(const HookContext* context, wchar_t (&location)[kPathChars]) {
    const RegKey key = OpenOptionKey();
    if (key.valid()) {
        QueryStartMenuLocation(context, key.get(), location);
    }
}

// True when path lies strictly below folder.
bool IsBelow(const wchar_t* path, const wchar_t* folder) {
    const size_t length = wcslen(folder);
    return wcsncmp(path, folder, length) == 0 && path[length] == L'\\' && path[length + 1] != L'\0';
}

// How many folders path names below the programs folder, whose path is
// programsLength characters long.
size_t Depth(const wchar_t* path, size_t programsLength) {
    size_t depth = 0;
    for (const wchar_t* c = path + programsLength; *c != L'\0'; ++c) {
        depth += *c == L'\\' && c[1] != L'\0' && c[1] != L'\\' ? 1 : 0;
    }
    return depth;
}

// Removes the folder that held the shortcut and each parent below the
// programs folder, innermost first, for as long as each is empty. Each goes
// through its handle, opened by name in the folder above (its attributes
// stay, as RemoveDirectoryW leaves them); a link on the way or a refusal ends
// the walk, a folder that is not there does not. levels holds the programs
// folder and each folder below it down to the shortcut's (a folder at depth d
// is levels[d]): opened of them, stopped why the next did not open.
void PruneCustomFolders(const HookContext* context, wchar_t (&path)[kPathChars], const wchar_t* programs,
                        FileHandle* levels, size_t opened, DWORD stopped) {
    PathRemoveFileSpecW(path);
    const size_t programsLength = wcslen(programs);
    while (IsBelow(path, programs)) {
        LogMessage(context, "VLX: Deleting Custom Start menu heirarchy.", kLogLevelProgress);
        LogWideMessage(context, path);
        const size_t depth = Depth(path, programsLength);
        // A folder that is not there is passed as if removed: a run that
        // was ended after removing it still prunes its emptied parents.
        if (depth < opened || !NotThere(stopped)) {
            // Its removal tells whether it is empty (a folder that holds
            // anything is refused); another refusal, or a folder not reached,
            // is judged by a look at it. Opened for its removal alone (a
            // handle that may delete it keeps others from listing it) through
            // the handle the walk down opened, which closes first, it goes
            // when that handle closes, before its parent is looked at.
            DWORD removed = stopped;
            if (depth < opened) {
                FileHandle removing;
                removed = Reopen(levels[depth].get(), DELETE, kShareAll, kFolderItem, &removing);
                levels[depth].reset();
                if (removed == ERROR_SUCCESS) {
                    removed = RemoveOpenFolder(removing.get(), 0);
                }
            }
            const bool empty = removed == ERROR_SUCCESS ||
                               (removed != ERROR_DIR_NOT_EMPTY && PathIsDirectoryEmptyW(path) != FALSE);
            if (!empty) {
                LogMessage(context, "VLX: Directory not Empty. Don't check further.", kLogLevelProgress);
                return;
            }
            LogMessage(context, "VLX: Directory Empty. Delete.", kLogLevelProgress);
            if (IsRefusedAsLink(removed)) {
                LogLinkSkipped(context);
            }
            if (removed != ERROR_SUCCESS) {
                return;
            }
            Sleep(kFolderRemovalPauseMilliseconds);
        }
        // Each pass goes one folder up: should the path not get shorter, a
        // folder that could not be removed would be looked at for ever.
        const size_t length = wcslen(path);
        PathRemoveFileSpecW(path);
        if (wcslen(path) >= length) {
            return;
        }
    }
}

void DeleteStartMenuShortcut(const HookContext* context, wchar_t (&location)[kPathChars]) {
    wchar_t path[kPathChars] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT,
                                path))) {
        LogMessage(context, "VLX: Could not find Start Menu Directory. Shortcut not deleted",
                   kLogLevelProgress);
        return;
    }
    wchar_t programs[kPathChars] = {};
    CheckedCopy(programs, path);
    PathRemoveBackslashW(programs);
    LogMessage(context, "VLX: Deleting Start Menu Shortcut", kLogLevelProgress);
    if (location[0] != L'\0') {
        LogMessage(context, "VLX: Custom STARTMENULOCATION set.", kLogLevelProgress);
        PathRemoveBackslashW(location);
        PathRemoveBackslashW(path);
        if (!CheckedJoin(path, {path, L"\\", location})) {
            LogPathTooLong(context);
            return;
        }
    }
    if (!CheckedJoin(path, {path, kShortcutFileName})) {
        LogPathTooLong(context);
        return;
    }
    LogWideMessage(context, path);
    // The programs folder and each folder down to the shortcut's, opened
    // once, each by name in the one above: the deletion and the walk up
    // share them.
    wchar_t folder[kPathChars] = {};
    CheckedCopy(folder, path);
    PathRemoveFileSpecW(folder);
    FileHandle levels[kPathChars / 2];
    size_t opened = 0;
    const DWORD stopped = OpenEachBelow(programs, folder, levels, kPathChars / 2, &opened);
    LeftAside leftAside;
    LogDeletion(context,
                stopped == ERROR_SUCCESS ? ForceDeleteIn(levels[opened - 1].get(), programs, path, &leftAside)
                                         : stopped,
                leftAside);
    PruneCustomFolders(context, path, programs, levels, opened, stopped);
}

}  // namespace

void DeleteShortcuts(const HookContext* context) {
    DeleteDesktopShortcut(context);
    wchar_t location[kPathChars] = {};
    ReadStartMenuLocation(context, location);
    DeleteStartMenuShortcut(context, location);
    DeleteRegPinDRQWelcomeScreenToTaskBar(context);
}
