// The hostile inputs' cases: property maps and registry contents generated
// from a seed and a case's number alone (hostile_input_test.cpp runs them).
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

// A registry value as a case writes it; absent when not present.
struct RegistryValue {
    bool present = false;
    DWORD type = REG_SZ;
    std::vector<BYTE> data;
};

struct HostileCase {
    uint64_t seed = 0;
    uint32_t number = 0;
    size_t phase = 0;                 // into AllPhases()
    bool nullMap = false;
    struct Property {
        std::string name;
        bool null;
        std::string value;            // UTF-8, or any bytes
    };
    std::vector<Property> properties;
    bool optionKey = false;
    RegistryValue noDesktopIcon, pinToTaskbar, startMenuLocation;
    RegistryValue organizer;          // the organizer key's default value
    RegistryValue pin;                // SBOEM2 in the 64-bit view
    RegistryValue defaultProfile;     // ProfileList\Default
    RegistryValue appData;            // the default user's AppData
    std::vector<RegistryValue> profiles;  // ProfileImagePath of added profiles
    bool readOnlyShortcuts = false;   // the shortcuts are there already, read-only
    // The Start-menu folder's top the hook may use, as the case names it.
    std::wstring startMenuTop;

    // What a reader needs to see the case, and to replay it.
    std::string Describe() const;
};

// Real places on the machine the cases aim at besides garbage.
struct HostileTargets {
    std::wstring installDir;
    std::wstring organizer;
    std::wstring profile;
};

HostileCase GenerateCase(uint64_t seed, uint32_t number, const HostileTargets& targets);
