#include <memory>

#include "app/game_error.h"
#include "champ/champ_file_io.h"
#include "champ/championship.h"
#include "champ/championship_file.h"
#include "champ/game_settings.h"
#include "champ/save_slots.h"

// Loading and saving a championship in its save slot.

namespace {

SavedSettings CaptureSettings(const GameSettings& settings)
{
    SavedSettings saved;
    const RaceOptions& o = settings.Race;
    const std::int32_t words[kRaceOptionWords] = {o.NumSimulationLaps, o.NumArcadeLaps, o.NumSimulationRiders,
                                                  o.NumArcadeRiders, o.CpuDifficulty, o.Weather, o.CpuMulti, o.Km};
    std::copy(std::begin(words), std::end(words), std::begin(saved.RaceOptions));
    saved.GearChoice = settings.GearChoice;
    saved.RealismLevel = settings.RealismLevel;
    saved.Setup = settings.PlayerSetup;
    return saved;
}

void RestoreSettings(const SavedSettings& saved, GameSettings& settings)
{
    RaceOptions& o = settings.Race;
    const std::int32_t* w = saved.RaceOptions;
    o = RaceOptions{w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]};
    settings.GearChoice = saved.GearChoice;
    settings.RealismLevel = saved.RealismLevel;
    settings.PlayerSetup = saved.Setup;
}

// The saved settings that the game acts on must be in range.
bool CheckSettings(const SavedSettings& saved, std::string& error)
{
    const std::int32_t weather = saved.RaceOptions[5];
    if (weather < 0 || weather > kWeatherRandom) {
        error = "the weather choice " + std::to_string(weather) + " is not 0..3";
        return false;
    }
    for (int i : {2, 3}) {
        if (saved.RaceOptions[i] < 1 || saved.RaceOptions[i] > 33) {
            error = "a rider count " + std::to_string(saved.RaceOptions[i]) + " is not 1..33";
            return false;
        }
    }
    if (saved.RealismLevel < 0 || saved.RealismLevel >= kRealismLevels) {
        error = "the realism level " + std::to_string(saved.RealismLevel) + " is not 0..4";
        return false;
    }
    return true;
}

} // namespace

bool Championship::Load(GameSettings& settings)
{
    m_LastFileError.clear();
    const std::string path = MakeSavePath(FileName);
    std::vector<std::uint8_t> bytes;
    std::string error;
    switch (LoadWholeFile(path, bytes, error)) {
    case LoadOutcome::Missing:
        m_LastFileError = error;
        return false;
    case LoadOutcome::Failed:
        m_LastFileError = error;
        ReportRefusedFile(path, "the championship cannot be read", error);
        return false;
    case LoadOutcome::Loaded:
        break;
    }
    // Read into scratch records: a refused file changes nothing here.
    auto scratch = std::make_unique<Championship>();
    SavedSettings saved;
    if (!ParseChampionshipSave(bytes, *scratch, saved, error) || !CheckSettings(saved, error)) {
        m_LastFileError = error;
        ReportRefusedFile(path, "damaged championship file", error);
        return false;
    }
    // The championship stays named after the file it came from.
    CopyField(scratch->FileName, FileName, kSaveNameChars);
    TakeRecord(*scratch);
    RestoreSettings(saved, settings);
    return true;
}

void Championship::Save(const GameSettings& settings)
{
    m_LastFileError.clear();
    SortStandings();
    for (int i = 0; i < kChampRiders; ++i) {
        if (Riders[i].Kind == kEntryLocalPlayer) {
            PlayerStanding = i + 1;
            PlayerPoints = Riders[i].Points;
            break;
        }
    }
    if (FileName[0] == '\0') {
        m_LastFileError = "the championship has no file name";
        throw GameError("error open file");
    }
    std::string error;
    if (!SaveWholeFile(MakeSavePath(FileName), BuildChampionshipSave(*this, CaptureSettings(settings)), error)) {
        m_LastFileError = error;
        throw GameError("error open file");
    }
}
