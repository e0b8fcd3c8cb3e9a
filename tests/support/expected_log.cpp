#include "tests/support/expected_log.h"

#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/payload.h"

namespace {

const char kExtractingInstallDirLine[] = "Extracting INSTALLDIR...";
const char kNoInstallDirLine[] = "VLX: INSTALLDIR not found. Install folder not available.";

}  // namespace

const char kPathTooLongLine[] = "VLX: Path too long. Skipped.";
const char kLinkSkippedLine[] = "VLX: Link in path. Skipped.";
const char kWalkBoundLine[] = "VLX: Folder tree too deep or too large. The rest is left as it is.";
const char kOpenOptionKeyLine[] = "VLX: Open HKEY_LOCAL_MACHINE\\" VLX_OPTION_KEY " success";
const char kRefusedLocationLine[] =
    "VLX: STARTMENULOCATION is not a folder below the Start Menu. Ignored.";
const char kPinSetLine[] = "VLX: PINWSTOTASKBAR set to TRUE.";
const char kOrganizerMissingLine[] = "VLX: CX install dir not available. No file deleted.";

std::string CouldNotDeleteLine(unsigned long error) {
    return "VLX: Could not delete. Error " + std::to_string(error) + ".";
}

const ActionFrame kRegisterFiltersFrame = {"RegisterMainConceptFilters",
                                           "VLX: BEGIN - Register Main Concept Filters",
                                           "VLX: END - Register Main Concept Filters"};
const ActionFrame kUnregisterFiltersFrame = {"UnRegisterMainConceptFilters",
                                             "VLX: BEGIN - UnRegister Main Concept Filters",
                                             "VLX: END - UnRegister Main Concept Filters"};
// Shortcut creation has no frame of its own; the install folder's lookup is
// the one line it always sends.
const ActionFrame kCreateShortcutsFrame = {"CreateShortcuts", kExtractingInstallDirLine, nullptr};
// Shortcut removal always ends with the pin removal.
const ActionFrame kDeleteShortcutsFrame = {"DeleteShortcuts",
                                           "VLX: Start DeleteRegPinDRQWelcomeScreenToTaskBar",
                                           "VLX: End DeleteRegPinDRQWelcomeScreenToTaskBar"};
const ActionFrame kDeleteOptionKeyFrame = {"DeleteInstallerRegistries",
                                           "VLX: Start of DeleteInstallerRegistries",
                                           "VLX: End of DeleteInstallerRegistries"};
const ActionFrame kOrganizerCleanupFrame = {"deleteVLXFilesFromCaheadless",
                                            "VLX: Start of deleteVLXFilesFromCaheadless",
                                            "VLX: End of deleteVLXFilesFromCaheadless"};
const ActionFrame kStopAnalyzerFrame = {"StopCAHeadlessService", "VLX: Start of StopCAHeadlessService",
                                        "VLX: End of StopCAHeadlessService"};
const ActionFrame kOemFilesFrame = {"UninstallOEMFiles", "VLX: BEGIN - Uninstall OEM Files",
                                    "VLX: END - Uninstall OEM Files"};
const ActionFrame kFixPermissionFrame = {"FixPermission", "VLX: FixPermission", nullptr};

