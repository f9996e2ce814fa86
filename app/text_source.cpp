#include "app/text_source.h"

#include <vector>

#include "platform/file.h"

bool TextSource::open(std::string_view path)
{
    return open_file(path) || open_archive_entry(path);
}

bool TextSource::open_file(std::string_view path)
{
    close();
    // Read as bytes and decoded here, by the same rule as archive entries.
    platform::File file;
    if (!file.open(path, "rb")) {
        return false;
    }
    return attach(file);
}

bool TextSource::open_archive_entry(std::string_view path)
{
    close();
    const ArchivePath where = SplitArchivePath(path);
    std::vector<std::uint8_t> bytes;
    if (mixer_.load(where.archive.c_str(), where.entry.c_str(), bytes) != 0) {
        return false;
    }
    take_bytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), true);
    return true;
}

bool TextSource::attach(platform::File& file)
{
    close();
    if (!file.is_open()) {
        return false;
    }
    // The rest of the file from where it stands. A text-mode file decodes
    // line ends and the end marker itself, by the same rule; binary bytes
    // are decoded here, so both give the same text.
    std::string bytes;
    char chunk[4096];
    for (;;) {
        const std::size_t got = file.read(chunk, sizeof chunk);
        bytes.append(chunk, got);
        if (got < sizeof chunk) break;
    }
    const bool text_mode = file.is_text();
    file.close();
    text_ = text_mode ? std::move(bytes) : DecodeWindowsText(bytes);
    position_ = 0;
    open_ = true;
    from_archive_ = false;
    return true;
}

void TextSource::attach_bytes(std::string_view bytes, bool from_archive)
{
    close();
    take_bytes(bytes, from_archive);
}

void TextSource::take_bytes(std::string_view bytes, bool from_archive)
{
    text_ = DecodeWindowsText(bytes);
    position_ = 0;
    open_ = true;
    from_archive_ = from_archive;
}

void TextSource::close()
{
    text_.clear();
    text_.shrink_to_fit();
    position_ = 0;
    open_ = false;
    from_archive_ = false;
}

bool TextSource::seek(std::int64_t position)
{
    if (position < 0 || position > size()) {
        return false;
    }
    position_ = static_cast<std::size_t>(position);
    return true;
}
