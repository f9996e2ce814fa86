// Menu set files written by the data kit and read by the menu manager: the
// tables, the preloaded screens, samples, fonts and sprite strips, and the
// damaged files the manager refuses.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "app/m_cparse.h"
#include "champ/game_settings.h"
#include "menu/menu_manager.h"
#include "sound/sound_library.h"
#include "tests/menu/menu_fixture.h"
#include "tools/datakit/menu_set_writer.h"
#include "tools/datakit/wav_writer.h"

namespace {

using datakit::MenuSet;
using namespace menu_test;

class MenuFileTest : public MenuFixture {
protected:
    // Three screens in the menu folder "sets": "title" with a label, "race"
    // and "quit" empty; a game font and a sprite strip of three frames for
    // the preloads; two samples.
    void write_folder()
    {
        const GameFontWords words;
        data_.game_font("sets/fonts/menu", words, kInkWhite, kInkYellow);
        data_.strip("sets/art/trk", 40, 30, {kInkRed, kInkGreen, kInkBlue});
        for (const char* name : {"title", "race", "quit"}) {
            datakit::FormFileWriter file = screen_file(name);
            file.end();
            data_.screen(std::string("sets/") + name, file);
        }
        std::string error;
        for (const char* sample : {"a.wav", "b.wav"})
            ASSERT_TRUE(datakit::write_wav16(dir_ / "sets" / sample, 22050, 1, std::vector<std::int16_t>(64, 100),
                                             error))
                << error;
    }

    static MenuSet demo_set()
    {
        MenuSet set;
        set.path = ".\\sets";
        set.init_state = 18;
        set.preload = {1};
        set.screens = {"title", "race", "quit"};
        set.states = {{0, -1}, {19, 0}, {53, 1}, {60, 2}, {19, 2}};
        set.transitions = {{19, 0, 0}, {19, 2, 53}, {53, 0, 19}, {53, 1, 0}, {19, 2, 60}};
        set.sfx = {"a.wav", "b.wav"};
        set.preload_fonts = {"fonts\\menu.pcx"};
        set.preload_anims = {{"art\\trk", 40, 30}};
        return set;
    }

