#include "actions/companion_organizer.h"

#include <windows.h>
#include <shlwapi.h>

#include "actions/process.h"
#include "base/checked_text.h"
#include "base/delete_below.h"
#include "base/guards.h"
#include "base/no_follow.h"
#include "hook/log.h"
#include "hook/product.h"
#include "hook/properties.h"
#include "registry/keys.h"

namespace {

const wchar_t kAnalyzer[] = VLX_WIDE(VLX_ANALYZER);
const uint32_t kAnalyzerTimeoutMilliseconds = 30000;
const size_t kCommandChars = 1024;

const wchar_t kOrganizerKey[] = VLX_WIDE(VLX_ORGANIZER_KEY);
// The value is read into 1024 characters, accepting 1024 bytes of data.
const size_t kOrganizerValueChars = 1024;
const DWORD kOrganizerValueBytes = 1024;

const wchar_t* const kCaHeadlessFiles[] = {VLX_CAHEADLESS_FILES(VLX_WIDE_ENTRY)};

}  // namespace

int32_t StopCAHeadlessService(const HookContext* context) {
    LogMessage(context, "VLX: Start of StopCAHeadlessService", kLogLevelProgress);
    // Without the install folder there is no analyzer to start.
    wchar_t installDir[kPathChars] = {};
    if (GetInstallDir(context, installDir)) {
        LogFormattedLine(context, L"InstallDir: %ls", installDir);
        wchar_t command[kCommandChars] = {};
        // Fits: the install folder is at most 259 characters.
        CheckedJoin(command, {L"\"", installDir, kAnalyzer, L"\" -uninstall"});
        LogFormattedLine(context, L"Commandline: %ls", command);
        const int32_t exitCode = RunProcessAndWait(command, kAnalyzerTimeoutMilliseconds);
        LogFormattedLine(context, L"Return Code: %d", exitCode);
    }
    LogMessage(context, "VLX: End of StopCAHeadlessService", kLogLevelProgress);
    return 0;
}

void GetCXInstallDir(const HookContext* context, wchar_t (&folder)[kPathChars]) {
    folder[0] = L'\0';
    wchar_t value[kOrganizerValueChars] = {};
    {
        const RegKey key =
            OpenRegKey(HKEY_LOCAL_MACHINE, kOrganizerKey, KEY_ALL_ACCESS | KEY_WOW64_64KEY);
        if (!key.valid() || !ReadTextValue(key.get(), nullptr, value, kOrganizerValueBytes)) {
            return;
        }
    }
    LogMessage(context, "VLX: GET CX install dir successful. ", kLogLevelProgress);
    LogMessage(context, "VLX: CX Install dir is : ", kLogLevelProgress);
    PathRemoveBackslashW(value);
    LogWideMessage(context, value);
    if (!CheckedCopy(folder, value)) {
        LogPathTooLong(context);
    }
}

void deleteVLXFilesFromCaheadless(const HookContext* context) {
    LogMessage(context, "VLX: Start of deleteVLXFilesFromCaheadless", kLogLevelProgress);
    wchar_t organizer[kPathChars] = {};
    GetCXInstallDir(context, organizer);
    if (!IsFullPath(organizer)) {
        // Never "\CAHeadless\..." at the root or in the current folder of a drive.
        LogMessage(context, "VLX: CX install dir not available. No file deleted.",
                   kLogLevelProgress);
    } else {
        for (const wchar_t* entry : kCaHeadlessFiles) {
            LogWideMessage(context, entry);
            wchar_t path[kPathChars] = {};
            if (!CheckedJoin(path, {organizer, L"\\CAHeadless", entry})) {
                LogPathTooLong(context);
                continue;
            }
            if (PathFileExistsW(path) == TRUE) {
                LogMessage(context, "VLX: Delete File: ", kLogLevelProgress);
                LogWideMessage(context, path);
                // Attributes are left alone: a read-only file stays.
                LeftAside leftAside;
                LogDeletion(context, DeleteBelow(organizer, path, &leftAside), leftAside);
            }
        }
    }
    LogMessage(context, "VLX: End of deleteVLXFilesFromCaheadless", kLogLevelProgress);
}
