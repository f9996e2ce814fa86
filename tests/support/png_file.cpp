// The PNG file reader and writer: no test framework, so that the tools that
// write pictures (torvane-play's shots) link it too.
#include "tests/support/png_image.h"

#include <cstring>

#include "platform/atomic_file.h"
#include "platform/crc32.h"

namespace torvane_test {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t adler32(const std::vector<std::uint8_t>& data)
{
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint32_t get_u32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

void put_chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data)
{
    put_u32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put_u32(out, platform::crc32(out.data() + start, out.size() - start));
}

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

std::size_t channels(const PngImage& image)
{
    return image.indexed ? 1 : 3;
}

} // namespace

bool write_png(const std::string& path, const PngImage& image, std::string* error)
{
    const std::size_t row_bytes = static_cast<std::size_t>(image.width) * channels(image);
    if (image.width <= 0 || image.height <= 0 || image.pixels.size() != row_bytes * image.height)
        return fail(error, "picture size and pixel count disagree");
    if (image.indexed && image.palette.size() != 768)
        return fail(error, "an indexed picture needs a 768-byte palette");

    // Raw rows, each behind filter byte 0.
    std::vector<std::uint8_t> raw;
    raw.reserve((row_bytes + 1) * image.height);
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);
        const auto row = image.pixels.begin() + static_cast<std::ptrdiff_t>(row_bytes * y);
        raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(row_bytes));
    }
    // A zlib stream of stored blocks.
    std::vector<std::uint8_t> z = {0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n));
        z.push_back(static_cast<std::uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                 raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < raw.size());
    put_u32(z, adler32(raw));

    std::vector<std::uint8_t> file(kSignature, kSignature + 8);
    std::vector<std::uint8_t> header;
    put_u32(header, static_cast<std::uint32_t>(image.width));
    put_u32(header, static_cast<std::uint32_t>(image.height));
    header.insert(header.end(), {8, static_cast<std::uint8_t>(image.indexed ? 3 : 2), 0, 0, 0});
    put_chunk(file, "IHDR", header);
    if (image.indexed)
        put_chunk(file, "PLTE", image.palette);
    put_chunk(file, "IDAT", z);
    put_chunk(file, "IEND", {});
    return platform::write_file_atomic(path, file, error);
}

bool read_png(const std::string& path, PngImage& image, std::string* error)
{
    std::vector<std::uint8_t> file;
    if (!platform::read_file_whole(path, file, error))
        return false;
    if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0)
        return fail(error, "not a PNG file");

    image = PngImage{};
    bool have_header = false;
    bool ended = false;
    std::vector<std::uint8_t> z;
    std::size_t at = 8;
    while (!ended) {
        if (file.size() - at < 12)
            return fail(error, "truncated chunk");
        const std::uint32_t length = get_u32(&file[at]);
        if (length > file.size() - at - 12)
            return fail(error, "chunk longer than the file");
        const std::uint8_t* type = &file[at + 4];
        const std::uint8_t* data = &file[at + 8];
        if (platform::crc32(type, length + 4) != get_u32(data + length))
            return fail(error, "chunk checksum mismatch");
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (length != 13)
                return fail(error, "bad header");
            image.width = static_cast<int>(get_u32(data));
            image.height = static_cast<int>(get_u32(data + 4));
            if (image.width <= 0 || image.height <= 0 || image.width > 16384 || image.height > 16384)
                return fail(error, "bad picture size");
            if (data[8] != 8 || (data[9] != 2 && data[9] != 3) || data[10] || data[11] || data[12])
                return fail(error, "only 8-bit indexed or RGB pictures without interlace are read");
            image.indexed = data[9] == 3;
            have_header = true;
        } else if (std::memcmp(type, "PLTE", 4) == 0) {
            if (length == 0 || length > 768 || length % 3)
                return fail(error, "bad palette");
            image.palette.assign(data, data + length);
            image.palette.resize(768, 0);
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            z.insert(z.end(), data, data + length);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            ended = true;
        }
        at += 12 + length;
    }
    if (!have_header)
        return fail(error, "no header");
    if (image.indexed && image.palette.empty())
        return fail(error, "indexed picture without a palette");

    // The zlib stream: stored blocks only.
    if (z.size() < 6 || (z[0] & 0x0F) != 8 || ((z[0] << 8) | z[1]) % 31 != 0)
        return fail(error, "bad zlib header");
    std::vector<std::uint8_t> raw;
    std::size_t p = 2;
    for (bool last = false; !last;) {
        if (z.size() - p < 5)
            return fail(error, "truncated deflate block");
        last = z[p] & 1;
        if ((z[p] >> 1) & 3)
            return fail(error, "compressed deflate blocks are not read (write the file with the test's writer)");
        const std::size_t n = z[p + 1] | z[p + 2] << 8;
        const std::size_t check = z[p + 3] | z[p + 4] << 8;
        if ((n ^ 0xFFFF) != check)
            return fail(error, "bad stored block length");
        p += 5;
        if (z.size() - p < n)
            return fail(error, "truncated stored block");
        raw.insert(raw.end(), z.begin() + static_cast<std::ptrdiff_t>(p), z.begin() + static_cast<std::ptrdiff_t>(p + n));
        p += n;
    }
    if (z.size() - p < 4 || get_u32(&z[p]) != adler32(raw))
        return fail(error, "zlib checksum mismatch");

    const std::size_t row_bytes = static_cast<std::size_t>(image.width) * channels(image);
    if (raw.size() != (row_bytes + 1) * image.height)
        return fail(error, "pixel data size mismatch");
    image.pixels.reserve(row_bytes * image.height);
    for (int y = 0; y < image.height; ++y) {
        const std::size_t row = (row_bytes + 1) * y;
        if (raw[row] != 0)
            return fail(error, "row filters are not read");
        image.pixels.insert(image.pixels.end(), raw.begin() + static_cast<std::ptrdiff_t>(row + 1),
                            raw.begin() + static_cast<std::ptrdiff_t>(row + 1 + row_bytes));
    }
    return true;
}

} // namespace torvane_test
