#pragma once

// A race loaded the way the game loads it: the demo data written into a
// temporary folder (the working folder for the test), an application record
// with a race header, an input manager on the test clock, and a Race. The
// program-wide records the race and the simulation use are saved and put
// back around each test.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "input/input_manager.h"
#include "platform/clock.h"
#include "platform/fault_seam.h"
#include "platform/joystick.h"
#include "platform/message_box.h"
#include "race/race.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/terrain.h"
#include "tests/support/temp_dir.h"
#include "tests/support/demo_data.h"

namespace race_test {

inline constexpr std::uint32_t kClockStart = 100000;

// Whole text files of the data folder, to damage them.
inline std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteText(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Removes the list `name` (its name line to its END_LIST) from a typed list
// file.
inline void RemoveList(const std::filesystem::path& path, const std::string& name)
{
    std::string text = ReadText(path);
    const std::string head = name + "\r\n";
    std::size_t at = text.find(head);
    while (at != std::string::npos && at > 0 && text[at - 1] != '\n')
        at = text.find(head, at + 1);
    ASSERT_NE(at, std::string::npos) << name << " in " << path;
    const std::size_t end = text.find("END_LIST", at);
    ASSERT_NE(end, std::string::npos);
    text.erase(at, end + 8 - at);
    WriteText(path, text);
}

class RaceFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = torvane_test::make_temp_dir("race");
        std::string error;
        ASSERT_TRUE(torvane_test::install_demo_data(dir_, error)) << error;
        cwd_ = std::make_unique<torvane_test::ScopedCwd>(dir_);
        saved_context_ = CurrentRaceContext();
        saved_conditions_ = CurrentRaceConditions();
        platform::clear_faults();
        platform::clear_recorded_message_boxes();
        platform::use_test_joysticks(true);
        platform::set_test_clock(kClockStart);
        SetTheGameApp(&app);
        saved_input_ = TheInputManager();
        SetTheInputManager(&input);
        ASSERT_EQ(input.Create(), kInputOk);
        input.Acquire();
        Header("Sugo", 4, 4);
    }

    void TearDown() override
    {
        race.reset();
        input.RemoveTarget(nullptr);
        SetTheInputManager(saved_input_);
        SetTheGameApp(nullptr);
        CurrentRaceContext() = saved_context_;
        CurrentRaceConditions() = saved_conditions_;
        platform::clear_test_clock();
        platform::use_test_joysticks(false);
        platform::clear_faults();
        cwd_.reset();
    }

    // The race header: riders 0.. in grid order, all computer riders.
    void Header(const char* track, int session, int riders, int laps = 3)
    {
        std::memset(app.m_szTrack, 0, sizeof app.m_szTrack);
        std::strncpy(app.m_szTrack, track, sizeof app.m_szTrack - 1);
        app.m_nSession = session;
        app.m_nRiders = riders;
        for (int i = 0; i < 32; ++i)
            app.m_RiderIds[i] = i;
        app.ReleasePlayers();
        app.m_nLaps = laps;
        app.m_nSkill = 2;
        app.m_nWeather = 0;
        app.Flags = 0;
        app.GfxFlags = 0;
        app.RaceFlags = 0;
        app.Details = 2;
    }

    // Makes rider `id` the local player's.
    void AddPlayer(int id)
    {
        PlayerRecord p = GameApp::MakePlayerTemplate();
        p.RiderIndex = id;
        p.NetworkId = 7;
        app.AddPlayer(p);
    }

    bool Load()
    {
        race = std::make_unique<Race>();
        race->SetRandomSeed(1);
        app.m_pRace = race.get();
        return race->Load();
    }

    // Loads, then starts the run as the race run loop does.
    void Start()
    {
        ASSERT_TRUE(Load());
        if (!(race->LiveFlags() & kRaceSuspended))
            race->Start3d();
        input.m_bPaused = 0;
        race->StartMusic();
        input.BeginRace(kInputModeRecord);
        race->Begin();
    }

    // One frame `ms` after the last, as the run loop draws and updates it.
    void Frame(std::uint32_t ms = 20)
    {
        platform::advance_test_clock(ms);
        race->Draw();
        race->DrawOverlay();
        race->Update();
    }

    // Frames until `done` holds (at most `limit`); true when it did.
    template <class Done>
    bool FramesUntil(Done done, int limit, std::uint32_t ms = 20)
    {
        for (int i = 0; i < limit; ++i) {
            if (done())
                return true;
            Frame(ms);
        }
        return done();
    }

    // A key goes down for the next frame's poll (and up again after it).
    void PressKey(int key)
    {
        input.m_KeyState[key] = 0x80;
        input.m_PrevKeyState[key] = 0;
    }

    Bike& bike(int i) { return race->m_pBikes[i]; }
    std::uint32_t flags() { return race->LiveFlags(); }
    Hud& hud() { return race->GetHud(); }
    const std::filesystem::path& dir() const { return dir_; }

    std::vector<platform::ShownMessageBox> Boxes() const { return platform::recorded_message_boxes(); }

    GameApp app;
    InputManager input;
    std::unique_ptr<Race> race;

private:
    std::filesystem::path dir_;
    std::unique_ptr<torvane_test::ScopedCwd> cwd_;
    RaceContext saved_context_;
    RaceConditions saved_conditions_;
    InputManager* saved_input_ = nullptr;
};

} // namespace race_test
