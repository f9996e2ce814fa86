#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

// Writes one group of settings values into a key of the settings store.
// Every value is tried even after one has failed, so that as much of the
// group as can be kept is kept; Finish() then says whether all of it was
// written, and a failure is shown to the player in a message box (a setting
// that silently fails to stick would come back changed at the next start).
class SettingsWriter {
public:
    // Opens (makes, when missing) the key. `what` names the group in the
    // failure message ("audio settings").
    SettingsWriter(std::string keyPath, std::string what);
    SettingsWriter(const SettingsWriter&) = delete;
    SettingsWriter& operator=(const SettingsWriter&) = delete;

    void Dword(std::string_view name, std::uint32_t value);
    void Int(std::string_view name, std::int32_t value) { Dword(name, static_cast<std::uint32_t>(value)); }
    // A float is kept as the bits of a 32-bit word.
    void Float(std::string_view name, float value);
    void String(std::string_view name, std::string_view value);
    void Binary(std::string_view name, const std::vector<std::uint8_t>& value);

    // True when the key opened and every value was written. Otherwise shows
    // "Can't save the <what>: <reason>" (caption "Error") and returns false.
    [[nodiscard]] bool Finish();

    // Why the first failed write failed (empty when none has).
    const std::string& Error() const { return error_; }

private:
    void Check(bool written, std::string_view name);

    platform::RegistryKey key_;
    std::string what_;
    bool opened_ = false;
    std::string error_;
};
