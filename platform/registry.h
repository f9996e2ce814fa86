#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The settings store: keys of named, typed values, the way the game keeps its
// settings ("Software\Corvantis\TVNDemo" and its values).
//
// Every key belongs to the current user; no machine-wide root exists, since
// neither the game nor its launcher reads one. A key path is a list of
// components separated by '\'. Key paths and value names are matched without
// regard to case (ASCII letters); a value keeps the case of the name it was
// first stored under.
//
// Storage: one file per key in the settings folder, which is $TORVANE_HOME
// when set, else $XDG_CONFIG_HOME/torvane, else $HOME/.config/torvane (made
// when the first value is written). The file name is the key path lower-cased,
// each component with every byte other than a-z, 0-9, '_' and '-' written as
// "%xx" (two lower-case hex digits), the components joined with '.', and
// ".key" appended: "Software\Corvantis\TVNDemo" is
// "software.corvantis.tvndemo.key".
//
// Nothing is cached: every read reads the key's file afresh, and every change
// reads it, changes it and writes it whole again through write_file_atomic,
// so two RegistryKey objects on one key (or two programs) always see the
// latest stored values. A change that fails leaves the old file and the old
// values in place.
//
// A damaged key file (bad header, checksum, counts or sizes) reads as an
// empty key and is reported on stderr once per RegistryKey object (as is a
// key file that cannot be read at all, which also refuses changes). It is never
// written over: the first change renames it to "<file>.damaged" (or
// "<file>.damaged.1", ".2", ... when that is taken) and starts a fresh file.
namespace platform {

// Value types, with the numbers the game's settings code uses for them.
enum class RegistryType : std::uint32_t {
    String = 1,
    Binary = 3,
    Dword = 4,
};

struct RegistryValue {
    std::string name;
    RegistryType type = RegistryType::Binary;
    // The stored bytes: a Dword is 4 bytes, little-endian; a String is its
    // bytes as given (no terminator added).
    std::vector<std::uint8_t> data;
};

class RegistryKey {
public:
    // Names the key; nothing is read or made until a value is used.
    explicit RegistryKey(std::string path);

    const std::string& path() const { return path_; }

    // True when the key's file exists, or a key below it does (a key is there
    // whenever one of its sub-keys is).
    bool exists() const;

    // Makes the key, with no values, unless it exists. False (and
    // last_error()) when it cannot be made.
    bool create();

    // A missing key, a missing value and a value of another type all read as
    // absent.
    std::optional<std::uint32_t> get_dword(std::string_view name) const;
    std::optional<std::string> get_string(std::string_view name) const;
    std::optional<std::vector<std::uint8_t>> get_binary(std::string_view name) const;
    // A float kept as the bits of a Dword.
    std::optional<float> get_float(std::string_view name) const;
    // The value whatever its type (for readers that take any type).
    std::optional<RegistryValue> get_value(std::string_view name) const;
    // Every value of the key, in the order they were first stored.
    std::vector<RegistryValue> values() const;

    // Each stores the value (making the key if need be, replacing a value of
    // that name whatever its type) and returns true; on failure returns false,
    // leaves the key as it was and says why in last_error().
    bool set_dword(std::string_view name, std::uint32_t value);
    bool set_string(std::string_view name, std::string_view value);
    bool set_binary(std::string_view name, const std::vector<std::uint8_t>& value);
    bool set_float(std::string_view name, float value);

    // Removes one value; false when it is not there or cannot be removed.
    bool delete_value(std::string_view name);

    // Removes a key with every key below it; false when there is no such key
    // or a file cannot be removed (`error` says why). A damaged file is kept
    // as a backup rather than removed.
    static bool delete_key(std::string_view path, std::string* error = nullptr);

    // The text of the last failure of this object (empty when none).
    const std::string& last_error() const { return error_; }

private:
    struct Loaded;

    bool store(RegistryValue value);
    Loaded load() const;
    std::optional<RegistryValue> find(std::string_view name, const RegistryType* type) const;
    bool write_values(const Loaded& loaded, const std::vector<RegistryValue>& values);

    std::string path_;
    std::string error_;
    mutable bool problem_reported_ = false;
};

// The settings folder as the environment gives it now (empty when neither
// TORVANE_HOME, XDG_CONFIG_HOME nor HOME is set).
std::string registry_folder();

// The file name of a key (see above), or nothing for a path that is empty,
// has an empty component, or makes a file name too long for the file system.
std::optional<std::string> registry_file_name(std::string_view key_path);

// The key file format, little-endian throughout:
//   "TVRK", uint32 version (1), uint32 value count,
//   per value: uint32 type, uint32 name length, name bytes,
//              uint32 data length, data bytes,
//   uint32 CRC-32 (IEEE, as zlib computes it) of every byte before it.
std::vector<std::uint8_t> encode_registry_file(const std::vector<RegistryValue>& values);

// Reads a key file; false with `reason` when it is damaged: too short, wrong
// tag or version, checksum mismatch, a count or size beyond the bytes there,
// an unknown type, a Dword not 4 bytes long, a name stored twice, or bytes
// left over.
bool decode_registry_file(const std::vector<std::uint8_t>& bytes, std::vector<RegistryValue>& values,
                          std::string& reason);

} // namespace platform
