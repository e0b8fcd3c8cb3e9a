// The file lists the hook works through, as the tests record them on their
// own (the hook spells them in hook/product.h), in the order the hook
// handles them. Entries begin
// with a backslash and are relative to the folder named beside each list.
// And the stand-in programs that tests put where the payload has its own.
#pragma once

#include <string>
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

// The stand-in programs at their places below the application's folder: the
// stand-in filter module (test_filter.dll) at every filter entry, and the
// stand-in analyzer (vlx_child.exe, which exits at once with 0). False when
// a copy failed.
bool PlaceStandInFilters(const std::wstring& app);
bool PlaceStandInAnalyzer(const std::wstring& app);
