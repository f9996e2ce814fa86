#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "sim/bike_setup.h"

class Championship;

// Byte layout of the championship save files (docs/champ-files.md): the
// championship record (32844 bytes, its pointer slots written as zeros and
// never read back), then the settings of the moment of saving (145 bytes).
// The first 316 bytes are the header that the save slot lists show.

inline constexpr std::size_t kChampionshipRecordBytes = 32844;
inline constexpr std::size_t kChampionshipSaveBytes = 32989;
inline constexpr std::size_t kSaveHeaderBytes = 316;
inline constexpr std::size_t kChampionshipEventBytes = 2564;
inline constexpr std::size_t kChampionshipResultBytes = 20;
inline constexpr std::size_t kChampionshipRiderBytes = 48;

// Offsets inside the save.
inline constexpr std::size_t kSaveOffsetEvents = 316;
inline constexpr std::size_t kSaveOffsetEnteredRiders = 31084;
inline constexpr std::size_t kSaveOffsetRiders = 31088;
inline constexpr std::size_t kSaveOffsetStandingsSorted = 32624;
inline constexpr std::size_t kSaveOffsetRenamedRider = 32628;
inline constexpr std::size_t kSaveOffsetOldName = 32632;
inline constexpr std::size_t kSaveOffsetStandings = 32656;
inline constexpr std::size_t kSaveOffsetGameMode = 32784;
inline constexpr std::size_t kSaveOffsetClassIndex = 32788;
inline constexpr std::size_t kSaveOffsetSessionTitle = 32792;
inline constexpr std::size_t kSaveOffsetRaceOptions = 32844;
inline constexpr std::size_t kSaveOffsetGearChoice = 32876;
inline constexpr std::size_t kSaveOffsetRealism = 32877;
inline constexpr std::size_t kSaveOffsetBikeSetup = 32881;

inline constexpr int kGameModes = 5;      // game modes 0..4
inline constexpr int kRiderClasses = 8;   // class index 0..7

// The settings a save keeps.
struct SavedSettings {
    std::int32_t RaceOptions[8] = {};  // the race-options block, in its order
    std::uint8_t GearChoice = 0;
    std::int32_t RealismLevel = 0;
    BikeSetup Setup;
};

// The header of a save (its first 316 bytes).
struct SaveHeader {
    std::string FileName;
    std::string Name;
    std::string PlayerName;
    std::int32_t CurrentEvent = 0;
    std::int32_t PlayerStanding = 0;
    std::int32_t PlayerPoints = 0;
};

std::vector<std::uint8_t> BuildChampionshipSave(const Championship& champ, const SavedSettings& settings);

// Reads a whole save into `champ` (its record fields; team names and
// standings are left alone) and `settings`. False, with `error` saying what
// is wrong, when the bytes are not a sound save; `champ` and `settings` may
// then be half filled, so read into scratch objects.
bool ParseChampionshipSave(const std::vector<std::uint8_t>& bytes, Championship& champ, SavedSettings& settings,
                           std::string& error);

// Reads and checks the header of a whole save.
bool ParseSaveHeader(const std::vector<std::uint8_t>& bytes, SaveHeader& header, std::string& error);
