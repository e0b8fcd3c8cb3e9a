#include "shortcuts/taskbar_pin.h"

#include <windows.h>

#include <string.h>

#include "base/guards.h"
#include "hook/log.h"
#include "hook/product.h"
#include "registry/keys.h"
#include "shortcuts/pinned_shortcuts.h"

namespace {

const wchar_t kPinSubKey[] = VLX_WIDE(VLX_PIN_KEY);
const wchar_t kPinValue[] = VLX_WIDE(VLX_PIN_VALUE);
const char kPinnedFileName[] = VLX_LINK_FILE;
const REGSAM kPinAccess = KEY_ALL_ACCESS | KEY_WOW64_64KEY;

// The pin as read back: at most 1024 bytes of data (one character more keeps
// a full value terminated), and its UTF-8 form.
const size_t kPinDataChars = 512;
const size_t kPinUtf8Bytes = 2048;

}  // namespace

void CreateRegPinVLXWelcomeScreenToTaskBar(const HookContext* context, const wchar_t* szStartMenu) {
    LogMessage(context, "VLX: Start CreateRegPinVLXWelcomeScreenToTaskBar", kLogLevelProgress);
    {
        RegKey created;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPinSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WOW64_64KEY, nullptr, created.put(), nullptr) != ERROR_SUCCESS) {
            created.release();  // nothing was created; the open below is tried all the same
        }
    }
    const RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, kPinSubKey, kPinAccess);
    if (!key.valid()) {
        return;
    }
    const DWORD size = static_cast<DWORD>((wcslen(szStartMenu) + 1) * sizeof(wchar_t));
    RegSetValueExW(key.get(), kPinValue, 0, REG_EXPAND_SZ,
                   reinterpret_cast<const BYTE*>(szStartMenu), size);
    RegFlushKey(key.get());
}

void DeleteRegPinDRQWelcomeScreenToTaskBar(const HookContext* context) {
    LogMessage(context, "VLX: Start DeleteRegPinDRQWelcomeScreenToTaskBar", kLogLevelProgress);
    {
        const RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, kPinSubKey, kPinAccess);
        if (key.valid()) {
            wchar_t pin[kPinDataChars + 1] = {};
            if (ReadTextValue(key.get(), kPinValue, pin, kPinDataChars * sizeof(wchar_t))) {
                char utf8[kPinUtf8Bytes] = {};
                const int needed =
                    WideCharToMultiByte(CP_UTF8, 0, pin, -1, nullptr, 0, nullptr, nullptr);
                if (needed > 0 && static_cast<size_t>(needed) <= kPinUtf8Bytes &&
                    WideCharToMultiByte(CP_UTF8, 0, pin, -1, utf8, needed, nullptr, nullptr) > 0 &&
                    EndsWith(utf8, strlen(utf8), kPinnedFileName, strlen(kPinnedFileName))) {
                    RegDeleteValueW(key.get(), kPinValue);
                    RegFlushKey(key.get());
                }
            }
        }
    }
    DeletePinnedShortcut(context);
    LogMessage(context, "VLX: End DeleteRegPinDRQWelcomeScreenToTaskBar", kLogLevelProgress);
}

bool EndsWith(const char* text, size_t textLength, const char* suffix, size_t suffixLength) {
    if (textLength < suffixLength) {
        return false;
    }
    return memcmp(text + textLength - suffixLength, suffix, suffixLength) == 0;
}
