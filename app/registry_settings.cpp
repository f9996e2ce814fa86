#include "app/registry_settings.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "app/game_app.h"
#include "app/game_error.h"
#include "app/settings_writer.h"
#include "platform/registry.h"
#include "platform/resources.h"

// The game settings and the control block are records of subsystems built
// on this one; only their fields (and header-only constants) are used here,
// so this library does not link theirs.
#include "champ/game_settings.h"
#include "input/control_block.h"

namespace {

// The value names of the eight controls' bindings, in control order.
constexpr const char* kBindingStems[kControlCount] = {
    "Accelerator", "Brake", "Steer Left", "Steer Right", "Shift Up", "Shift Down", "Hang On", "Look Behind",
};
constexpr char kBindingParts[4] = {'K', 'I', 'P', 'R'};

constexpr RealismPreset kRealismPresets[] = {
    {0x62, 1.0f, 1.0f},
    {0x42, 0.85f, 0.825f},
    {0x400, 0.7f, 0.65f},
    {0x610, 0.4f, 0.3f},
};

constexpr DetailPreset kDetailPresets[] = {
    {200, 0, 0, 0, kGfxFlagNoSky},
    {300, 1, 1, 100, kGfxFlagAmbient},
    {500, 2, 2, 200, kGfxFlagAmbient | kGfxFlagPhotoreal | kGfxFlagDarkline},
    {800, 4, 2, 200, kGfxFlagAmbient | kGfxFlagPhotoreal | kGfxFlagDarkline},
};

// Defaults of values that are missing.
constexpr std::uint32_t kDefaultPlayerFlags = 0;
constexpr float kDefaultLimiter = 1.0f;
constexpr std::int32_t kDefaultZClipping = 1000;
constexpr std::int32_t kDefaultShrink = 0;
constexpr std::int32_t kDefaultDetails = 2;
constexpr std::int32_t kDefaultEngineDetails = 2;
constexpr std::uint32_t kDefaultGfxFlags = kGfxFlagAmbient | kGfxFlagPhotoreal | kGfxFlagDarkline;
constexpr std::int32_t kDefaultLaps = 3;
constexpr std::int32_t kDefaultRiders = 10;
constexpr std::int32_t kDefaultCpuDifficulty = 1;
constexpr std::int32_t kDefaultWeather = 0;
constexpr std::int32_t kDefaultCpuMulti = 0;
constexpr std::int32_t kDefaultKm = 1;
constexpr std::uint32_t kDefaultSound = 1;
constexpr float kDefaultSoundVolume = 0.61f;
constexpr std::uint32_t kDefaultMusic = 1;
constexpr float kDefaultMusicVolume = 1.0f;
constexpr const char* kDefaultPlayerName = "PLAYER";

// The default keys of the eight controls (keyboard key numbers).
constexpr std::uint8_t kDefaultKeys[kControlCount] = {30, 44, 51, 52, 57, 56, 45, 46};

// Reads typed values of one key, each with its default.
class ValueReader {
public:
    explicit ValueReader(const platform::RegistryKey& key) : key_(key) {}

