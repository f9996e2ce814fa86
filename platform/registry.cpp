#include "platform/registry.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/crc32.h"
#include "platform/fault_seam.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

constexpr char kTag[4] = {'T', 'V', 'R', 'K'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 12;   // tag, version, count
constexpr std::size_t kEntryMinSize = 12; // type, name length, data length
constexpr std::size_t kChecksumSize = 4;

// Longest key file name we make, leaving room below the usual 255-byte limit
// for ".tmp" and ".damaged.NNN".
constexpr std::size_t kMaxFileName = 200;
constexpr int kMaxBackups = 1000;

const std::string kKeySuffix = ".key";

// Changes of key files are read-change-write steps; within this program they
// run one at a time so that no change is lost and no two writers share the
// temporary file.
std::mutex g_change_mutex;

const Fault kWriteFault = Fault::RegistryWrite;

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t read_u32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Bounds-checked reading of the body of a key file.
class BodyReader {
public:
    BodyReader(const std::uint8_t* p, std::size_t size) : p_(p), size_(size) {}

    std::size_t left() const { return size_ - pos_; }

    bool u32(std::uint32_t& v)
    {
        if (left() < 4)
            return false;
        v = read_u32(p_ + pos_);
        pos_ += 4;
        return true;
    }

    bool bytes(std::size_t n, const std::uint8_t*& out)
    {
        if (left() < n)
            return false;
        out = p_ + pos_;
        pos_ += n;
        return true;
    }

private:
    const std::uint8_t* p_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

char ascii_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i]))
            return false;
    }
    return true;
}

bool known_type(std::uint32_t type)
{
    return type == std::uint32_t(RegistryType::String) || type == std::uint32_t(RegistryType::Binary) ||
           type == std::uint32_t(RegistryType::Dword);
}

std::vector<RegistryValue>::iterator find_value(std::vector<RegistryValue>& values, std::string_view name)
{
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (same_name(it->name, name))
            return it;
    }
    return values.end();
}

std::string environment(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool ends_with(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The files of the key `file_name` and of every key below it, in `folder`.
std::vector<std::string> key_files(const std::string& folder, const std::string& file_name)
{
    std::vector<std::string> files;
    const std::string stem = file_name.substr(0, file_name.size() - kKeySuffix.size());
    const std::string below = stem + ".";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const bool own = name == file_name;
        const bool sub = name.size() > below.size() + kKeySuffix.size() && name.compare(0, below.size(), below) == 0 &&
                         ends_with(name, kKeySuffix);
        if (own || sub)
            files.push_back(it->path().string());
    }
    return files;
}

// True unless the path is surely free (an error counts as taken, so that no
// backup is ever renamed over).
bool file_present(const std::string& path)
{
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

// Moves a damaged key file aside to the first free "<file>.damaged" name, so
// that the bytes it holds are never lost.
bool keep_damaged(const std::string& file, std::string& error)
{
    for (int i = 0; i < kMaxBackups; ++i) {
        std::string backup = file + ".damaged";
        if (i > 0)
            backup += "." + std::to_string(i);
        if (file_present(backup))
            continue;
        std::error_code ec;
        fs::rename(file, backup, ec);
        if (ec) {
            error = "cannot keep the damaged key file \"" + file + "\" as \"" + backup + "\": " + ec.message();
            return false;
        }
        std::fprintf(stderr, "registry: damaged key file \"%s\" kept as \"%s\"\n", file.c_str(), backup.c_str());
        return true;
    }
    error = "no free backup name for the damaged key file \"" + file + "\"";
    return false;
}

bool read_key_file(const std::string& file, std::vector<RegistryValue>& values, std::string& reason)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        reason = "not a plain file";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (!read_file_whole(file, bytes, &reason))
        return false;
    return decode_registry_file(bytes, values, reason);
}

} // namespace

// ---------------------------------------------------------------------------
// File format

