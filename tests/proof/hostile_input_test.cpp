// Hostile inputs: property maps and registry contents a host or a machine
// may hand the hook, generated from a seed, each run through one phase (the
// phases in turn) on a populated machine, with the invariants of the fault
// matrix. A case is a function of the seed and its number alone: the seed is
// printed, and a failing case with what replays it alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/guards.h"
#include "hook/product.h"
#include "tests/proof/harness.h"
#include "tests/support/environment.h"
#include "tests/support/hook_dll.h"
#include "tests/support/phases.h"
#include "tests/support/shell.h"

namespace {

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

// splitmix64: the numbers of one case from its seed and number alone.
class Random {
public:
    Random(uint64_t seed, uint32_t number) : state_(seed ^ (0x9E3779B97F4A7C15ull * (number + 1))) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t Below(size_t count) { return static_cast<size_t>(Next() % count); }
    bool Chance(unsigned percent) { return Below(100) < percent; }

private:
    uint64_t state_;
};

std::wstring Upper(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), towupper);
    return text;
}

std::wstring Slashes(std::wstring text) {
    std::replace(text.begin(), text.end(), L'\\', L'/');
    return text;
}

// A path as a value may name a real place: the place itself, spelled other
// ways, or something that is no path of it at all.
std::wstring PathLike(Random& random, const std::wstring& real) {
    const std::wstring parent = real.substr(0, real.find_last_of(L'\\'));
    const std::wstring leaf = real.substr(real.find_last_of(L'\\') + 1);
    switch (random.Below(27)) {
        case 0: case 1: case 2: return real;
        case 3: return real + L"\\";
        case 4: return real + L"\\\\";
        case 5: return Slashes(real);
        case 6: return Upper(real);
        case 7: return parent + L"\\.\\" + leaf;
        case 8: return real + L"\\..\\" + leaf;
        case 9: return L"Apps";
        case 10: return L"\\";
        case 11: return L"\\Apps";
        case 12: return L"S:Apps";
        case 13: return L"S:\\";
        case 14: return L"\\\\vlx-nowhere\\share\\Apps";
        case 15: return L"\\\\?\\" + real;
        case 16: return real + L"\\" + std::wstring(300, L'x');
        case 17: return std::wstring(2000, L'y');
        case 18: return L"%TEMP%\\" + leaf + L"\\%%\\%VLX_UNSET_VARIABLE%";
        case 19: return parent + L"\\\u00dcn\u00efc\u00f8d\u00e9 \u65e5\u672c \U0001F3B5";
        case 20: return L"";
        // Characters Windows refuses in a name, and a device path.
        case 21: return real + L"\" /u /s \"x";
        case 22: return parent + L"\\a<b>|c*?";
        case 23: return real + L":stream";
        case 24: return parent + L"\\a\tb\x01";
        case 25: return L"\\\\.\\" + real;
        default: return L"..\\..\\..\\Windows";
    }
}

std::string InvalidUtf8(Random& random) {
    const char* const forms[] = {"\xff\xfe", "S:\\\xc0\xaf", "S:\\\xe2\x82", "S:\\\xed\xa0\x80", "\x80"};
    return forms[random.Below(5)];
}

// UTF-8 text of a path-like value, or bytes that are not UTF-8 at all.
std::string Utf8PathLike(Random& random, const std::wstring& real) {
    return random.Chance(8) ? InvalidUtf8(random) + ToUtf8(PathLike(random, real)) : ToUtf8(PathLike(random, real));
}