    std::uint32_t Dword(const char* name, std::uint32_t fallback) const
    {
        return key_.get_dword(name).value_or(fallback);
    }
    std::int32_t Int(const char* name, std::int32_t fallback) const
    {
        return static_cast<std::int32_t>(Dword(name, static_cast<std::uint32_t>(fallback)));
    }
    // A float that is not a number or infinite (a value edited by hand)
    // takes its default, so it never reaches the simulation.
    float Float(const char* name, float fallback) const
    {
        const auto value = key_.get_float(name);
        return value && std::isfinite(*value) ? *value : fallback;
    }
    // A volume outside 0..1 takes its default.
    float Volume(const char* name, float fallback) const
    {
        const float value = Float(name, fallback);
        return value >= 0.0f && value <= 1.0f ? value : fallback;
    }

private:
    const platform::RegistryKey& key_;
};

// The records beside the application record; a missing one is a mistake in
// the program's start-up, not something a player can cause.
GameSettings& LinkedSettings(const SettingsLinks& links)
{
    if (!links.Settings)
        throw std::logic_error("the registry settings have no game settings to fill");
    return *links.Settings;
}

ControlBlock& LinkedBindings(const SettingsLinks& links)
{
    if (!links.Bindings || !links.Joysticks || !links.ValidateBindings)
        throw std::logic_error("the registry settings have no input bindings to fill");
    return *links.Bindings;
}

const DisplayModeQuery& LinkedDisplays(const SettingsLinks& links)
{
    const DisplayModeQuery& d = links.Displays;
    if (!d.DriverCount || !d.DeviceCount || !d.HasMode)
        throw std::logic_error("the registry settings have no display drivers to check");
    return d;
}

// A folder path from the key: at most 259 bytes with its separator, which
// a path that is not empty gets at its end.
void ReadFolder(const platform::RegistryKey& key, const char* name, char (&field)[kFolderPathBytes])
{
    std::memset(field, 0, sizeof field);
    std::string text = key.get_string(name).value_or(std::string());
    text = text.substr(0, text.find('\0'));
    if (text.empty())
        return;
    text.resize(std::min(text.size(), kFolderPathBytes - 2));
    text += '\\';
    std::memcpy(field, text.data(), text.size());
}

void LoadDriving(const ValueReader& in, GameSettings& settings)
{
    std::int32_t level = in.Int("RealismLevel", kDefaultRealismLevel);
    if (level < 0 || level >= kRealismLevels)
        level = kDefaultRealismLevel;
    settings.RealismLevel = level;
    if (const RealismPreset* preset = FindRealismPreset(level)) {
        settings.PlayerSetup.PlayerFlags = preset->PlayerFlags;
        settings.PlayerSetup.FrontLimiter = preset->FrontLimiter;
        settings.PlayerSetup.RearLimiter = preset->RearLimiter;
        return;
    }
    settings.PlayerSetup.PlayerFlags = in.Dword("PlayerFlags", kDefaultPlayerFlags);
    settings.PlayerSetup.FrontLimiter = in.Float("FrontLimiter", kDefaultLimiter);
    settings.PlayerSetup.RearLimiter = in.Float("RearLimiter", kDefaultLimiter);
}

// The stored driver pair, or the last pair of the renderer's lists; a pair
// that offers none of the three modes gives way to the last pair that does.
void LoadDrivers(const ValueReader& in, const DisplayModeQuery& displays, GameApp& app)
{
    const int lastDriver = displays.DriverCount() - 1;
    app.DDrawDriver = in.Int("DDrawDriver", lastDriver);
    const int lastDevice = app.DDrawDriver >= 0 && app.DDrawDriver <= lastDriver
                               ? displays.DeviceCount(app.DDrawDriver) - 1
                               : -1;
    app.D3DDriver = in.Int("D3DDriver", lastDevice);
    if (GetVideoModeMask(displays, app.DDrawDriver, app.D3DDriver) != 0)
        return;
    for (int driver = lastDriver; driver >= 0; --driver) {
        for (int device = displays.DeviceCount(driver) - 1; device >= 0; --device) {
            if (GetVideoModeMask(displays, driver, device) != 0) {
                app.DDrawDriver = driver;
                app.D3DDriver = device;
                return;
            }
        }
    }
    throw GameError("nessun modo disponibile");
}

void LoadResolution(const ValueReader& in, std::uint32_t mask, GameApp& app)
{
    const std::int32_t stored = in.Int("HRes", 0);
    const bool kept = (stored == 320 && (mask & kMode320x200)) || (stored == 640 && (mask & kMode640x480)) ||
                      (stored == 800 && (mask & kMode800x600));
    if (kept)
        app.HRes = stored;
    else if (mask == (kMode320x200 | kMode640x480 | kMode800x600))
        app.HRes = 640;
    else if (!(mask & kMode320x200) && (mask & kMode640x480))
        app.HRes = 640;
    else if (!(mask & kMode320x200))
        app.HRes = 800;
    else
        app.HRes = 320;
    app.VRes = app.HRes == 320 ? 200 : (app.HRes == 640 ? 480 : 600);
}

void LoadGraphics(const ValueReader& in, GameApp& app, GameSettings& settings)
{
    std::int32_t level = in.Int("DetailLevel", kDefaultDetailLevel);
    if (level < 0 || level >= kDetailLevels)
        level = kDefaultDetailLevel;
    settings.DetailLevel = level;
    if (const DetailPreset* preset = FindDetailPreset(level)) {
        app.ZClipping = preset->ZClipping;
        app.Details = preset->Details;
        app.EngineDetails = preset->EngineDetails;
        app.Shrink = preset->Shrink;
        app.GfxFlags |= preset->GfxFlags;
        return;
    }
    app.ZClipping = in.Int("ZClipping", kDefaultZClipping);
    app.Shrink = in.Int("Shrink", kDefaultShrink);
    app.Details = in.Int("Details", kDefaultDetails);
    app.EngineDetails = in.Int("EngineDetails", kDefaultEngineDetails);
    app.GfxFlags |= in.Dword("GfxFlags", kDefaultGfxFlags);
}

void LoadRaceOptions(const ValueReader& in, RaceOptions& race)
{
    race.NumArcadeLaps = in.Int("NumArcadeLaps", kDefaultLaps);
    race.NumSimulationLaps = in.Int("NumSimulationLaps", kDefaultLaps);
    race.NumArcadeRiders = in.Int("NumArcadeRiders", kDefaultRiders);
    race.NumSimulationRiders = in.Int("NumSimulationRiders", kDefaultRiders);
    race.CpuDifficulty = in.Int("CpuDifficulty", kDefaultCpuDifficulty);
    race.Weather = in.Int("Weather", kDefaultWeather);
    race.CpuMulti = in.Int("CpuMulti", kDefaultCpuMulti);
    race.Km = in.Int("Km", kDefaultKm);
}

void LoadAudio(const ValueReader& in, AudioOptions& audio)
{
    audio.Sound = in.Dword("Sound", kDefaultSound);
    audio.SoundVolume = in.Volume("SoundVolume", kDefaultSoundVolume);
    audio.Music = in.Dword("Music", kDefaultMusic);
    audio.MusicVolume = in.Volume("MusicVolume", kDefaultMusicVolume);
}

// The port network sessions are hosted and looked for on; a value that is
// no port (0 or above 65535) reads as the default.
std::uint16_t LoadNetPort(const ValueReader& in)
{
    const std::uint32_t port = in.Dword("NetPort", platform::kDefaultNetPort);
    return port >= 1 && port <= 0xFFFF ? static_cast<std::uint16_t>(port) : platform::kDefaultNetPort;
}

// Each control's four values; when a control has no stored type, every
// control goes back to its default binding (the ones read so far too).
void LoadBindings(const platform::RegistryKey& key, const SettingsLinks& links)
{
    ControlBlock& block = LinkedBindings(links);
    for (int control = 0; control < kControlCount; ++control) {
        const auto type = key.get_dword(BindingValueName(control, 'K'));
        if (!type) {
            ResetControlBindings(block, links.Joysticks());
            return;
        }
        const auto part = [&](char p) {
            return static_cast<std::uint8_t>(key.get_dword(BindingValueName(control, p)).value_or(0) & 0xFF);
        };
        block.Type[control] = static_cast<std::int8_t>(*type & 0xFF);
        block.Index[control] = part('I');
        block.Rise[control] = BindingRate(part('P'));
        block.Fall[control] = BindingRate(part('R'));
    }
}

// The product version words of the application record.
void WriteVersions(SettingsWriter& out, const GameApp& app)
{
    out.Dword(kValueVersionMS, app.m_versionBlock[4]);
    out.Dword(kValueVersionLS, app.m_versionBlock[5]);
}

} // namespace