std::vector<std::uint8_t> encode_registry_file(const std::vector<RegistryValue>& values)
{
    std::vector<std::uint8_t> out(kTag, kTag + 4);
    put_u32(out, kVersion);
    put_u32(out, static_cast<std::uint32_t>(values.size()));
    for (const RegistryValue& v : values) {
        put_u32(out, static_cast<std::uint32_t>(v.type));
        put_u32(out, static_cast<std::uint32_t>(v.name.size()));
        out.insert(out.end(), v.name.begin(), v.name.end());
        put_u32(out, static_cast<std::uint32_t>(v.data.size()));
        out.insert(out.end(), v.data.begin(), v.data.end());
    }
    put_u32(out, crc32(out.data(), out.size()));
    return out;
}

bool decode_registry_file(const std::vector<std::uint8_t>& bytes, std::vector<RegistryValue>& values,
                          std::string& reason)
{
    values.clear();
    if (bytes.size() < kHeaderSize + kChecksumSize) {
        reason = "too short";
        return false;
    }
    if (std::memcmp(bytes.data(), kTag, 4) != 0) {
        reason = "not a key file";
        return false;
    }
    const std::uint32_t version = read_u32(bytes.data() + 4);
    if (version != kVersion) {
        reason = "unknown version " + std::to_string(version);
        return false;
    }
    const std::size_t body_end = bytes.size() - kChecksumSize;
    if (crc32(bytes.data(), body_end) != read_u32(bytes.data() + body_end)) {
        reason = "checksum mismatch";
        return false;
    }
    const std::uint32_t count = read_u32(bytes.data() + 8);
    BodyReader in(bytes.data() + kHeaderSize, body_end - kHeaderSize);
    if (count > in.left() / kEntryMinSize) {
        reason = "value count beyond the file";
        return false;
    }
    std::vector<RegistryValue> read;
    read.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t type = 0, name_size = 0, data_size = 0;
        const std::uint8_t* name = nullptr;
        const std::uint8_t* data = nullptr;
        if (!in.u32(type) || !in.u32(name_size) || !in.bytes(name_size, name) || !in.u32(data_size) ||
            !in.bytes(data_size, data)) {
            reason = "value " + std::to_string(i) + " runs past the end";
            return false;
        }
        if (!known_type(type)) {
            reason = "value " + std::to_string(i) + " has unknown type " + std::to_string(type);
            return false;
        }
        if (type == std::uint32_t(RegistryType::Dword) && data_size != 4) {
            reason = "value " + std::to_string(i) + " is a word of " + std::to_string(data_size) + " bytes";
            return false;
        }
        RegistryValue v;
        v.name.assign(reinterpret_cast<const char*>(name), name_size);
        v.type = static_cast<RegistryType>(type);
        v.data.assign(data, data + data_size);
        if (find_value(read, v.name) != read.end()) {
            reason = "value \"" + v.name + "\" stored twice";
            return false;
        }
        read.push_back(std::move(v));
    }
    if (in.left() != 0) {
        reason = "bytes left over after the values";
        return false;
    }
    values = std::move(read);
    return true;
}

// ---------------------------------------------------------------------------
// Where keys live

std::string registry_folder()
{
    if (std::string home = environment("TORVANE_HOME"); !home.empty())
        return home;
    // A relative XDG_CONFIG_HOME is ignored, as the convention asks.
    if (std::string config = environment("XDG_CONFIG_HOME"); !config.empty() && config[0] == '/')
        return config + "/torvane";
    if (std::string home = environment("HOME"); !home.empty())
        return home + "/.config/torvane";
    return {};
}

std::optional<std::string> registry_file_name(std::string_view key_path)
{
    static const char kHex[] = "0123456789abcdef";
    if (key_path.empty())
        return std::nullopt;
    std::string name;
    std::size_t component_size = 0;
    for (char c : key_path) {
        if (c == '\\') {
            if (component_size == 0)
                return std::nullopt;
            name += '.';
            component_size = 0;
            continue;
        }
        const char low = ascii_lower(c);
        if ((low >= 'a' && low <= 'z') || (low >= '0' && low <= '9') || low == '_' || low == '-') {
            name += low;
        } else {
            const auto b = static_cast<unsigned char>(c);
            name += '%';
            name += kHex[b >> 4];
            name += kHex[b & 0x0F];
        }
        ++component_size;
    }
    if (component_size == 0)
        return std::nullopt;
    name += kKeySuffix;
    if (name.size() > kMaxFileName)
        return std::nullopt;
    return name;
}

