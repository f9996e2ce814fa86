// The weekend's screens on small screens of their own over the demo
// championship: the racing-team screen's rename of a rider through the
// rename dialogue, and the bounds the screens keep.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "app/game_error.h"
#include "input/input_manager.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/track_records.h"
#include "menu/form.h"
#include "app/form_parser.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"
#include "screens/navigation.h"
#include "screens/screen_binding.h"
#include "screens/weekend_screens.h"
#include "tests/menu/menu_fixture.h"
#include "tools/datakit/champ_files_writer.h"

namespace {

using namespace menu_test;
using datakit::FormFileWriter;

// The dialogue as the player answers it: the rename dialogue's own screen,
// entered, its edit row then holding `typed`, and OK pressed when the
// answer is 1.
struct Player {
    Form* dialogue = nullptr;
    std::string typed;
    std::int32_t answer = 1;
    std::vector<std::int32_t> asked;
    std::vector<std::string> shown;  // what the edit row showed when entered
};
Player g_Player;

std::int32_t AnswerRename(const char*, std::int32_t state)
{
    g_Player.asked.push_back(state);
    Form& form = *g_Player.dialogue;
    ScreenPrepare(form);
    auto* row = dynamic_cast<Label*>(form.FindElement("DLG_data"));
    char text[128] = {};
    row->GetText(text, sizeof text);
    g_Player.shown.emplace_back(text);
    row->SetText(g_Player.typed.c_str());
    if (g_Player.answer == 1)
        ScreenCommand(*form.FindElement("ok"));
    return g_Player.answer;
}

class RiderRename : public MenuFixture {
protected:
    void SetUp() override
    {
        MenuFixture::SetUp();
        std::string error;
        ASSERT_TRUE(datakit::write_demo_champ_files(dir_, error)) << error;
        data_.game_font("fonts/menu", GameFontWords{}, kInkWhite, kInkYellow);
        SetTheGameSettings(&settings_);
        champ_.Start();
        InstallScreenHandlers();
        SetDialogueRunner(&AnswerRename);
        g_Player = Player{};

        datakit::TextFileBuilder text;
        for (int page = 0; page < 5; ++page) {
            text.add_line("[names0" + std::to_string(page) + "]");
            text.add_line("-");
        }
        text.add_line("[empty]");
        text.add_line("");
        data_.write("texts.txt", text);

        // The team "Sim5k" (riders 8, 7, 5, 6, 9), its rename button.
        FormFileWriter team = screen_file("Sim5k");
        team.begin("Label", "label_name");
        place(team, 0, 0, 300, 16);
        team.key("FontName", "fonts/menu.pcx").key("FontType", "gamefont");
        team.key("TextCount", 5).key("TextFile", "texts.txt").key("TextID", "names").end();
        team.begin("CommandButton", "rename");
        place(team, 0, 40, 40, 16);
        team.key("UserID", 3).key("Command", 9).end();
        team.end();
        data_.screen("Sim5k", team);

        FormFileWriter rename = screen_file("dlg05");
        rename.begin("Label", "DLG_data");
        place(rename, 0, 0, 600, 16);
        rename.key("FontName", "fonts/menu.pcx").key("FontType", "gamefont");
        rename.key("Editable", 64).key("TextCount", 1).key("TextFile", "texts.txt").key("TextID", "empty").end();
        rename.begin("CommandButton", "ok");
        place(rename, 0, 40, 40, 16);
        rename.key("UserID", 1).key("Command", 1).end();
        rename.end();
        data_.screen("dlg05", rename);

        team_ = &load_screen("Sim5k");
        manager_.m_StateScreens = {{22, 0}};
        manager_.m_nState = 22;
        manager_.m_nShownScreen = 0;
        team_->ShowScreen();
        dialogue_.m_pOwner = &manager_;
        FormParser parser;
        parser.LoadForm("dlg05");
        dialogue_.Load(parser);
        g_Player.dialogue = &dialogue_;
    }
    void TearDown() override
    {
        SetDialogueRunner(nullptr);
        SetScreenHooks(ScreenHooks{});
        MenuFixture::TearDown();
        SetTheGameSettings(nullptr);
    }

