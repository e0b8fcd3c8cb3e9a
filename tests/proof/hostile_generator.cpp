#include "tests/proof/hostile_generator.h"

#include <stdio.h>

#include <algorithm>
#include <sstream>

#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/phases.h"

namespace {

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

}  // namespace

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