// ---------------------------------------------------------------------------
// RegistryKey

struct RegistryKey::Loaded {
    enum class State { Invalid, Missing, Present, Damaged, Unreadable } state = State::Invalid;
    std::string folder;
    std::string file;
    std::string reason;
    std::vector<RegistryValue> values;
};

RegistryKey::RegistryKey(std::string path) : path_(std::move(path)) {}

RegistryKey::Loaded RegistryKey::load() const
{
    Loaded l;
    const auto name = registry_file_name(path_);
    if (!name) {
        l.reason = "invalid key path \"" + path_ + "\"";
        return l;
    }
    l.folder = registry_folder();
    if (l.folder.empty()) {
        l.reason = "no settings folder: none of TORVANE_HOME, XDG_CONFIG_HOME and HOME is set";
        return l;
    }
    l.file = l.folder + "/" + *name;
    std::error_code ec;
    const fs::file_status status = fs::status(l.file, ec);
    if (status.type() == fs::file_type::not_found) {
        l.state = Loaded::State::Missing;
        return l;
    }
    std::vector<std::uint8_t> bytes;
    if (ec) {
        l.reason = "cannot look at \"" + l.file + "\": " + ec.message();
    } else if (status.type() != fs::file_type::regular) {
        // A folder, pipe or device in the key's place is never read (a pipe
        // would wait for ever) nor replaced.
        l.reason = "\"" + l.file + "\" is not a plain file";
    }
    if (!l.reason.empty() || !read_file_whole(l.file, bytes, &l.reason)) {
        l.state = Loaded::State::Unreadable;
        if (!problem_reported_)
            std::fprintf(stderr, "registry: %s\n", l.reason.c_str());
        problem_reported_ = true;
        return l;
    }
    if (!decode_registry_file(bytes, l.values, l.reason)) {
        l.state = Loaded::State::Damaged;
        if (!problem_reported_)
            std::fprintf(stderr, "registry: key file \"%s\" is damaged (%s); its values are ignored\n",
                         l.file.c_str(), l.reason.c_str());
        problem_reported_ = true;
        return l;
    }
    l.state = Loaded::State::Present;
    return l;
}

bool RegistryKey::exists() const
{
    const auto name = registry_file_name(path_);
    const std::string folder = registry_folder();
    if (!name || folder.empty())
        return false;
    return !key_files(folder, *name).empty();
}

bool RegistryKey::write_values(const Loaded& loaded, const std::vector<RegistryValue>& values)
{
    std::error_code ec;
    fs::create_directories(loaded.folder, ec);
    if (ec) {
        error_ = "cannot make the settings folder \"" + loaded.folder + "\": " + ec.message();
        return false;
    }
    if (loaded.state == Loaded::State::Damaged && !keep_damaged(loaded.file, error_))
        return false;
    return write_file_atomic(loaded.file, encode_registry_file(values), &error_, &kWriteFault);
}

bool RegistryKey::create()
{
    std::lock_guard<std::mutex> lock(g_change_mutex);
    error_.clear();
    const Loaded loaded = load();
    switch (loaded.state) {
    case Loaded::State::Invalid:
        error_ = loaded.reason;
        return false;
    case Loaded::State::Missing:
        return write_values(loaded, {});
    default:
        // A key file that is there (even a damaged one) already makes the key.
        return true;
    }
}

bool RegistryKey::store(RegistryValue value)
{
    std::lock_guard<std::mutex> lock(g_change_mutex);
    error_.clear();
    constexpr std::size_t kMaxField = std::numeric_limits<std::uint32_t>::max();
    if (value.name.size() > kMaxField || value.data.size() > kMaxField) {
        error_ = "value too large to store";
        return false;
    }
    Loaded loaded = load();
    if (loaded.state == Loaded::State::Invalid || loaded.state == Loaded::State::Unreadable) {
        error_ = loaded.reason;
        return false;
    }
    std::vector<RegistryValue> values = std::move(loaded.values);
    auto it = find_value(values, value.name);
    if (it != values.end()) {
        it->type = value.type;
        it->data = std::move(value.data);
    } else {
        values.push_back(std::move(value));
    }
    return write_values(loaded, values);
}

