#pragma once

#include <optional>
#include <string>

// The launcher: starts the installed game from the folder the installer
// recorded in the settings ("Startpath" under the game's key), or, when no
// installation is recorded, the installer from the current folder.

inline constexpr const char* kLauncherKey = "Software\\Corvantis\\TVNDemo";
inline constexpr const char* kStartpathValue = "Startpath";
inline constexpr const char* kGameProgram = "Torvane";
inline constexpr const char* kInstallerProgram = "Setup";
// The recorded folder's room, its terminating zero included.
inline constexpr std::size_t kStartpathCapacity = 260;

// Exit statuses.
inline constexpr int kLauncherStarted = 0;
inline constexpr int kLauncherCannotStart = 1; // the game or the installer did not start
inline constexpr int kLauncherBadStartpath = 2; // the recorded folder is damaged

// What the settings say of the installation.
struct RecordedInstallation {
    bool recorded = false;   // a "Startpath" value exists
    std::string folder;      // the folder, when the value is sound
    std::string damage;      // why the value is not sound (empty when it is)
};

// Reads "Startpath": only a string value is taken, up to its first zero
// byte, and it must be neither empty nor longer than the room it has.
RecordedInstallation ReadRecordedInstallation();

// Runs the launcher once: starts the game or the installer, or says with a
// message box (its text also on stderr) why it could not. Returns the exit
// status.
int RunLauncher();