    Label& names() { return *dynamic_cast<Label*>(team_->FindElement("label_name")); }
    std::string page(int p)
    {
        names().SetPage(p);
        char text[64] = {};
        names().GetText(text, sizeof text);
        return text;
    }
    void rename(int shownPage, const std::string& typed, std::int32_t answer)
    {
        names().SetPage(shownPage);
        g_Player.typed = typed;
        g_Player.answer = answer;
        EXPECT_TRUE(ScreenCommand(*team_->FindElement("rename")));
    }
    Championship& champ() { return TheChampionship(); }

    GameSettings settings_;
    ChampObjects champ_;
    Form* team_ = nullptr;
    Form dialogue_;
};

TEST_F(RiderRename, TheRiderOfThePageShownTakesTheNameTypedCutToTwentyCharacters)
{
    const std::string first = champ().FindRider(8).Name;
    const std::string second = champ().FindRider(7).Name;
    ASSERT_EQ(page(0), first);

    rename(0, "Nico Brandt", 1);
    EXPECT_EQ(g_Player.asked, std::vector<std::int32_t>{1});
    EXPECT_EQ(g_Player.shown, std::vector<std::string>{first}) << "the dialogue edits the name shown";
    EXPECT_STREQ(champ().FindRider(8).Name, "Nico Brandt");
    EXPECT_EQ(page(0), "Nico Brandt");

    // A long name is cut to a rider name's 20 characters; renaming another
    // rider gives the first his own name back.
    rename(1, "Maximilian Alexander von Hohenberg", 1);
    EXPECT_STREQ(champ().FindRider(7).Name, "Maximilian Alexander");
    EXPECT_EQ(page(1), "Maximilian Alexander");
    EXPECT_EQ(champ().FindRider(8).Name, first);
    EXPECT_EQ(page(0), first);
    EXPECT_NE(second, champ().FindRider(7).Name);
}

TEST_F(RiderRename, ANameNotConfirmedOrLeftEmptyKeepsTheOldOne)
{
    const std::string first = champ().FindRider(8).Name;
    for (const auto& [typed, answer] : {std::pair{std::string("Someone Else"), 0}, {std::string(""), 1}}) {
        SCOPED_TRACE(typed);
        rename(0, typed, answer);
        EXPECT_EQ(champ().FindRider(8).Name, first);
        EXPECT_EQ(page(0), first);
    }
    EXPECT_EQ(g_Player.asked, (std::vector<std::int32_t>{1, 1}));
}

// A screen of labels (name and text of each) and buttons (name and
// UserID), in state `state`.
class WeekendScreens : public MenuFixture {
protected:
    void SetUp() override
    {
        MenuFixture::SetUp();
        std::string error;
        ASSERT_TRUE(datakit::write_demo_champ_files(dir_, error)) << error;
        data_.game_font("fonts/menu", GameFontWords{}, kInkWhite, kInkYellow);
        SetTheGameSettings(&settings_);
        SetTheInputManager(&input_);
        champ_.Start();
        InstallScreenHandlers();
        SetDialogueRunner(&Answer);
        asked_.clear();
        answer_ = 1;
    }
    void TearDown() override
    {
        SetDialogueRunner(nullptr);
        SetScreenHooks(ScreenHooks{});
        MenuFixture::TearDown();
        SetTheInputManager(nullptr);
        SetTheGameSettings(nullptr);
    }
    static std::int32_t Answer(const char*, std::int32_t state)
    {
        asked_.push_back(state);
        return answer_;
    }

    Form& screen(const std::string& name, const std::vector<std::pair<std::string, std::vector<std::string>>>& labels,
                 const std::vector<std::pair<std::string, int>>& buttons, std::int32_t state)
    {
        datakit::TextFileBuilder text;
        FormFileWriter file = screen_file(name);
        int top = 0;
        for (const auto& [label, pages] : labels) {
            for (std::size_t p = 0; p < pages.size(); ++p) {
                text.add_line("[" + label + (pages.size() > 1 ? (p < 10 ? "0" : "") + std::to_string(p) : "") + "]");
                text.add_line(pages[p]);
            }
            file.begin("Label", label);
            place(file, 0, top, 600, 16);
            file.key("FontName", "fonts/menu.pcx").key("FontType", "gamefont");
            // The reader takes the page count before the text file.
            file.key("TextCount", static_cast<int>(pages.size())).key("TextFile", "texts.txt").key("TextID", label);
            file.end();
            top += 20;
        }
        for (const auto& [button, id] : buttons) {
            file.begin("CommandButton", button);
            place(file, 0, top, 40, 16);
            file.key("UserID", id).key("Command", 9).end();
            top += 20;
        }
        file.end();
        data_.write("texts.txt", text);
        data_.screen(name, file);
        Form& form = load_screen(name);
        manager_.m_StateScreens = {{state, 0}};
        manager_.m_nNextState = manager_.m_nState = state;
        manager_.m_nShownScreen = 0;
        form.ShowScreen();
        return form;
    }
    static std::string text(Form& form, const char* name)
    {
        char buffer[128] = {};
        dynamic_cast<Label*>(form.FindElement(name))->GetText(buffer, sizeof buffer);
        return buffer;
    }

