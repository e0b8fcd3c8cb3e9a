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

// The hook's own key below HKEY_LOCAL_MACHINE\SOFTWARE (32-bit view), which
// holds the records of files set aside, and the four-character prefix of
// their temporary names. The platform floor knows no product: the build
// hands it these two as definitions (CMakeLists.txt).
#define VLX_RECORDS_KEY_NAME "VLXCustomHook"
#define VLX_TEMPORARY_NAME_PREFIX "~VLX"

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

// The files the hook works through, in the order it handles them. Each entry
// begins with a backslash and is relative to the folder named. A list is a
// macro that hands each entry to X: the hook and the tests make arrays of
// wide entries of it ({VLX_OEM_FILES(VLX_WIDE_ENTRY)}), the demo shell arrays
// (scripts/product-facts.sh).
#define VLX_WIDE_ENTRY(text) VLX_WIDE(text),

// Below the application's folder: the Dolby decoder filter, registered at
// install and reinstall, and all six filters, unregistered before the
// payload is replaced or removed; each in the folder and its "32" folder.
#define VLX_FILTERS_TO_REGISTER(X) X("\\mc_dec_dd_ds.ax") X("\\32\\mc_dec_dd_ds.ax")
#define VLX_FILTERS_TO_UNREGISTER(X)                                                                    \
    X("\\mc_dec_amr_ds.ax") X("\\mc_dec_dd_ds.ax") X("\\mc_dec_mp2v_ds.ax") X("\\mc_dec_mp4v_ds.ax")     \
    X("\\mc_dec_mpa_ds.ax") X("\\mc_demux_mp4_ds.ax") X("\\32\\mc_dec_amr_ds.ax") X("\\32\\mc_dec_dd_ds.ax") \
    X("\\32\\mc_dec_mp2v_ds.ax") X("\\32\\mc_dec_mp4v_ds.ax") X("\\32\\mc_dec_mpa_ds.ax")                  \
    X("\\32\\mc_demux_mp4_ds.ax")

// Below the application's folder: the OEM files deleted at uninstall (in
// the order of the installer's OEM list, which has PatentLegalNotice
// twice), then the folder trees pruned after them.
#define VLX_OEM_FILES(X)                                                                               \
    X("\\Settings\\Info\\CustomCredits") X("\\Settings\\Info\\TeamNames")                               \
    X("\\Settings\\Info\\PatentLegalNotice") X("\\Settings\\Info\\PatentLegalNotice")                   \
    X("\\Settings\\Info\\About.xst") X("\\Settings\\Info\\PatentTextMac.xst")                           \
    X("\\Settings\\Info\\PatentTextWin.xst") X("\\Settings\\Info\\SplashAbout.xst") X("\\ols_config.xml") \
    X("\\MediaIO\\codecs\\Dolby.vca") X("\\mc_dec_dd.dll") X("\\mc_dec_dd_ds.ax") X("\\32\\mc_dec_dd.dll") \
    X("\\32\\mc_dec_dd_ds.ax") X("\\MediaIO\\codecs\\mfdolby.vca") X("\\MFDolbyEncoder.dll")             \
    X("\\MFDolbyImporter.dll")
#define VLX_OEM_FOLDERS(X) X("\\Settings") X("\\MediaIO")

// Below the companion organizer's "\CAHeadless" folder: the application's
// codec files deleted at uninstall.
#define VLX_CAHEADLESS_FILES(X)                                                                        \
    X("\\mc_dec_amr.dll") X("\\mc_dec_mp2v.dll") X("\\mc_dec_mpa.dll") X("\\mc_dec_dd.dll")              \
    X("\\mc_dec_dd_ds.ax") X("\\WMFDolbyDecoder.dll")
