#include "base/empty_key.h"

#include <shlwapi.h>

#include "base/guards.h"

LONG DeleteKeyIfEmpty(HKEY root, const wchar_t* subKey) {
    {
        RegKey key;
        LONG status = RegOpenKeyExW(root, subKey, 0, KEY_READ, key.put());
        DWORD subKeys = 0;
        DWORD values = 0;
        if (status != ERROR_SUCCESS) {
            key.release();  // nothing was opened, whatever the out-parameter holds
        } else {
            status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                      nullptr, nullptr, nullptr, nullptr);
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (subKeys != 0 || values != 0) {
            return ERROR_DIR_NOT_EMPTY;
        }
    }
    return static_cast<LONG>(SHDeleteEmptyKeyW(root, subKey));
}
