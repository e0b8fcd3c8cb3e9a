#include "actions/catalog_database.h"

#include <windows.h>
#include <shlobj.h>

#include "base/checked_text.h"
#include "base/delete_below.h"
#include "base/no_follow.h"
#include "hook/log.h"
#include "hook/product.h"

namespace {

const wchar_t kCatalogDatabase[] = VLX_WIDE(VLX_CATALOG_DATABASE);

}  // namespace

void DeleteCatalogDatabase(const HookContext* context) {
    wchar_t folder[kPathChars] = {};
    // Never "\Kestrune\..." at the root of the current drive.
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)) ||
        folder[0] == L'\0') {
        return;
    }
    wchar_t path[kPathChars] = {};
    if (!CheckedJoin(path, {folder, kCatalogDatabase})) {
        LogPathTooLong(context);
        return;
    }
    // Clears read-only, hidden and system first; a missing file is no error.
    LeftAside leftAside;
    LogDeletion(context, ForceDeleteBelow(folder, path, &leftAside), leftAside);
}
