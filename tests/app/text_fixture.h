#pragma once

// Fixtures for the text readers: a text placed so that a program path finds
// it either as a plain file or as an entry of the archive the readers fall
// back to (stored plain or LZW-compressed).

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/mixer.h"
#include "platform/path_resolver.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mix_writer.h"
#include "tools/datakit/text_file_builder.h"

namespace text_fixture {

enum class Storage { PlainFile, ArchivePlain, ArchiveCompressed };

inline std::string storage_name(const ::testing::TestParamInfo<Storage>& info)
{
    switch (info.param) {
    case Storage::PlainFile: return "PlainFile";
    case Storage::ArchivePlain: return "ArchivePlain";
    case Storage::ArchiveCompressed: return "ArchiveCompressed";
    }
    return "Unknown";
}

inline const auto kAllStorages =
    ::testing::Values(Storage::PlainFile, Storage::ArchivePlain, Storage::ArchiveCompressed);

// Collects texts by program path and writes them below the current folder
// (tests stand in their own temporary folder).
class TextFiles {
public:
    explicit TextFiles(Storage storage) : storage_(storage) {}

    void add(std::string_view program_path, std::string_view text)
    {
        if (storage_ == Storage::PlainFile) {
            std::string error;
            ASSERT_TRUE(datakit::write_text_file(platform::resolve_for_create(program_path), text, error)) << error;
            platform::invalidate_path_cache();
            return;
        }
        const ArchivePath where = SplitArchivePath(program_path);
        archives_[where.archive].emplace_back(where.entry, std::string(text));
        write_archive(where.archive);
    }

    Storage storage() const { return storage_; }
    bool from_archive() const { return storage_ != Storage::PlainFile; }

private:
    void write_archive(const std::string& archive)
    {
        datakit::MixWriter writer;
        const auto storage =
            storage_ == Storage::ArchiveCompressed ? datakit::MixStorage::Compressed : datakit::MixStorage::Plain;
        std::string error;
        // A binary entry first, so the text entries do not start at offset 0.
        ASSERT_TRUE(writer.add("padding.bin", std::vector<std::uint8_t>(37, 0xAB), datakit::MixStorage::Plain,
                               false, &error))
            << error;
        for (const auto& [entry, text] : archives_[archive]) {
            ASSERT_TRUE(writer.add_text(entry, text, storage, &error)) << error;
        }
        const std::filesystem::path native = platform::resolve_for_create(archive);
        if (native.has_parent_path()) std::filesystem::create_directories(native.parent_path());
        ASSERT_TRUE(writer.write(native, error)) << error;
        platform::invalidate_path_cache();
    }

    Storage storage_;
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> archives_;
};

// A test run once per storage: it stands in its own temporary folder and
// places its texts as plain files or archive entries.
class StoredTextTest : public ::testing::TestWithParam<Storage> {
protected:
    explicit StoredTextTest(const char* hint)
        : dir_(torvane_test::make_temp_dir(hint)), cwd_(dir_), files_(GetParam()) {}

    void Place(const std::string& path, const datakit::TextFileBuilder& text) { files_.add(path, text.text()); }
    void Place(const std::string& path, const std::string& text) { files_.add(path, text); }

    std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
    TextFiles files_;
};

} // namespace text_fixture
