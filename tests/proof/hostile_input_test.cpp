// Hostile inputs: property maps and registry contents a host or a machine
// may hand the hook, generated from a seed, each run through one phase (the
// phases in turn) on a populated machine, with the invariants of the fault
// matrix. A case is a function of the seed and its number alone: the seed is
// printed, and a failing case with what replays it alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdint.h>

#include <iostream>
#include <string>

#include "base/guards.h"
#include "hook/product.h"
#include "tests/proof/harness.h"
#include "tests/proof/hostile_generator.h"
#include "tests/support/environment.h"
#include "tests/support/hook_dll.h"
#include "tests/support/phases.h"
#include "tests/support/shell.h"

namespace {

void Write(HKEY root, const std::wstring& subKey, const wchar_t* name, const RegistryValue& value,
           REGSAM view) {
    RegKey key;
    if (RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (value.present) {
        RegSetValueExW(key.get(), name, 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    } else {
        RegDeleteValueW(key.get(), name);
    }
}

std::wstring HostileProfile(size_t i) {
    return std::wstring(kProfileListKey) + L"\\S-1-5-21-9-9-9-H" + std::to_wstring(i);
}

// The case's registry contents and files, over the laid-out machine.
void Apply(const HostileCase& c) {
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kOptionParentKey);
    if (c.optionKey) {
        Write(HKEY_LOCAL_MACHINE, kOptionKey, L"NODESKTOPICON", c.noDesktopIcon, 0);
        Write(HKEY_LOCAL_MACHINE, kOptionKey, L"PINWSTOTASKBAR", c.pinToTaskbar, 0);
        Write(HKEY_LOCAL_MACHINE, kOptionKey, L"STARTMENULOCATION", c.startMenuLocation, 0);
    }
    Write(HKEY_LOCAL_MACHINE, kOrganizerKey, nullptr, c.organizer, KEY_WOW64_64KEY);
    Write(HKEY_LOCAL_MACHINE, kPinKey, kPinValueName, c.pin, KEY_WOW64_64KEY);
    Write(HKEY_LOCAL_MACHINE, kProfileListKey, L"Default", c.defaultProfile, 0);
    Write(HKEY_USERS, kDefaultUserShellFolders, L"AppData", c.appData, 0);
    for (size_t i = 0; i < c.profiles.size(); ++i) {
        Write(HKEY_LOCAL_MACHINE, HostileProfile(i), L"ProfileImagePath", c.profiles[i], 0);
    }
    if (c.readOnlyShortcuts) {
        for (const std::wstring& link : {CommonDesktop() + L"\\" + kLinkFile, CommonPrograms() + L"\\" + kLinkFile}) {
            WriteTextFile(link, "an older shortcut");
            SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_READONLY);
        }
    }
}

void Unapply(const HostileCase& c) {
    for (size_t i = 0; i < c.profiles.size(); ++i) {
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, HostileProfile(i));
    }
}

int32_t ExpectedResult(const HostileCase& c, const PhaseFacts& phase) {
    if (phase.mode != Install || phase.entry != PreSystemCheck || c.nullMap || !InWin64Prefix()) {
        return 0;
    }
    for (const HostileCase::Property& property : c.properties) {
        if (property.name == "ProductName") {
            return !property.null && property.value == VLX_PRODUCT_NAME ? 6 : 0;
        }
    }
    return 0;
}

// Windows refuses to save over a read-only shortcut: the hook says so.
void CheckReadOnlySave(const HostileCase& c, const PhaseFacts& phase, PhaseOutcome* outcome) {
    if (!c.readOnlyShortcuts || phase.mode != Install || phase.entry != PostPayload) {
        return;
    }
    const Lines& lines = outcome->lines;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].text == "VLX: Creating Desktop Shortcut" &&
            (i + 4 >= lines.size() || lines[i + 4].text != "VLX: END - Link Creation Failed. Shortcut not saved.")) {
            outcome->problems.push_back("a save over the read-only desktop shortcut was not reported as failed");
        }
    }
}

TEST(ProofHostileInputs, EveryPhaseTakesHostileInputsSafely) {
    const uint64_t seed = EnvironmentNumber("VLX_HOSTILE_SEED", GetTickCount() ^ (GetCurrentProcessId() << 16));
    const uint64_t only = EnvironmentNumber("VLX_HOSTILE_CASE", ~0ull);
    ProofReport report("hostile inputs", "ProofHostileInputs", only != ~0ull);
    // 10,000 cases a run: the first half in the win64 prefix, the second in
    // the win32 prefix, of one seed when both are given the same.
    const uint32_t count = static_cast<uint32_t>(EnvironmentNumber("VLX_HOSTILE_CASES", 5000));
    const uint32_t first = static_cast<uint32_t>(EnvironmentNumber("VLX_HOSTILE_FIRST", InWin64Prefix() ? 0 : count));
    std::cout << "hostile inputs: seed " << seed << std::endl;

    ProofHook hook;
    ASSERT_TRUE(hook.unknownImports().empty());
    ProofMachine machine;
    ScopedRegistryValue defaultProfile(HKEY_LOCAL_MACHINE, kProfileListKey, L"Default");
    ScopedRegistryValue appData(HKEY_USERS, kDefaultUserShellFolders, L"AppData");
    const HostileTargets targets{machine.machine().installDir(), machine.machine().organizer(),
                                 machine.machine().profile()};

    const uint32_t begin = only != ~0ull ? static_cast<uint32_t>(only) : first;
    const uint32_t end = only != ~0ull ? begin + 1 : first + count;
    for (uint32_t number = begin; number < end; ++number) {
        if (!report.Samples(number - begin)) {
            continue;
        }
        const HostileCase c = GenerateCase(seed, number, targets);
        const PhaseFacts& phase = AllPhases()[c.phase];
        Apply(c);
        PropertyMapBuilder properties;
        for (const HostileCase::Property& property : c.properties) {
            property.null ? properties.SetNull(property.name) : properties.Set(property.name, property.value);
        }
        Places places = machine.places();
        places.startMenuFolder = c.startMenuTop;
        // The files are as laid out but for the shortcuts a case may put there.
        MachineState before = machine.pristine();
        TakeRegistryState(&before);
        if (c.readOnlyShortcuts) {
            TakeShellFolderState(&before);
        }
        PhaseOutcome outcome = RunPhaseChecked(hook, c.nullMap ? nullptr : properties.map(), phase, places,
                                               before, ExpectedResult(c, phase));
        CheckReadOnlySave(c, phase, &outcome);
        Unapply(c);
        defaultProfile.Restore();
        appData.Restore();
        machine.Restore(outcome.after);
        report.Count(!outcome.problems.empty(), c.Describe() + "\n" + outcome.Told(),
                     "VLX_HOSTILE_SEED=" + std::to_string(seed) + " VLX_HOSTILE_CASE=" + std::to_string(number));
    }
    report.Tally("cases (seed " + std::to_string(seed) + ")", end - begin);
}

}  // namespace
