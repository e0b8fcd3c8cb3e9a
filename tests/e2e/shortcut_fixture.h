// Shortcut creation and removal in the PostPayload phases, on the real shell
// folders, option key and pin value of the prefix: what both test files share.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "hook/product.h"
#include "tests/support/environment.h"
#include "tests/support/expected_log.h"
#include "tests/support/hook_dll.h"
#include "tests/support/processes.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

// The custom Start-menu folder the tests choose, below the programs folder.
const wchar_t kMediaFolder[] = L"VLX Media";

class ShortcutsTest : public testing::Test {
protected:
    void SetUp() override {
        installDir = sandbox.path() + L"\\Apps";
        target = installDir + L"\\" + FromUtf8(VLX_PRODUCT_NAME) + FromUtf8(VLX_WELCOME_SCREEN);
        properties = ProductProperties(ToUtf8(installDir));
        desktopLink = CommonDesktop() + L"\\" + kLinkFile;
        programsLink = CommonPrograms() + L"\\" + kLinkFile;
    }
    void TearDown() override { RemoveTree(CommonPrograms() + L"\\" + kMediaFolder); }

    Lines Run(EntryMode entry, InstallMode mode) { return hook.Logged(properties.map(), entry, mode); }
    std::wstring InPrograms(const std::wstring& relative) const {
        return CommonPrograms() + L"\\" + relative;
    }

    // The install PostPayload lines before shortcut creation: the filters.
    Lines RegisterLines() const {
        return Lines{L4("VLX: In PostPayloadInstallProc")} + RegisterFiltersLines(ToUtf8(installDir));
    }
    Lines InstallDir() const { return InstallDirLines(ToUtf8(installDir)); }
    Lines DesktopCreationLines() const {
        return L4s({"VLX: Creating Desktop Shortcut"}) + LinkLines() + LocationLines(desktopLink, target);
    }
    Lines StartMenuCreationLines(const std::wstring& link, bool custom) const {
        return L4s({"VLX: Creating Start Menu Shortcut"}) +
               (custom ? L4s({"VLX: Custom STARTMENULOCATION set."}) : Lines{}) +
               LocationLines(link, target) + LinkLines();
    }
    // Removal of both shortcuts from the folders themselves.
    Lines PlainRemovalLines() const {
        return L4s({"VLX: Deleting Desktop Shortcut.", ToUtf8(desktopLink),
                    "VLX: Deleting Start Menu Shortcut", ToUtf8(programsLink)}) +
               PinRemovalLines();
    }

    ShortcutState state;
    SandboxFolder sandbox;
    HookDll hook;
    // No registration tool runs in these tests.
    CreateProcessRecorder noTools{hook.module(), Children::kRefuse};
    PauseRecorder pauses{hook.module()};
    std::wstring installDir;
    std::wstring target;
    std::wstring desktopLink;
    std::wstring programsLink;
    PropertyMapBuilder properties;
};
