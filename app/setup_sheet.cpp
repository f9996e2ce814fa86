#include "app/setup_sheet.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "app/game_app.h"
#include "app/registry_settings.h"
#include "app/settings_writer.h"
#include "platform/registry.h"

// Only the control block's fields are used here (see registry_settings.cpp).
#include "input/control_block.h"

namespace {

constexpr std::int32_t kMaxRaceRiders = 32;
constexpr std::int32_t kWeathers = 3;  // sunny, rain, fog
constexpr std::int32_t kSessions = 7;  // session types 0..6

ControlBlock& LinkedBindings(const SettingsLinks& links)
{
    if (!links.Bindings || !links.ValidateBindings)
        throw std::logic_error("the full settings key has no input bindings to fill");
    return *links.Bindings;
}

// Stores a value read from the key into a field, when it is there and the
// check (if any) accepts it; otherwise the field keeps its value.
class FullKeyReader {
public:
    explicit FullKeyReader(const platform::RegistryKey& key) : key_(key) {}

    template <typename Field>
    void Word(const char* name, Field& field, bool (*accept)(std::int32_t) = nullptr) const
    {
        const auto value = key_.get_dword(name);
        if (value && (!accept || accept(static_cast<std::int32_t>(*value))))
            field = static_cast<Field>(*value);
    }
    void Float(const char* name, float& field) const
    {
        const auto value = key_.get_float(name);
        if (value && std::isfinite(*value))
            field = *value;
    }
    template <std::size_t N>
    void Text(const char* name, char (&field)[N]) const
    {
        const auto value = key_.get_string(name);
        if (!value)
            return;
        const std::size_t length = std::min({value->find('\0'), value->size(), N - 1});
        std::memset(field, 0, N);
        std::memcpy(field, value->data(), length);
    }

private:
    const platform::RegistryKey& key_;
};

bool IsRiderCount(std::int32_t v) { return v >= 0 && v <= kMaxRaceRiders; }
bool IsRiderIndex(std::int32_t v) { return v >= 0; }
bool IsWeather(std::int32_t v) { return v >= 0 && v < kWeathers; }
bool IsSession(std::int32_t v) { return v >= 0 && v < kSessions; }

} // namespace

bool GameApp::SaveRegistry()
{
    const ControlBlock& block = LinkedBindings(m_settingsLinks);
    const BikeSetup& setup = m_PlayerTemplate.Setup;
    SettingsWriter out(kFullSettingsKeyPath, "full settings");
    out.Dword(kValueVersionMS, m_versionBlock[4]);
    out.Dword(kValueVersionLS, m_versionBlock[5]);
    out.Dword("Flags", Flags);
    out.Dword("GfxFlags", GfxFlags);
    out.Dword("RaceFlags", RaceFlags);
    out.Dword("PlayerBikeFlags", setup.PlayerFlags);
    out.Float("FrontLimiter", setup.FrontLimiter);
    out.Float("RearLimiter", setup.RearLimiter);
    out.Int("HRes", HRes);
    out.Int("VRes", VRes);
    out.Int("ZClipping", ZClipping);
    out.Int("Shrink", Shrink);
    out.Int("Details", Details);
    out.Int("EngineDetails", EngineDetails);
    out.Int("NumRiders", m_nRiders);
    out.Int("HumanRider", m_PlayerTemplate.RiderIndex);
    out.Int("NumLaps", m_nLaps);
    out.Int("Weather", m_nWeather);
    out.Int("Session", m_nSession);
    out.Int("Skill", m_nSkill);
    out.Int("DDrawDriver", DDrawDriver);
    out.Int("D3DDriver", D3DDriver);
    out.String("Track", std::string_view(m_szTrack, strnlen(m_szTrack, sizeof m_szTrack)));
    for (int control = 0; control < kControlCount; ++control) {
        out.Dword(BindingValueName(control, 'K'), static_cast<std::uint8_t>(block.Type[control]));
        out.Dword(BindingValueName(control, 'I'), block.Index[control]);
        out.Dword(BindingValueName(control, 'P'), block.Rise[control]);
        out.Dword(BindingValueName(control, 'R'), block.Fall[control]);
    }
    return out.Finish();
}

std::int32_t GameApp::LoadRegistry()
{
    ControlBlock& block = LinkedBindings(m_settingsLinks);
    const platform::RegistryKey key(kFullSettingsKeyPath);
    if (!key.exists())
        return kSettingsKeyMissing;
    const FullKeyReader in(key);
    BikeSetup& setup = m_PlayerTemplate.Setup;
    in.Word("Flags", Flags);
    in.Word("GfxFlags", GfxFlags);
    in.Word("RaceFlags", RaceFlags);
    in.Word("PlayerBikeFlags", setup.PlayerFlags);
    in.Float("FrontLimiter", setup.FrontLimiter);
    in.Float("RearLimiter", setup.RearLimiter);
    in.Word("HRes", HRes);
    in.Word("VRes", VRes);
    in.Word("ZClipping", ZClipping);
    in.Word("Shrink", Shrink);
    in.Word("Details", Details);
    in.Word("EngineDetails", EngineDetails);
    in.Word("NumRiders", m_nRiders, IsRiderCount);
    in.Word("HumanRider", m_PlayerTemplate.RiderIndex, IsRiderIndex);
    in.Word("NumLaps", m_nLaps);
    in.Word("Weather", m_nWeather, IsWeather);
    in.Word("Session", m_nSession, IsSession);
    in.Word("Skill", m_nSkill);
    in.Word("DDrawDriver", DDrawDriver);
    in.Word("D3DDriver", D3DDriver);
    in.Text("Track", m_szTrack);
    for (int control = 0; control < kControlCount; ++control) {
        const auto part = [&](char p) { return key.get_dword(BindingValueName(control, p)); };
        if (const auto type = part('K'))
            block.Type[control] = static_cast<std::int8_t>(*type & 0xFF);
        if (const auto index = part('I'))
            block.Index[control] = static_cast<std::uint8_t>(*index & 0xFF);
        if (const auto rise = part('P'))
            block.Rise[control] = BindingRate(*rise);
        if (const auto fall = part('R'))
            block.Fall[control] = BindingRate(*fall);
    }
    m_settingsLinks.ValidateBindings(block);
    return kSettingsOk;
}

bool DeleteSettingsKey(std::string* error)
{
    if (!platform::RegistryKey(kFullSettingsKeyPath).exists())
        return true;
    return platform::RegistryKey::delete_key(kFullSettingsKeyPath, error);
}
