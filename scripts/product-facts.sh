#!/usr/bin/env bash
# Prints the product facts of hook/product.h as shell assignments, for
# scripts to eval: product_name, application_folder, link_file,
# welcome_screen, option_key, pin_key, pin_value, data_folder,
# catalog_database, analyzer, organizer_key; and its file lists as arrays:
# filters_to_register, filters_to_unregister, oem_files, oem_folders,
# caheadless_files. The preprocessor expands the header's macros; joining the
# adjacent literals and reading C's "\\" as bash's double-quoted "\\" leaves
# each value exactly as the hook spells it. It fails when a list comes out
# empty.
set -euo pipefail
cd "$(dirname "$0")/.."
facts=$(printf '%s\n' '#include "hook/product.h"' '#define VLX_SHELL_ENTRY(text) text VLX_NEXT' \
    'product_name=VLX_PRODUCT_NAME' 'application_folder=VLX_APPLICATION_FOLDER' \
    'link_file=VLX_LINK_FILE' 'welcome_screen=VLX_WELCOME_SCREEN' 'option_key=VLX_OPTION_KEY' \
    'pin_key=VLX_PIN_KEY' 'pin_value=VLX_PIN_VALUE' 'data_folder=VLX_DATA_FOLDER' \
    'catalog_database=VLX_CATALOG_DATABASE' 'analyzer=VLX_ANALYZER' \
    'organizer_key=VLX_ORGANIZER_KEY' \
    'filters_to_register=(VLX_FILTERS_TO_REGISTER(VLX_SHELL_ENTRY))' \
    'filters_to_unregister=(VLX_FILTERS_TO_UNREGISTER(VLX_SHELL_ENTRY))' \
    'oem_files=(VLX_OEM_FILES(VLX_SHELL_ENTRY))' 'oem_folders=(VLX_OEM_FOLDERS(VLX_SHELL_ENTRY))' \
    'caheadless_files=(VLX_CAHEADLESS_FILES(VLX_SHELL_ENTRY))' |
    i686-w64-mingw32-gcc-posix -E -P -x c -I. - |
    grep '=' | sed 's/" *"//g; s/ *VLX_NEXT */ /g')
for list in filters_to_register filters_to_unregister oem_files oem_folders caheadless_files; do
    grep -qE "^$list=\(\"" <<<"$facts" || { echo "product-facts: the list $list is empty" >&2; exit 1; }
done
printf '%s\n' "$facts"
