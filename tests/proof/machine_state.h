// The machine's state as the proof runs see it (the files below the sandbox
// drive, the shell folders and the hook's registry keys in both views), the
// rules of what each phase may change in it, and putting it back.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/phases.h"
#include "tests/support/snapshot.h"

// Where the hook works on a machine, for the rules of what it may change.
struct Places {
    std::wstring sandbox;            // files of the machine: payload, organizer, profiles
    std::wstring app;                // the application's folder
    std::wstring organizer;          // the companion organizer's folder
    std::wstring startMenuFolder;    // the custom Start-menu folder's top, or empty
};

// The files and registry keys the hook may touch, and everything around them.
struct MachineState {
    FileSnapshot files;
    RegistrySnapshot registry;
};
MachineState TakeState(const Places& places);
// The same for the registry alone, and for the shell folders alone.
void TakeRegistryState(MachineState* state);
void TakeShellFolderState(MachineState* state);

// The entries in which two states differ and that the phase may not change.
std::vector<std::string> ForbiddenChanges(const MachineState& before, const MachineState& after,
                                          const PhaseFacts& phase, const Places& places);

// Puts files back from their state now to the target state: what differs is
// written anew from contents (by full path) or made as a folder, what is new
// is removed.
void RestoreFiles(const FileSnapshot& target, const FileSnapshot& now,
                  const std::map<std::wstring, std::string>& contents);
