#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bike_setup.h"

class Control;
class Form;

// The bike set-up screens ("game04" and the player's team letter: 24
// sliders on four pages), the set-up files screen ("game05": ".stp" files
// in ".\menu\save\", state 97 loads one, 98 saves one) and the telemetry
// splitter, which cuts the session's "telem.dat" into one lap file
// ".\menu\save\Lap<n>.tlm" per lap.

inline constexpr std::int32_t kLoadSetupState = 97, kSaveSetupState = 98;
inline constexpr std::int32_t kSetupSliders = 24;
// The tyre codes the tyre slider steps through.
inline constexpr std::int32_t kTyreCodes[] = {2, 3, 4, 7, 10};

void SetupPrepare(Form& form);
bool SetupCommand(Form& form, Control& control);

void SetupFilesPrepare(Form& form);
bool SetupFilesCommand(Form& form, Control& control);
bool SetupFilesRelease(Form& form);

// The telemetry browser ("game08") and the lap rename dialogue ("dlg07").
inline constexpr std::int32_t kPlotState = 83, kRenameLapState = 40;
void LapBrowserPrepare(Form& form);
// The round and the session the laps come from, as the telemetry browser
// and the plot show them.
void ShowTelemetrySession(Form& form);
bool LapBrowserCommand(Form& form, Control& control);
void RenameLapPrepare(Form& form);
bool RenameLapCommand(Form& form, Control& control);
// The two laps chosen for the plot (file names, at most 29 characters
// each; empty: none).
struct ChosenLaps {
    std::string first, second;
};
const ChosenLaps& LapsToPlot();
// Renames a lap file of ".\menu\save\" to `typed` + ".tlm": the typed
// name must be a bare file name (no '/', '\' or "..", not empty) and name
// no file that is there. False with `why` otherwise.
bool RenameLapFile(const std::string& from, const std::string& typed, std::string& why);

// ".stp": a 63-byte header (the description, the player's name and the
// track's, 21 bytes each, zero-terminated) and the 108-byte set-up.
inline constexpr std::size_t kSetupFileBytes = 171;
struct SetupFile {
    std::string description, rider, track;
    BikeSetup setup;
};
std::vector<std::uint8_t> SetupFileBytes(const SetupFile& file);
// False, `why` saying it, for a file that is not exactly 171 bytes, whose
// texts are not terminated in their fields, or whose set-up has a value the
// simulation cannot run with.
bool ParseSetupFile(const std::vector<std::uint8_t>& bytes, SetupFile& out, std::string& why);

// Cuts "telem.dat" of the working folder into lap files when it belongs to
// the race header's track and the player's bike model (a file of another
// track or bike is only deleted). The lap files are numbered on from the
// highest "Lap<n>.tlm" there is; "telem.dat" goes only once every lap file
// is written (a failed write is reported, the laps written now are taken
// back and "telem.dat" stays). `playerModel` -1 checks no bike. The laps
// written, or -1 on a failure.
int SplitTelemetry(const char* trackName, std::int32_t playerModel);
// The same for the race header's track and the player's bike of the race in play
// (no race: the bike is not checked).
int SplitSessionTelemetry();
