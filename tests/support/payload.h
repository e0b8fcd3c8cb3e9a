// The file lists the hook works through, as the tests expect them: each list
// is spelled once here, in the order the hook handles it. Entries begin with
// a backslash and are relative to the folder named beside each list.
#pragma once

#include <vector>

// Below the application's folder: registered at install, unregistered
// before the payload is replaced or removed.
extern const std::vector<const wchar_t*> kFiltersToRegister;
extern const std::vector<const wchar_t*> kFiltersToUnregister;

// Below the application's folder: deleted at uninstall (PatentLegalNotice
// twice, as the hook lists it), and the folder trees pruned after them.
extern const std::vector<const wchar_t*> kOemFiles;
extern const std::vector<const wchar_t*> kOemFolders;

// Below the companion organizer's "\CAHeadless" folder: deleted at uninstall.
extern const std::vector<const wchar_t*> kCaHeadlessFiles;
