// Facts about the product that the hook, its host, the demo and the tests
// share, each spelled once. They are narrow literals, so that a log line can
// be joined from them and a wide text made with VLX_WIDE; the demo reads
// them through the preprocessor (scripts/product-facts.sh).
#pragma once

// Makes a wide literal of narrow literals: VLX_WIDE("a" "b") is L"ab".
#define VLX_WIDE(text) L"" text

// The vendor, the product, and its folder below the host's INSTALLDIR.
#define VLX_COMPANY_NAME "Kestrune"
#define VLX_PRODUCT_NAME "Kestrune Montavo Fablio 15"
#define VLX_APPLICATION_FOLDER "\\" VLX_PRODUCT_NAME

// The shortcut file on the desktop, in the Start menu and pinned in
// profiles, and the program it starts, below the application's folder.
#define VLX_LINK_FILE VLX_PRODUCT_NAME ".lnk"
#define VLX_WELCOME_SCREEN "\\WelcomeScreen\\" VLX_PRODUCT_NAME ".exe"

// The installer option key and its parent, under HKEY_LOCAL_MACHINE.
#define VLX_OPTION_PARENT_KEY \
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VEXOUninstallOptions"
#define VLX_OPTION_KEY VLX_OPTION_PARENT_KEY "\\VLX"

// The taskbar pin value, under HKEY_LOCAL_MACHINE in the 64-bit view.
#define VLX_PIN_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\TBDEn"
#define VLX_PIN_VALUE "SBOEM2"

// Below the common application data folder: the data folder opened to
// Everyone, and the catalog database.
#define VLX_DATA_FOLDER "\\Kestrune\\Montavo Fablio\\15.0"
#define VLX_CATALOG_DATABASE "\\Kestrune\\ZTV\\15.0\\Repository2_0.db"

// The companion analyzer below the application's folder, and the companion
// organizer's registry entry under HKEY_LOCAL_MACHINE (64-bit view).
#define VLX_ANALYZER "\\FablioAutoAnalyzer15.exe"
#define VLX_ORGANIZER_KEY "Software\\Kestrune\\Fablio Organizer\\15.0\\ApplicationPath"
