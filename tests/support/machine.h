// A machine with the product installed, as the installer host leaves it: the
// payload in an install folder on the sandbox drive, the installer options,
// the companion organizer with its CAHeadless folder, the data folder and the
// catalog database below the common application data folder, and a user
// profile with the pinned shortcut. Everything it lays out, and everything
// the hook makes from it (shortcuts, pin, Start-menu folder), is removed
// when the object ends.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "tests/support/hook_dll.h"
#include "tests/support/sandbox.h"
#include "tests/support/shell.h"

// The custom Start-menu location the machine's option key holds, and the
// top folder of it below the programs folder.
extern const wchar_t kMachineStartMenuLocation[];
extern const wchar_t kMachineStartMenuTop[];

class PopulatedMachine {
public:
    PopulatedMachine();
    ~PopulatedMachine();
    PopulatedMachine(const PopulatedMachine&) = delete;
    PopulatedMachine& operator=(const PopulatedMachine&) = delete;

    const SandboxFolder& sandbox() const { return sandbox_; }
    // The host's INSTALLDIR and the application's folder below it.
    const std::wstring& installDir() const { return installDir_; }
    const std::wstring& app() const { return app_; }
    const std::wstring& organizer() const { return organizer_; }
    const std::wstring& profile() const { return profile_; }
    // The host's properties for this machine.
    const PropertyMap* properties() { return properties_.map(); }

    // What the machine wrote to each file it laid out, by full path.
    const std::map<std::wstring, std::string>& contents() const { return contents_; }
    // Sets its registry keys and values anew, as laid out: the installer
    // options, the organizer's entry and the profile; no shortcut, pin or
    // record of a file set aside.
    void LayOutRegistry();

private:
    void Write(const std::wstring& path, const std::string& content);

    ShortcutState shortcuts_;
    SandboxFolder sandbox_;
    std::wstring installDir_;
    std::wstring app_;
    std::wstring organizer_;
    std::wstring profile_;
    PropertyMapBuilder properties_;
    std::unique_ptr<ScopedRegistryKey> organizerKey_;
    std::unique_ptr<ScopedRegistryKey> profileKey_;
    std::map<std::wstring, std::string> contents_;
};
