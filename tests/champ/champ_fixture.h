#pragma once

// Fixtures of the championship tests: each test stands in its own folder,
// which holds the riders, weather and times files of the data kit's demo set
// unless a test writes its own.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "platform/fault_seam.h"
#include "platform/message_box.h"
#include "platform/path_resolver.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/champ_files_writer.h"
#include "tools/datakit/text_file_builder.h"

namespace champ_fixture {

// The text of the message a call throws, or "(nothing thrown)".
inline std::string ThrownText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const GameError& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

// Little-endian words inside a file's bytes.
inline void PutU32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint32_t GetU32(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return v;
}

inline std::vector<std::uint8_t> read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    platform::invalidate_path_cache();
}

inline void write_text(const std::filesystem::path& path, const std::string& text)
{
    std::string error;
    ASSERT_TRUE(datakit::write_text_file(path, text, error)) << error;
    platform::invalidate_path_cache();
}

class ChampTest : public ::testing::Test {
protected:
    ChampTest() : dir_(torvane_test::make_temp_dir("champ")), cwd_(dir_)
    {
        platform::clear_faults();
        platform::clear_recorded_message_boxes();
        platform::invalidate_path_cache();
    }
    ~ChampTest() override { platform::clear_faults(); }

    void WriteDemoFiles()
    {
        write_text(dir_ / "menu" / "Riders.txt", datakit::riders_file_text(datakit::demo_riders()));
        write_text(dir_ / "menu" / "Weather.txt", datakit::weather_file_text(datakit::demo_weather()));
        write_text(dir_ / "Data" / "Times.dat", datakit::times_file_text(datakit::demo_rider_times()));
    }

    std::filesystem::path SavePath(const std::string& name) const { return dir_ / "menu" / "save" / name; }

    static std::vector<platform::ShownMessageBox> Boxes() { return platform::recorded_message_boxes(); }

    std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
};

} // namespace champ_fixture
