#include "menu/state_io.h"

#include "app/game_error.h"
#include "platform/file.h"

void WriteStateBytes(platform::File& file, const void* bytes, std::size_t count)
{
    if (file.write(bytes, count) != count)
        throw GameError("menu save state file error");
}

void ReadStateBytes(platform::File& file, void* bytes, std::size_t count)
{
    if (file.read(bytes, count) != count)
        throw GameError("menu state file too short");
}

void WriteStateWord(platform::File& file, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                   static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    WriteStateBytes(file, bytes, sizeof bytes);
}

std::int32_t ReadStateWord(platform::File& file)
{
    std::uint8_t bytes[4];
    ReadStateBytes(file, bytes, sizeof bytes);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                                     static_cast<std::uint32_t>(bytes[2]) << 16 |
                                     static_cast<std::uint32_t>(bytes[3]) << 24);
}