Lines operator+(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

Lines L4s(const std::vector<std::string>& texts) {
    Lines lines;
    for (const std::string& text : texts) {
        lines.push_back(L4(text));
    }
    return lines;
}

size_t CountLines(const Lines& lines, const std::string& text) {
    size_t count = 0;
    for (const LogLine& line : lines) {
        count += line.text == text ? 1 : 0;
    }
    return count;
}

namespace {

// The entry lines of a list; the line after an entry, where given.
Lines Entries(const std::vector<const wchar_t*>& entries, const wchar_t* after = nullptr,
              const std::string& line = "") {
    Lines lines;
    for (const wchar_t* entry : entries) {
        lines.push_back(L4(ToUtf8(entry)));
        if (after != nullptr && std::wstring(entry) == after) {
            lines.push_back(L4(line));
        }
    }
    return lines;
}

}  // namespace

Lines InstallDirLines(const std::string& installDir) {
    return L4s({kExtractingInstallDirLine, installDir});
}

Lines NoInstallDirLines() {
    return L4s({kExtractingInstallDirLine, kNoInstallDirLine});
}

Lines RegisterFiltersLines(const std::string& installDir) {
    return L4s({kRegisterFiltersFrame.first}) + InstallDirLines(installDir) +
           Entries(kFiltersToRegister) + L4s({kRegisterFiltersFrame.last});
}

Lines UnregisterFiltersLines(const std::string& installDir) {
    return L4s({kUnregisterFiltersFrame.first}) + InstallDirLines(installDir) +
           Entries(kFiltersToUnregister) + L4s({kUnregisterFiltersFrame.last});
}

Lines OemFilesLines(const std::string& installDir, const wchar_t* notDeleted, unsigned long error) {
    return L4s({kOemFilesFrame.first}) + InstallDirLines(installDir) +
           Entries(kOemFiles, notDeleted, CouldNotDeleteLine(error)) + Entries(kOemFolders) +
           L4s({kOemFilesFrame.last});
}

Lines LinkLines() {
    return L4s({"VLX: BEGIN - Link Creation", "VLX: Entering CoCreateInstance succeded block",
                "VLX: Entering QueryInterface succeeded block", "VLX: END - Link Creation Successful"});
}

Lines LocationLines(const std::wstring& link, const std::wstring& target) {
    return L4s({"VLX: Shortcut Location: ", ToUtf8(link), "VLX: Exe Location: ", ToUtf8(target)});
}

Lines PinRemovalLines() {
    return L4s({kDeleteShortcutsFrame.first, "VLX: Start DeletePinnedShortcut",
                "VLX: End DeletePinnedShortcut", kDeleteShortcutsFrame.last});
}

Lines OptionKeyRemovalLines() {
    return L4s({kDeleteOptionKeyFrame.first, kDeleteOptionKeyFrame.last});
}

Lines MissingOptionKeyLines() {
    return L4s({kDeleteOptionKeyFrame.first,
                "Registry doesnt exists = HKEY_LOCAL_MACHINE\\" VLX_OPTION_KEY,
                kDeleteOptionKeyFrame.last});
}

Lines NoOrganizerLines() {
    return L4s({kOrganizerCleanupFrame.first, kOrganizerMissingLine, kOrganizerCleanupFrame.last});
}

Lines AnalyzerLines(const std::string& installDir, const std::wstring& app, const std::string& code) {
    const std::string analyzer = ToUtf8(app) + VLX_ANALYZER;
    return L4s({kStopAnalyzerFrame.first}) + InstallDirLines(installDir) +
           L4s({"InstallDir: " + ToUtf8(app), "Commandline: \"" + analyzer + "\" -uninstall",
                "Return Code: " + code, kStopAnalyzerFrame.last});
}

Lines FixPermissionLines(const std::wstring& folder, int code) {
    return L4s({kFixPermissionFrame.first, "         Folder: \"" + ToUtf8(folder) + "\"",
                "         Return code: " + std::to_string(code)});
}

Lines RefusedOn64BitLines() {
    return AllowedOn32BitLines() +
           Lines{L4("VLX: 32 installer running on Win7 and above 64 bit machine"),
                 LogLine{2, "This installer does not support installation on a 64-Bit Windows "
                            "operating system. Please download the 64-Bit version of Montavo "
                            "Fablio."}};
}

Lines AllowedOn32BitLines() {
    return L4s({"In InstallPreSystemCheckProc", "VLX: 32 bit installer running"});
}

Lines ActionLines(const Lines& lines, const ActionFrame& frame) {
    return Between(lines, frame.first, frame.last);
}
