#!/usr/bin/env bash
# Prints the product facts of hook/product.h as shell assignments, for
# scripts to eval: product_name, application_folder, link_file,
# welcome_screen, option_key, pin_key, pin_value, data_folder,
# catalog_database, analyzer, organizer_key. The preprocessor expands the header's
# macros; joining the adjacent literals and reading C's "\\" as bash's
# double-quoted "\\" leaves each value exactly as the hook spells it.
set -euo pipefail
cd "$(dirname "$0")/.."
printf '%s\n' '#include "hook/product.h"' \
    'product_name=VLX_PRODUCT_NAME' 'application_folder=VLX_APPLICATION_FOLDER' \
    'link_file=VLX_LINK_FILE' 'welcome_screen=VLX_WELCOME_SCREEN' 'option_key=VLX_OPTION_KEY' \
    'pin_key=VLX_PIN_KEY' 'pin_value=VLX_PIN_VALUE' 'data_folder=VLX_DATA_FOLDER' \
    'catalog_database=VLX_CATALOG_DATABASE' 'analyzer=VLX_ANALYZER' \
    'organizer_key=VLX_ORGANIZER_KEY' |
    i686-w64-mingw32-gcc-posix -E -P -x c -I. - |
    grep '=' | sed 's/" *"//g'
