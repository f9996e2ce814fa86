#include "tools/datakit/mix_writer.h"

#include <algorithm>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/path_resolver.h"
#include "tools/datakit/lzw_encoder.h"

namespace datakit {

namespace {

constexpr std::uint8_t kScramble = 0xD3;
constexpr std::uint32_t kFlagInMemory = 1u << 0;
constexpr std::uint32_t kFlagCompressed = 1u << 1;
constexpr std::size_t kMaxName = 15;

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (fold(text[i]) != fold(prefix[i]))
            return false;
    }
    return true;
}

bool ends_with_ignoring_case(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() &&
           starts_with_ignoring_case(text.substr(text.size() - suffix.size()), suffix);
}

} // namespace

bool MixWriter::add(std::string_view name, std::vector<std::uint8_t> bytes, MixStorage storage, bool text,
                    std::string* error)
{
    if (name.empty() || name.size() > kMaxName || name.find('\0') != std::string_view::npos) {
        if (error)
            *error = "archive entry name \"" + std::string(name) + "\" must have 1 to 15 characters";
        return false;
    }
    if (bytes.size() > 0x7FFFFFFFu) {
        if (error)
            *error = "archive entry \"" + std::string(name) + "\" is too large";
        return false;
    }
    Entry entry;
    entry.name = std::string(name);
    entry.size = static_cast<std::uint32_t>(bytes.size());
    entry.flags = text ? kFlagInMemory : 0;
    if (storage != MixStorage::Plain) {
        std::vector<std::uint8_t> packed = lzw_encode(bytes);
        if (storage == MixStorage::Compressed || packed.size() < bytes.size()) {
            entry.stored = std::move(packed);
            entry.flags |= kFlagCompressed;
        }
    }
    if (!(entry.flags & kFlagCompressed))
        entry.stored = std::move(bytes);
    entries_.push_back(std::move(entry));
    return true;
}

bool MixWriter::add_text(std::string_view name, std::string_view text, MixStorage storage, std::string* error)
{
    return add(name, std::vector<std::uint8_t>(text.begin(), text.end()), storage, true, error);
}

std::vector<std::uint8_t> MixWriter::build() const
{
    std::vector<std::uint8_t> out;
    std::vector<std::uint32_t> offsets;
    for (const Entry& entry : entries_) {
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), entry.stored.begin(), entry.stored.end());
    }
    const std::size_t directory_start = out.size();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& entry = entries_[i];
        std::uint8_t name[16];
        for (std::size_t k = 0; k < 16; ++k) {
            const char plain = k < entry.name.size() ? entry.name[k] : '\0';
            name[k] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(plain) ^ kScramble);
        }
        out.insert(out.end(), name, name + 16);
        put_u32(out, offsets[i]);
        put_u32(out, static_cast<std::uint32_t>(entry.stored.size()));
        put_u32(out, entry.size);
        put_u32(out, entry.flags);
    }
    put_u32(out, static_cast<std::uint32_t>(out.size() - directory_start));
    return out;
}

bool MixWriter::write(const std::filesystem::path& native_path, std::string& error) const
{
    return platform::write_file_atomic(native_path.string(), build(), &error);
}

bool looks_like_text(const std::vector<std::uint8_t>& bytes)
{
    for (std::uint8_t b : bytes) {
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != 0x1A)
            return false;
    }
    return true;
}

std::string mix_archive_for_folder(std::string_view folder)
{
    if (folder.size() >= 2 && folder[0] == '.' && (folder[1] == '\\' || folder[1] == '/'))
        folder.remove_prefix(2);
    struct Root {
        std::string_view match;
        std::string_view prefix;
    };
    static constexpr Root roots[] = {
        {"gfx", "gfx\\"},   {"data", "data\\"},     {"Sfx", "sfx\\"},
        {".\\Menu", ".\\menu\\"}, {"..\\Sfx", "..\\sfx\\"}, {".\\Gfx", ".\\Gfx\\"},
    };
    std::string archive;
    for (const Root& root : roots) {
        if (starts_with_ignoring_case(folder, root.match)) {
            archive = root.prefix;
            break;
        }
    }
    const std::size_t cut = folder.find_last_of("\\/");
    std::string_view last = cut == std::string_view::npos ? folder : folder.substr(cut + 1);
    archive += last.substr(0, 8);
    archive += ".mix";
    return archive;
}

bool pack_folder(const std::filesystem::path& folder, const std::filesystem::path& archive, MixStorage storage,
                 std::string& error, std::vector<std::string>* skipped)
{
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = item.path().filename().string();
        if (!item.is_regular_file() || name.empty() || name[0] == '.' || ends_with_ignoring_case(name, ".mix"))
            continue;
        files.push_back(item.path());
    }
    if (ec) {
        error = "cannot list \"" + folder.string() + "\": " + ec.message();
        return false;
    }
    std::sort(files.begin(), files.end());
    MixWriter writer;
    for (const auto& file : files) {
        std::vector<std::uint8_t> bytes;
        if (!platform::read_file_whole(file.string(), bytes, &error))
            return false;
        const bool text = looks_like_text(bytes);
        const std::string name = file.filename().string();
        if (skipped && name.size() > kMaxName) {
            skipped->push_back(name);
            continue;
        }
        if (!writer.add(file.filename().string(), std::move(bytes), storage, text, &error))
            return false;
    }
    return writer.write(archive, error);
}

bool pack_demo_archives(const std::filesystem::path& root, std::string& error)
{
    // Every folder below the root, as the game names it ("Data\Tracks").
    std::error_code ec;
    std::vector<std::string> folders;
    std::filesystem::recursive_directory_iterator walk(root, ec), done;
    for (; !ec && walk != done; walk.increment(ec)) {
        const std::string name = walk->path().filename().string();
        if (!walk->is_directory())
            continue;
        if (name.empty() || name[0] == '.') {
            walk.disable_recursion_pending();
            continue;
        }
        std::string program = std::filesystem::relative(walk->path(), root, ec).generic_string();
        std::replace(program.begin(), program.end(), '/', '\\');
        folders.push_back(program);
    }
    if (ec) {
        error = "cannot list \"" + root.string() + "\": " + ec.message();
        return false;
    }
    std::sort(folders.begin(), folders.end());

    std::vector<std::pair<std::string, std::string>> packed; // archive, folder
    for (const std::string& folder : folders) {
        std::string native_folder = folder;
        std::replace(native_folder.begin(), native_folder.end(), '\\', '/');
        bool has_files = false;
        for (const auto& item : std::filesystem::directory_iterator(root / native_folder, ec)) {
            const std::string name = item.path().filename().string();
            if (item.is_regular_file() && !name.empty() && name[0] != '.' && !ends_with_ignoring_case(name, ".mix"))
                has_files = true;
        }
        if (!has_files)
            continue;
        const std::string archive_program = mix_archive_for_folder(folder);
        for (const auto& [archive, other] : packed) {
            if (archive == archive_program) {
                error = "folders \"" + other + "\" and \"" + folder + "\" would share the archive \"" + archive + "\"";
                return false;
            }
        }
        packed.emplace_back(archive_program, folder);
        const std::string archive_native = platform::resolve_for_create(root.string() + "/" + archive_program);
        std::vector<std::string> skipped; // names too long for an entry stay plain files only
        if (!pack_folder(root / native_folder, archive_native, MixStorage::Smaller, error, &skipped))
            return false;
    }
    return true;
}

} // namespace datakit