const RealismPreset* FindRealismPreset(std::int32_t level)
{
    return level >= 1 && level <= 4 ? &kRealismPresets[level - 1] : nullptr;
}

const DetailPreset* FindDetailPreset(std::int32_t level)
{
    return level >= 1 && level <= 4 ? &kDetailPresets[level - 1] : nullptr;
}

bool GetFileVersion(GameApp& app)
{
    platform::VersionBlock block{};
    if (!platform::program_version_block(block))
        return false;
    app.m_versionBlock = block;
    return true;
}

std::uint32_t GetVideoModeMask(const DisplayModeQuery& displays, int ddrawDriver, int d3dDriver)
{
    if (ddrawDriver < 0 || ddrawDriver >= displays.DriverCount())
        return 0;
    if (d3dDriver < 0 || d3dDriver >= displays.DeviceCount(ddrawDriver))
        return 0;
    std::uint32_t mask = 0;
    if (displays.HasMode(ddrawDriver, d3dDriver, 320, 200))
        mask |= kMode320x200;
    if (displays.HasMode(ddrawDriver, d3dDriver, 640, 480))
        mask |= kMode640x480;
    if (displays.HasMode(ddrawDriver, d3dDriver, 800, 600))
        mask |= kMode800x600;
    return mask;
}

void ResetControlBindings(ControlBlock& block, const std::vector<AttachedJoystick>& joysticks)
{
    for (int control = 0; control < kControlCount; ++control) {
        block.ClearBinding(control);
        block.Type[control] = kBindKey;
        block.Index[control] = kDefaultKeys[control];
    }
    // The first usable joystick, judged by its own axes and buttons.
    for (std::size_t j = 0; j < joysticks.size(); ++j) {
        const AttachedJoystick& stick = joysticks[j];
        if (!stick.Usable)
            continue;
        const auto bind = [&](int control, int type) {
            block.Type[control] = static_cast<std::int8_t>(type);
            block.Index[control] = static_cast<std::uint8_t>(j);
        };
        constexpr int kAxisX = kBindJoyAxisX, kAxisY = kBindJoyAxisX + 1;
        if (stick.Axes >= 2) {
            bind(kControlAccelerator, kAxisY | kBindNegative);
            bind(kControlBrake, kAxisY);
        }
        if (stick.Axes >= 1) {
            bind(kControlSteerLeft, kAxisX | kBindNegative);
            bind(kControlSteerRight, kAxisX);
        }
        if (stick.Buttons >= 1)
            bind(kControlShiftUp, kBindJoyButton0);
        if (stick.Buttons >= 2)
            bind(kControlShiftDown, kBindJoyButton0 + 1);
        if (stick.Buttons >= 4) {
            bind(kControlHangOn, kBindJoyButton0 + 2);
            bind(kControlLookBehind, kBindJoyButton0 + 3);
        }
        break;
    }
}