bool RegistryKey::delete_value(std::string_view name)
{
    std::lock_guard<std::mutex> lock(g_change_mutex);
    error_.clear();
    Loaded loaded = load();
    if (loaded.state == Loaded::State::Invalid || loaded.state == Loaded::State::Unreadable) {
        error_ = loaded.reason;
        return false;
    }
    std::vector<RegistryValue> values = std::move(loaded.values);
    auto it = find_value(values, name);
    if (it == values.end()) {
        error_ = "no value \"" + std::string(name) + "\"";
        return false;
    }
    values.erase(it);
    return write_values(loaded, values);
}

bool RegistryKey::set_dword(std::string_view name, std::uint32_t value)
{
    RegistryValue v{std::string(name), RegistryType::Dword, {}};
    put_u32(v.data, value);
    return store(std::move(v));
}

bool RegistryKey::set_float(std::string_view name, float value)
{
    return set_dword(name, std::bit_cast<std::uint32_t>(value));
}

bool RegistryKey::set_string(std::string_view name, std::string_view value)
{
    return store({std::string(name), RegistryType::String, std::vector<std::uint8_t>(value.begin(), value.end())});
}

bool RegistryKey::set_binary(std::string_view name, const std::vector<std::uint8_t>& value)
{
    return store({std::string(name), RegistryType::Binary, value});
}

std::optional<RegistryValue> RegistryKey::find(std::string_view name, const RegistryType* type) const
{
    Loaded loaded = load();
    auto it = find_value(loaded.values, name);
    if (it == loaded.values.end() || (type && it->type != *type))
        return std::nullopt;
    return std::move(*it);
}

std::optional<std::uint32_t> RegistryKey::get_dword(std::string_view name) const
{
    const RegistryType type = RegistryType::Dword;
    const auto v = find(name, &type);
    if (!v)
        return std::nullopt;
    return read_u32(v->data.data());
}

std::optional<float> RegistryKey::get_float(std::string_view name) const
{
    const auto bits = get_dword(name);
    if (!bits)
        return std::nullopt;
    return std::bit_cast<float>(*bits);
}

std::optional<std::string> RegistryKey::get_string(std::string_view name) const
{
    const RegistryType type = RegistryType::String;
    const auto v = find(name, &type);
    if (!v)
        return std::nullopt;
    return std::string(v->data.begin(), v->data.end());
}

std::optional<std::vector<std::uint8_t>> RegistryKey::get_binary(std::string_view name) const
{
    const RegistryType type = RegistryType::Binary;
    auto v = find(name, &type);
    if (!v)
        return std::nullopt;
    return std::move(v->data);
}

std::optional<RegistryValue> RegistryKey::get_value(std::string_view name) const
{
    return find(name, nullptr);
}

std::vector<RegistryValue> RegistryKey::values() const
{
    return load().values;
}

bool RegistryKey::delete_key(std::string_view path, std::string* error)
{
    std::lock_guard<std::mutex> lock(g_change_mutex);
    std::string why;
    const auto name = registry_file_name(path);
    const std::string folder = registry_folder();
    if (!name || folder.empty()) {
        why = !name ? "invalid key path \"" + std::string(path) + "\"" : "no settings folder";
    } else {
        const std::vector<std::string> files = key_files(folder, *name);
        if (files.empty())
            why = "no key \"" + std::string(path) + "\"";
        for (const std::string& file : files) {
            std::vector<RegistryValue> values;
            std::string reason;
            if (!read_key_file(file, values, reason)) {
                std::string kept_error;
                if (!keep_damaged(file, kept_error) && why.empty())
                    why = kept_error;
                continue;
            }
            std::error_code ec;
            fs::remove(file, ec);
            if (ec && why.empty())
                why = "cannot remove \"" + file + "\": " + ec.message();
        }
    }
    if (error)
        *error = why;
    return why.empty();
}

} // namespace platform