std::vector<BYTE> Bytes(const std::wstring& text, bool terminated) {
    const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(begin, begin + (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}

// A value of any registry type holding text, or something that is not text.
RegistryValue ValueOf(Random& random, const std::wstring& text) {
    RegistryValue value;
    value.present = !random.Chance(12);
    const DWORD types[] = {REG_SZ, REG_SZ, REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD,
                           REG_QWORD, REG_NONE};
    value.type = types[random.Below(9)];
    switch (random.Below(8)) {
        case 0: value.data = Bytes(text, false); break;  // no terminator
        case 1: value.data = Bytes(text, true); value.data.pop_back(); break;  // odd size
        case 2: value.data.clear(); break;
        case 3: value.data = {1, 0, 0, 0}; break;
        case 4: value.data = Bytes(std::wstring(600, L'A') + text, true); break;
        default: value.data = Bytes(text, true); break;
    }
    return value;
}

std::wstring OptionText(Random& random) {
    const wchar_t* const texts[] = {L"1", L"0", L"01", L"1 ", L"true", L"", L"VLX Media\\Video",
                                    L"VLX Media\\Video\\", L"\\VLX Media", L"\\\\srv\\share", L"S:\\Windows",
                                    L"..\\..\\VLX Escape", L"VLX Media\\..\\..\\x", L"%TEMP%", L"VLX Media/Video",
                                    L"\\\\\\VLX Media", L" ", L"."};
    return random.Chance(5) ? std::wstring(300, L'm') : texts[random.Below(18)];
}

// The Start-menu folder the hook may take from the case's location value:
// its first component, after one leading backslash.
std::wstring StartMenuTop(const RegistryValue& value) {
    if (!value.present) {
        return L"";
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / sizeof(wchar_t));
    text.resize(std::min(text.find(L'\0'), text.size()));
    if (!text.empty() && (text[0] == L'\\' || text[0] == L'/')) {
        text.erase(0, 1);
    }
    return text.substr(0, text.find_first_of(L"\\/"));
}

void AddProperties(Random& random, const HostileTargets& targets, HostileCase* hostile) {
    const std::string product = VLX_PRODUCT_NAME;
    const std::string names[] = {"ProductName", "INSTALLDIR"};
    for (const std::string& name : names) {
        const int copies = random.Chance(10) ? 0 : (random.Chance(10) ? 2 : 1);  // missing, duplicated
        for (int copy = 0; copy < copies; ++copy) {
            HostileCase::Property property{name, random.Chance(5), ""};
            if (name == "ProductName") {
                const std::string others[] = {product, product, product + " ", "kestrune montavo fablio 15",
                                              "", std::string(5000, 'p'), InvalidUtf8(random), "50% %s %d"};
                property.value = others[random.Below(8)];
            } else {
                property.value = Utf8PathLike(random, targets.installDir);
            }
            hostile->properties.push_back(property);
        }
    }
    if (random.Chance(10)) {
        hostile->properties.push_back({"Other", false, "value"});
    }
    hostile->nullMap = random.Chance(2);
}

HostileCase GenerateCase(uint64_t seed, uint32_t number, const HostileTargets& targets) {
    Random random(seed, number);
    HostileCase hostile;
    hostile.seed = seed;
    hostile.number = number;
    hostile.phase = number % AllPhases().size();
    AddProperties(random, targets, &hostile);

    hostile.optionKey = !random.Chance(15);
    hostile.noDesktopIcon = ValueOf(random, OptionText(random));
    hostile.pinToTaskbar = ValueOf(random, random.Chance(50) ? L"1" : OptionText(random));
    hostile.startMenuLocation = ValueOf(random, OptionText(random));
    hostile.startMenuTop = hostile.optionKey ? StartMenuTop(hostile.startMenuLocation) : L"";
    hostile.organizer = ValueOf(random, PathLike(random, targets.organizer));
    hostile.pin = ValueOf(random, random.Chance(50)
                                      ? PathLike(random, L"S:\\Start Menu") + L"\\" VLX_WIDE(VLX_LINK_FILE)
                                      : PathLike(random, L"S:\\Other.lnk"));
    hostile.defaultProfile = ValueOf(random, PathLike(random, targets.profile));
    const wchar_t* const appData[] = {L"%USERPROFILE%\\AppData\\Roaming", L"%USERPROFILE%",
                                      L"%userprofile%\\AppData\\Roaming", L"S:\\Roaming", L"",
                                      L"%USERPROFILE%\\..\\..\\x", L"%USERPROFILE%\\%VLX_UNSET_VARIABLE%"};
    hostile.appData = ValueOf(random, random.Chance(10) ? std::wstring(400, L'a') : appData[random.Below(7)]);
    const size_t profiles = random.Below(4);
    for (size_t i = 0; i < profiles; ++i) {
        const std::wstring folder = random.Chance(30) ? L"%SystemDrive%\\users\\%VLX_UNSET_VARIABLE%"
                                                      : PathLike(random, targets.profile);
        hostile.profiles.push_back(ValueOf(random, folder));
    }
    hostile.readOnlyShortcuts = random.Chance(15);
    return hostile;
}

// Printable ASCII as it is, other bytes as \xNN; long texts shortened.
std::string Escaped(const std::string& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < 80; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            char hex[5];
            snprintf(hex, sizeof(hex), "\\x%02x", c);
            text += hex;
        }
    }
    return bytes.size() > 80 ? text + "... (" + std::to_string(bytes.size()) + " bytes)" : text;
}

std::string Escaped(const RegistryValue& value) {
    if (!value.present) {
        return "(absent)";
    }
    std::string bytes(value.data.begin(), value.data.end());
    std::string narrow;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        narrow += bytes[i + 1] == 0 ? bytes[i] : '?';
    }
    return "type " + std::to_string(value.type) + ", " + std::to_string(value.data.size()) + " bytes \"" +
           Escaped(narrow) + "\"";
}

std::string HostileCase::Describe() const {
    std::ostringstream text;
    text << "hostile case " << number << " of seed " << seed << " (" << AllPhases()[phase].name << ")"
         << "\n  properties:";
    if (nullMap) {
        text << " (no map)";
    }
    for (const Property& property : properties) {
        text << " " << property.name << "=" << (property.null ? "(null)" : "\"" + Escaped(property.value) + "\"");
    }
    text << "\n  option key: " << (optionKey ? "present" : "absent")
         << "; NODESKTOPICON " << Escaped(noDesktopIcon) << "; PINWSTOTASKBAR " << Escaped(pinToTaskbar)
         << "; STARTMENULOCATION " << Escaped(startMenuLocation) << "\n  organizer " << Escaped(organizer)
         << "\n  pin " << Escaped(pin) << "\n  Default profile " << Escaped(defaultProfile) << "; AppData "
         << Escaped(appData);
    for (const RegistryValue& profile : profiles) {
        text << "\n  profile " << Escaped(profile);
    }
    text << (readOnlyShortcuts ? "\n  read-only shortcuts already there" : "");
    return text.str();
}

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