bool GetBindingName(std::string& name, int type, int index)
{
    char text[32];
    if (type == kBindKey) {
        std::snprintf(text, sizeof text, "K%d", index);
    } else if (type >= kBindJoyButton0 && type < kBindJoyButton0 + kBindJoyButtonCount) {
        std::snprintf(text, sizeof text, "J%d B%d", index, type - kBindJoyButton0);
    } else if (type >= kBindMouseButton0 && type < kBindMouseButton0 + kBindMouseButtonCount) {
        std::snprintf(text, sizeof text, "M B%d", type - kBindMouseButton0);
    } else {
        const char sign = (type & kBindNegative) ? '+' : '-';
        static constexpr const char kJoyAxes[] = "XYZRUV";
        const int axis = type & ~kBindNegative;
        if (axis == kBindMouseX)
            std::snprintf(text, sizeof text, "MX%c", sign);
        else if (axis == kBindMouseY)
            std::snprintf(text, sizeof text, "MY%c", sign);
        else if (axis >= kBindJoyAxisX && axis < kBindJoyAxisX + kBindJoyAxisCount)
            std::snprintf(text, sizeof text, "J%d %c%c", index, kJoyAxes[axis - kBindJoyAxisX], sign);
        else
            return false;
    }
    name = text;
    return true;
}

std::string BindingValueName(int control, char part)
{
    if (control < 0 || control >= kControlCount)
        throw std::out_of_range("no such control");
    return std::string(kBindingStems[control]) + '_' + part;
}

void LoadPlayerName(std::span<char> field)
{
    if (field.empty())
        return;
    const platform::RegistryKey key(kSettingsKeyPath);
    std::string name = key.get_string(kValuePlayerName).value_or(kDefaultPlayerName);
    // At most 99 characters are read; the championship keeps 20 of them,
    // and so does any field, however large.
    name = name.substr(0, std::min(name.find('\0'), kPlayerNameReadBytes - 1));
    name.resize(std::min({name.size(), kPlayerNameChars, field.size() - 1}));
    std::fill(field.begin(), field.end(), '\0');
    std::memcpy(field.data(), name.data(), name.size());
}

void GameApp::SetSettingsLinks(const SettingsLinks& links)
{
    m_settingsLinks = links;
}

std::int32_t GameApp::LoadSettings()
{
    GameSettings& settings = LinkedSettings(m_settingsLinks);
    const DisplayModeQuery& displays = LinkedDisplays(m_settingsLinks);
    LinkedBindings(m_settingsLinks);

    // A key that cannot be made (the settings folder cannot be created or
    // written) reads as empty: the game runs on every default, and the
    // player is told once that nothing he changes will be kept.
    platform::RegistryKey key(kSettingsKeyPath);
    std::int32_t result = kSettingsOk;
    if (!key.create()) {
        std::fprintf(stderr,
                     "The settings folder \"%s\" cannot be used (%s): the game runs on its defaults and "
                     "settings will not be kept.\n",
                     platform::registry_folder().c_str(), key.last_error().c_str());
        result = kSettingsKeyUnusable;
    }
    const ValueReader in(key);

    ReadFolder(key, "CDTrack", CDTrack);
    ReadFolder(key, "CDMusic", CDMusic);

    Camera = in.Int("Camera", 0);
    if (in.Dword("Fullscreen", 1) != 0)
        GfxFlags |= kGfxFlagFullScreen;
    else
        GfxFlags &= ~kGfxFlagFullScreen;
    LoadDriving(in, settings);

    LoadDrivers(in, displays, *this);
    LoadResolution(in, GetVideoModeMask(displays, DDrawDriver, D3DDriver), *this);
    LoadGraphics(in, *this, settings);

    LoadRaceOptions(in, settings.Race);
    LoadAudio(in, settings.Audio);
    NetPort = LoadNetPort(in);

    LoadBindings(key, m_settingsLinks);
    m_settingsLinks.ValidateBindings(*m_settingsLinks.Bindings);
    return result;
}

