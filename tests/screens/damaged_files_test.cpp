// Files damaged (or gone) between the listing and the player's choice: a
// championship save of either kind, a set-up file, a lap and a replay are
// each refused with a message naming them, and what was in play is kept.
// (The sanitizer build runs this too: no read goes past what a file holds.)
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "champ/championship.h"
#include "champ/save_slots.h"
#include "input/input_manager.h"
#include "menu/form.h"
#include "menu/label.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/path_resolver.h"
#include "screens/file_screens.h"
#include "screens/setup_screens.h"
#include "sim/telemetry_file.h"
#include "tests/screens/shipped_screens_fixture.h"
#include "tools/datakit/replay_writer.h"

namespace {

namespace fs = std::filesystem;

class DamagedFiles : public shipped_test::ShippedScreens {
protected:
    void SetUp() override
    {
        ShippedScreens::SetUp();
        SetTheInputManager(&input_);
        existing_ = platform::list_files(".\\menu\\save\\*.*");
        fs::create_directories("Replay");
        settings_.SetDefaults();
        platform::clear_recorded_message_boxes();
    }
    void TearDown() override
    {
        // The demo folder is shared: what a test wrote goes.
        for (const std::string& file : platform::list_files(".\\menu\\save\\*.*"))
            if (std::find(existing_.begin(), existing_.end(), file) == existing_.end())
                platform::remove_file(MakeSavePath(file.c_str()));
        fs::remove_all("Replay");
        std::memset(app_.m_szTrack, 0, sizeof app_.m_szTrack);
        platform::invalidate_path_cache();
        SetTheInputManager(nullptr);
        ShippedScreens::TearDown();
    }

    // Cuts a file to half its size (or removes it).
    static void damage(const std::string& path, bool remove)
    {
        if (remove) {
            platform::remove_file(path);
        } else {
            std::vector<std::uint8_t> bytes;
            ASSERT_TRUE(platform::read_whole_file(path, bytes)) << path;
            bytes.resize(bytes.size() / 2);
            ASSERT_TRUE(platform::write_whole_file(path, bytes));
        }
        platform::invalidate_path_cache();
    }

    static std::string only(const char* pattern)
    {
        const std::vector<std::string> files = platform::list_files(pattern);
        return files.size() == 1 ? files.front() : std::string();
    }

    InputManager input_;
    std::vector<std::string> existing_;
};

TEST_F(DamagedFiles, AFileDamagedOrGoneSinceItWasListedIsRefusedWithAMessage)
{
    struct Case {
        const char* kind;
        std::function<std::string()> make;  // writes the file; its path
        std::int32_t list_state;
        const char* list;                    // the list label whose first row is chosen
        std::function<bool(Form&)> choose;   // the player's action; what the command returned
        std::function<void()> kept;          // checks what stays as it was
    };
    const auto champion_save = [this](std::int32_t create, const char* label, const char* typed, const char* pattern) {
        Form& form = enter(create);
        element<Label>(form, label).SetText(typed);
        EXPECT_TRUE(click(form, "Ok"));
        TheChampionship().Save(settings_);
        platform::invalidate_path_cache();
        // Another championship in play when the save is chosen.
        TheChampionship().Reset("in play");
        return MakeSavePath(only(pattern).c_str());
    };
    const auto champion_kept = [] { EXPECT_STREQ(TheChampionship().Name, "in play"); };
    const Case cases[] = {
        {"simulation save",
         [&] { return champion_save(kSimCreateState, "lbl_champ", "sim one", ".\\menu\\save\\*.shp"); },
         kSimLoadState, "lbl_champ", [this](Form& f) { return click(f, "Ok"); }, champion_kept},
        {"arcade save",
         [&] { return champion_save(kArcadeCreateState, "lbl_file", "arc one", ".\\menu\\save\\*.ahp"); },
         kArcadeLoadState, "lbl_file", [this](Form& f) { return click(f, "Ok"); }, champion_kept},
        {"set-up",
         [this] {
             Form& form = enter(kSaveSetupState);
             element<Label>(form, "lbl_file").SetText("fast one");
             EXPECT_TRUE(click(form, "Ok"));
             platform::invalidate_path_cache();
             settings_.PlayerSetup.SprocketTeeth = 14;
             return MakeSavePath(only(".\\menu\\save\\*.stp").c_str());
         },
         kLoadSetupState, "lbl_file", [this](Form& f) { return click(f, "Ok"); },
         [this] { EXPECT_EQ(settings_.PlayerSetup.SprocketTeeth, 14); }},
        {"lap",
         [this] {
             std::snprintf(app_.m_szTrack, sizeof app_.m_szTrack, "%s", "Misano");
             TelemetryHeader header;
             header.SetTrackName("Misano");
             std::vector<TelemetrySample> samples(40);
             for (std::size_t i = 0; i < samples.size(); ++i)
                 samples[i].Distance = static_cast<float>(i * 20);
             EXPECT_TRUE(WriteTelemetryFile(".\\menu\\save\\Lap0.tlm", header, samples));
             platform::invalidate_path_cache();
             return MakeSavePath("Lap0.tlm");
         },
         84, "LBL_Telemetry",
         [this](Form& f) {
             click(f, "Clear");  // no choice left from before
             click(f, "Tel1");
             click(f, "View");  // calls the plot, which reads the lap
             enter(83);
             return false;
         },
         [] {}},
        {"replay",
         [] {
             datakit::ReplayFileWriter writer;
             writer.track = "Monza";
             writer.length = 80.0f;
             writer.steps = {0.05f, 0.05f};
             EXPECT_TRUE(platform::write_whole_file(".\\Replay\\Mon1.rpl", writer.build()));
             platform::invalidate_path_cache();
             return std::string(".\\Replay\\Mon1.rpl");
         },
         80, "lbl_Rider", [this](Form& f) { return click(f, "Play"); },
         [this] { EXPECT_EQ(input_.m_bReplayChosen, 0); }},
    };
    for (const bool remove : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.kind) + (remove ? " gone" : " damaged"));
            const std::string path = c.make();
            ASSERT_FALSE(path.empty());
            const std::string name = path.substr(path.find_last_of("\\/") + 1);
            Form& form = enter(c.list_state);
            ASSERT_GE(element<Label>(form, c.list).RowCount(), 1);
            element<Label>(form, c.list).SetCurrentRow(0);
            damage(path, remove);
            platform::clear_recorded_message_boxes();
            const std::int32_t next = manager_.m_nNextState = c.list_state;
            EXPECT_FALSE(c.choose(form));
            if (c.list_state != 84) {
                EXPECT_EQ(manager_.m_nNextState, next);
            }
            const std::vector<platform::ShownMessageBox> boxes = platform::recorded_message_boxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_NE(boxes.front().text.find(name.substr(0, name.find('.'))), std::string::npos)
                << boxes.front().text;
            c.kept();
            platform::remove_file(path);
            platform::invalidate_path_cache();
        }
}

} // namespace