    static inline std::vector<std::int32_t> asked_;
    static inline std::int32_t answer_ = 1;
    GameSettings settings_;
    InputManager input_;
    ChampObjects champ_;
};

// The menu manager loads "sim09" as "sim09d" and names it so: both names
// are one screen for every hook (the command branch written for "sim09"
// alone would never run).
TEST_F(WeekendScreens, TheTrackInformationScreenIsOneScreenUnderBothNames)
{
    struct Case {
        const char* name;
        float record;
        const char* shown;
    };
    for (const Case& c : {Case{"sim09", 1499.99f, "-:-:-"}, Case{"sim09d", 83.35f, "01:23:35"},
                          Case{"SIM09D", 1499.99f, "-:-:-"}}) {
        const char* name = c.name;
        SCOPED_TRACE(name);
        TheChampionship().GameMode = 4;
        TheChampionship().CurrentEventIndex = 3;
        TheSimRecords().Track(3).LapRecord = c.record;
        Form& form = screen(name, {{"LBL_record", {"sample"}}, {"LBL_Nation", std::vector<std::string>(12, "n")}},
                            {{"exit", 0}}, 49);
        EXPECT_EQ(text(form, "LBL_record"), c.shown) << "the record of the current event";
        EXPECT_EQ(dynamic_cast<Label*>(form.FindElement("LBL_Nation"))->CurrentPage(), 3);
        // Leaving a simulation championship asks first; No stays.
        asked_.clear();
        answer_ = 0;
        EXPECT_FALSE(ScreenCommand(*form.FindElement("exit")));
        EXPECT_EQ(asked_, std::vector<std::int32_t>{17});
    }
}

TEST_F(WeekendScreens, TheSessionTitleAndTheTeamsPageAreBounded)
{
    // A session's label longer than the title's 49 characters is cut.
    const std::string longTitle(60, 'W');
    Form& sessions = screen("Sim10", {{"LBL_Practice_1", {longTitle}}}, {{"Practice_1", 1}}, 50);
    EXPECT_TRUE(ScreenCommand(*sessions.FindElement("Practice_1")));
    EXPECT_EQ(std::string(TheChampionship().SessionTitle), longTitle.substr(0, 49));
    EXPECT_EQ(TheChampionship().GetSessionKind(), 4);

    // A team has five places: a sixth page of its names has no rider.
    Form& team = screen("Sim5k", {{"label_name", std::vector<std::string>(6, "-")}}, {{"choose", 1}, {"rename", 3}}, 22);
    auto& names = *dynamic_cast<Label*>(team.FindElement("label_name"));
    names.SetPage(5);
    for (const char* button : {"choose", "rename"}) {
        SCOPED_TRACE(button);
        try {
            ScreenCommand(*team.FindElement(button));
            ADD_FAILURE() << "accepted";
        } catch (const GameError& e) {
            EXPECT_STREQ(e.what(), "out of range");
        }
    }
    EXPECT_TRUE(asked_.empty());
}

// Between races the timing screen has no session clock: drawn with the
// clock past the hour it tells no time-up and leaves the menu as it is.
TEST_F(WeekendScreens, TheTimingScreenKeepsNoClockWithoutARace)
{
    Form& timing = screen("game07",
                          {{"accelerate_time", {"NORMAL"}},
                           {"lbl_position", {""}},
                           {"lbl_Rider", {""}},
                           {"lbl_bike", {""}},
                           {"lbl_time", {""}}},
                          {}, 81);
    input_.m_fRaceClock = 3700.0f;
    ASSERT_EQ(app_.m_pRace, nullptr);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(ScreenDraw(timing));
    EXPECT_FLOAT_EQ(input_.m_fRaceClock, 3700.0f);
    EXPECT_TRUE(asked_.empty());
    EXPECT_EQ(manager_.m_nNextState, 81);
}

} // namespace