bool GameApp::SaveRaceSettings()
{
    const RaceOptions& race = LinkedSettings(m_settingsLinks).Race;
    SettingsWriter out(kSettingsKeyPath, "race settings");
    WriteVersions(out, *this);
    out.Int("NumArcadeLaps", race.NumArcadeLaps);
    out.Int("NumSimulationLaps", race.NumSimulationLaps);
    out.Int("NumArcadeRiders", race.NumArcadeRiders);
    out.Int("NumSimulationRiders", race.NumSimulationRiders);
    out.Int("CpuDifficulty", race.CpuDifficulty);
    out.Int("Weather", race.Weather);
    out.Int("CpuMulti", race.CpuMulti);
    out.Int("Km", race.Km);
    return out.Finish();
}

bool GameApp::SaveDrivers()
{
    SettingsWriter out(kSettingsKeyPath, "display drivers");
    out.Int("DDrawDriver", DDrawDriver);
    out.Int("D3DDriver", D3DDriver);
    return out.Finish();
}

bool GameApp::SaveCamera()
{
    SettingsWriter out(kSettingsKeyPath, "camera");
    WriteVersions(out, *this);
    out.Int("Camera", Camera);
    return out.Finish();
}

bool GameApp::SaveControls()
{
    const ControlBlock& block = LinkedBindings(m_settingsLinks);
    SettingsWriter out(kSettingsKeyPath, "controls");
    WriteVersions(out, *this);
    for (int control = 0; control < kControlCount; ++control) {
        out.Dword(BindingValueName(control, 'K').c_str(), static_cast<std::uint8_t>(block.Type[control]));
        out.Dword(BindingValueName(control, 'I').c_str(), block.Index[control]);
        out.Dword(BindingValueName(control, 'P').c_str(), block.Rise[control]);
        out.Dword(BindingValueName(control, 'R').c_str(), block.Fall[control]);
    }
    return out.Finish();
}

bool GameApp::SaveDriving()
{
    const GameSettings& settings = LinkedSettings(m_settingsLinks);
    SettingsWriter out(kSettingsKeyPath, "driving settings");
    WriteVersions(out, *this);
    out.Dword("PlayerFlags", settings.PlayerSetup.PlayerFlags);
    out.Float("FrontLimiter", settings.PlayerSetup.FrontLimiter);
    out.Float("RearLimiter", settings.PlayerSetup.RearLimiter);
    out.Int("RealismLevel", settings.RealismLevel);
    return out.Finish();
}

bool GameApp::SaveGraphics()
{
    const GameSettings& settings = LinkedSettings(m_settingsLinks);
    SettingsWriter out(kSettingsKeyPath, "graphics settings");
    WriteVersions(out, *this);
    out.Int("HRes", HRes);
    out.Int("ZClipping", ZClipping);
    out.Int("Shrink", Shrink);
    out.Int("Details", Details);
    out.Int("EngineDetails", EngineDetails);
    out.Int("DetailLevel", settings.DetailLevel);
    // Full screen is the player's start-up choice ("Fullscreen"), not part
    // of the stored graphics flags.
    out.Dword("GfxFlags", GfxFlags & ~kGfxFlagFullScreen);
    return out.Finish();
}

bool GameApp::SaveAudio()
{
    const AudioOptions& audio = LinkedSettings(m_settingsLinks).Audio;
    SettingsWriter out(kSettingsKeyPath, "audio settings");
    WriteVersions(out, *this);
    out.Dword("Sound", audio.Sound);
    out.Float("SoundVolume", audio.SoundVolume);
    out.Dword("Music", audio.Music);
    out.Float("MusicVolume", audio.MusicVolume);
    return out.Finish();
}
