#include "tools/datakit/wav_writer.h"

#include <cstring>

#include "platform/atomic_file.h"

namespace datakit {

namespace {

void put_id(std::vector<std::uint8_t>& out, const char* id)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(id[i]));
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put_u16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// A chunk with its body, padded to an even length.
void put_chunk(std::vector<std::uint8_t>& out, const char* id, const std::vector<std::uint8_t>& body)
{
    put_id(out, id);
    put_u32(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1u)
        out.push_back(0);
}

std::vector<std::uint8_t> list_chunk_body()
{
    // "INFO" with a software name of odd length, as sound editors add.
    std::vector<std::uint8_t> body;
    put_id(body, "INFO");
    put_id(body, "ISFT");
    const char name[] = "datakit";
    put_u32(body, sizeof name);
    for (const char c : name)
        body.push_back(static_cast<std::uint8_t>(c));
    return body;
}

} // namespace

std::vector<std::uint8_t> wav_bytes(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels,
                                    const std::vector<std::uint8_t>& data, const WavLayout& layout)
{
    std::vector<std::uint8_t> chunks;
    if (layout.fact_before_format) {
        std::vector<std::uint8_t> fact;
        put_u32(fact, static_cast<std::uint32_t>(data.size() / (bits / 8 * channels)));
        put_chunk(chunks, "fact", fact);
    }
    std::vector<std::uint8_t> fmt;
    const std::uint16_t align = static_cast<std::uint16_t>(bits / 8 * channels);
    put_u16(fmt, 1);
    put_u16(fmt, channels);
    put_u32(fmt, rate);
    put_u32(fmt, rate * align);
    put_u16(fmt, align);
    put_u16(fmt, bits);
    if (layout.format_extra_word)
        put_u16(fmt, 0);
    put_chunk(chunks, "fmt ", fmt);
    if (layout.list_before_data)
        put_chunk(chunks, "LIST", list_chunk_body());
    put_chunk(chunks, "data", data);
    if (layout.trailing_chunk)
        put_chunk(chunks, "LIST", list_chunk_body());

    std::vector<std::uint8_t> out;
    put_id(out, "RIFF");
    put_u32(out, static_cast<std::uint32_t>(4 + chunks.size()));
    put_id(out, "WAVE");
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

std::vector<std::uint8_t> pcm16_bytes(const std::vector<std::int16_t>& samples)
{
    std::vector<std::uint8_t> out;
    out.reserve(samples.size() * 2);
    for (const std::int16_t s : samples)
        put_u16(out, static_cast<std::uint16_t>(s));
    return out;
}

bool write_wav16(const std::filesystem::path& path, std::uint32_t rate, std::uint16_t channels,
                 const std::vector<std::int16_t>& samples, std::string& error)
{
    std::error_code ec;
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), ec);
    const std::vector<std::uint8_t> bytes = wav_bytes(rate, 16, channels, pcm16_bytes(samples));
    return platform::write_file_atomic(path.string(), bytes.data(), bytes.size(), &error);
}

} // namespace datakit