    void write_set(const MenuSet& set, const char* file = "sets/demo.dat")
    {
        std::string error;
        ASSERT_TRUE(datakit::write_menu_set(dir_ / file, set, error)) << error;
    }
};

TEST_F(MenuFileTest, ASetWrittenByTheKitLoadsItsTablesScreensSamplesAndPreloads)
{
    write_folder();
    const MenuSet set = demo_set();
    write_set(set);
    GameSettings settings;
    settings.Audio.Sound = 1;
    SetTheGameSettings(&settings);
    SoundLibrary sound;
    ASSERT_EQ(sound.Init(nullptr, false), kSoundOk);
    SetTheSoundLibrary(&sound);

    manager_.Load(".\\sets\\demo.dat");
    SetTheSoundLibrary(nullptr);
    SetTheGameSettings(nullptr);

    EXPECT_EQ(manager_.m_Name, "demo");
    EXPECT_EQ(manager_.MenuFolder(), ".\\sets");
    EXPECT_EQ(manager_.m_nState, 18);
    EXPECT_EQ(manager_.m_nNextState, 18);
    ASSERT_EQ(manager_.ScreenCount(), 3);
    for (std::int32_t i = 0; i < 3; ++i)
        EXPECT_STREQ(manager_.Screen(i)->Name(), set.screens[static_cast<std::size_t>(i)].c_str());
    ASSERT_EQ(manager_.m_StateScreens.size(), set.states.size());
    for (std::size_t i = 0; i < set.states.size(); ++i) {
        EXPECT_EQ(manager_.m_StateScreens[i].state, set.states[i].state);
        EXPECT_EQ(manager_.m_StateScreens[i].screen, set.states[i].screen);
    }
    ASSERT_EQ(manager_.m_Transitions.size(), set.transitions.size());
    for (std::size_t i = 0; i < set.transitions.size(); ++i) {
        EXPECT_EQ(manager_.m_Transitions[i].state, set.transitions[i].state);
        EXPECT_EQ(manager_.m_Transitions[i].command, set.transitions[i].command);
        EXPECT_EQ(manager_.m_Transitions[i].next, set.transitions[i].next);
    }
    EXPECT_EQ(manager_.m_Preload, std::vector<std::int32_t>{1});
    // Only the preloaded screen is loaded; the working folder is the old one.
    EXPECT_FALSE(manager_.Screen(0)->IsLoaded());
    EXPECT_TRUE(manager_.Screen(1)->IsLoaded());
    EXPECT_FALSE(manager_.Screen(2)->IsLoaded());
    EXPECT_EQ(std::filesystem::current_path(), dir_);
    // The samples are numbered in file order; the font comes with its "_"
    // look (its "!" look is the base font); the strip's frames are cached.
    EXPECT_GE(sound.FindSample(0), 0);
    EXPECT_GE(sound.FindSample(1), 0);
    EXPECT_LT(sound.FindSample(2), 0);
    EXPECT_EQ(manager_.GameFontCount(), 2);
    EXPECT_EQ(manager_.SpriteCount(), 3);

    // The first pair and the first transition of a state hold.
    EXPECT_EQ(manager_.ScreenForState(19), 0);
    EXPECT_EQ(manager_.ScreenForState(0), -1);
    manager_.m_nState = 19;
    EXPECT_EQ(manager_.NextState(2), 53);
    EXPECT_EQ(manager_.NextState(7), 19);
    manager_.m_nState = 53;
    EXPECT_EQ(manager_.NextState(1), 0);
    EXPECT_EQ(manager_.NextState(0), 19);
}

TEST_F(MenuFileTest, SectionsAreFoundInAnyOrderAfterThePathAndPreloadIsOptional)
{
    write_folder();
    data_.raw("sets/mixed.dat", "# a menu file by hand\r\nbegin PATH .\\sets\r\nbegin SIS\r\n19 0 0\r\n"
                                "begin SO 19 0 0 -1\r\nbegin SCREEN title\r\nbegin INITSTATE 19\r\n");
    manager_.Load("sets\\mixed.dat");
    EXPECT_EQ(manager_.m_nState, 19);
    EXPECT_TRUE(manager_.m_Preload.empty());
    ASSERT_EQ(manager_.ScreenCount(), 1);
    EXPECT_EQ(manager_.ScreenForState(19), 0);
    ASSERT_EQ(manager_.m_Transitions.size(), 1u);
    EXPECT_EQ(manager_.m_Transitions[0].next, 0);
}

// A damaged file is refused with its message, and the manager keeps what
// it had: no state, no screens, no tables.
TEST_F(MenuFileTest, DamagedSetFilesAreRefusedWithTheirMessages)
{
    write_folder();
    const std::string path = "begin PATH .\\sets\n";
    const std::string init = "begin INITSTATE 19\n";
    const std::string screens = "begin SCREEN title race\n";
    const std::string so = "begin SO 19 0 53 1\n";
    const std::string sis = "begin SIS 19 0 0\n";
    struct Case {
        const char* what;
        std::string text;
        std::string message;
        bool before_any_change = true; // refused before the manager took anything of the file
    };
    const Case cases[] = {
        {"no PATH", init + screens + so + sis, "PATH not found in bad.dat"},
        {"PATH without its folder", "begin PATH", "PATH not found in bad.dat"},
        {"no INITSTATE", path + screens + so + sis, "INITSTATE not found in bad.dat"},
        {"INITSTATE before PATH", init + path + screens + so + sis, "INITSTATE not found in bad.dat"},
        {"INITSTATE at the end of the file", path + screens + so + sis + "begin INITSTATE",
         "INITSTATE not found in bad.dat"},
        {"no SCREEN", path + init + so + sis, "SCREEN not found in bad.dat"},
        {"no SO", path + init + screens + sis, "SO not found in bad.dat"},
        {"no SIS", path + init + screens + so, "SIS not found in bad.dat"},
        {"a word for the start state", path + "begin INITSTATE menu\n" + screens + so + sis,
         "bad number menu in INITSTATE of bad.dat"},
        {"a number with a tail", path + init + screens + "begin SO 19 0x1\n" + sis,
         "bad number 0x1 in SO of bad.dat"},
        {"a word among the transitions", path + init + screens + so + "begin SIS 19 back 0\n",
         "bad number back in SIS of bad.dat"},
        {"a word among the preloads", path + init + "begin PRELOAD first\n" + screens + so + sis,
         "bad number first in PRELOAD of bad.dat"},
        {"SO cut inside a pair", path + init + screens + sis + "begin SO 19 0 53",
         "SO of bad.dat ends inside an entry of 2 numbers"},
        {"SIS cut inside a triple", path + init + screens + so + "begin SIS 19 0 0 53 0",
         "SIS of bad.dat ends inside an entry of 3 numbers"},
        {"an SO screen at the screen count", path + init + screens + "begin SO 19 2\n" + sis,
         "SO screen 2 is not one of the 2 screens of bad.dat"},
        {"an SO screen past it", path + init + screens + "begin SO 19 0 53 54\n" + sis,
         "SO screen 54 is not one of the 2 screens of bad.dat"},
        {"a PRELOAD at the screen count", path + init + "begin PRELOAD 0 2\n" + screens + so + sis,
         "PRELOAD screen 2 is not one of the 2 screens of bad.dat"},
        {"a negative PRELOAD", path + init + "begin PRELOAD -1\n" + screens + so + sis,
         "PRELOAD screen -1 is not one of the 2 screens of bad.dat"},
        {"a menu folder that is not there", "begin PATH .\\nowhere\n" + init + screens + so + sis,
         "error loading menu", false},
        {"a menu folder that is a file", "begin PATH bad.dat\n" + init + screens + so + sis, "error loading menu",
         false},
        {"a preloaded screen without its file", path + init + "begin PRELOAD 0\nbegin SCREEN lost\n" +
                                                    "begin SO 19 0\n" + sis,
         "File not found : lost.dat", false},
        {"a preloaded strip cut inside its entry", path + init + screens + so + sis + "begin PRELOADANIM art\\trk 40",
         "PRELOADANIM of bad ends inside an entry of 3 words", false},
        {"a preloaded strip with a word for its size",
         path + init + screens + so + sis + "begin PRELOADANIM art\\trk wide 30", "bad number wide in PRELOADANIM of bad",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        data_.raw("bad.dat", c.text);
        MenuManager manager;
        SetCurrentMenuManager(&manager);
        try {
            manager.Load("bad.dat");
            ADD_FAILURE() << "loaded";
        } catch (const GameError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_EQ(std::filesystem::current_path(), dir_);
        if (c.before_any_change) {
            EXPECT_EQ(manager.m_nState, -1);
            EXPECT_EQ(manager.ScreenCount(), 0);
            EXPECT_TRUE(manager.m_StateScreens.empty());
            EXPECT_TRUE(manager.m_Transitions.empty());
        }
        manager.Reset();
    }
    SetCurrentMenuManager(&manager_);

    // A missing file is refused by the word reader.
    try {
        manager_.Load("missing.dat");
        ADD_FAILURE() << "loaded";
    } catch (const GameError& e) {
        EXPECT_EQ(std::string(e.what()), "file not found M_CParse::Open missing.dat");
    }
}

// Samples that do not load are said on the error output with their number,
// file and reason, and the menu loads without them: a missing file, and the
// entries past the sound library's 64 samples. Loading the samples again
// (as every run of the menus does) keeps the ones held without a word.
TEST_F(MenuFileTest, SamplesThatDoNotLoadAreReportedAndSkipped)
{
    write_folder();
    MenuSet set = demo_set();
    set.sfx = {"a.wav", "missing.wav", "b.wav"};
    for (int i = 3; i < kSoundMaxSamples + 3; ++i)
        set.sfx.push_back(i % 2 ? "a.wav" : "b.wav");
    write_set(set);
    GameSettings settings;
    settings.Audio.Sound = 1;
    SetTheGameSettings(&settings);
    SoundLibrary sound;
    ASSERT_EQ(sound.Init(nullptr, false), kSoundOk);
    SetTheSoundLibrary(&sound);

    ::testing::internal::CaptureStderr();
    manager_.Load(".\\sets\\demo.dat");
    const std::string said = ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    M_CParse parser;
    manager_.LoadSounds(parser);
    const std::string said_again = ::testing::internal::GetCapturedStderr();
    SetTheSoundLibrary(nullptr);
    SetTheGameSettings(nullptr);

    // 66 entries: 0 and 2 to 64 fill the library's 64 samples; 1 is not
    // there, 65 and 66 find it full.
    EXPECT_NE(said.find("menu demo: sample 1 \"missing.wav\" not loaded: File not found or wrong file type\n"),
              std::string::npos)
        << said;
    for (const int id : {65, 66})
        EXPECT_NE(said.find("menu demo: sample " + std::to_string(id) + " \"" + set.sfx[static_cast<std::size_t>(id)] +
                            "\" not loaded: Too many samples loaded"),
                  std::string::npos)
            << said;
    std::size_t lines = 0;
    for (const char c : said)
        lines += c == '\n';
    EXPECT_EQ(lines, 3u) << said;
    EXPECT_GE(sound.FindSample(0), 0);
    EXPECT_LT(sound.FindSample(1), 0);
    EXPECT_GE(sound.FindSample(2), 0);
    EXPECT_GE(sound.FindSample(64), 0);
    EXPECT_LT(sound.FindSample(65), 0);
    // Again: the held samples are kept quietly; the three not held are said
    // again (the library is full by now).
    std::size_t lines_again = 0;
    for (const char c : said_again)
        lines_again += c == '\n';
    EXPECT_EQ(lines_again, 3u) << said_again;
    for (const int id : {1, 65, 66})
        EXPECT_NE(said_again.find("menu demo: sample " + std::to_string(id) + " \"" +
                                  set.sfx[static_cast<std::size_t>(id)] + "\" not loaded: "),
                  std::string::npos)
            << said_again;
}

} // namespace
