// The headless player's command line: its steps, the key names they use
// and its options.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "input/binding_names.h"
#include "tools/play/play_options.h"
#include "tools/play/play_steps.h"

using play::Step;

namespace {

Step KeyStep(int key)
{
    Step s;
    s.key = key;
    return s;
}

} // namespace

// Keys by the names the menus' keys are known by, and by the names the
// controls screens show (the binding-name table's own).
TEST(PlayStepsTest, KeysByName)
{
    struct Case {
        const char* name;
        std::optional<int> key;
    };
    const Case cases[] = {
        {"Esc", 1},      {"Enter", 28},    {"Tab", 15},  {"Up", 200},   {"Down", 208},
        {"Left", 203},   {"Right", 205},   {"A", 30},    {"a", 30},     {"Q", 16},
        {"M", 50},       {"1", 2},         {"0", 11},    {"F1", 59},    {"F12", 88},
        {"SPACE", 57},   {"HOME", 199},    {"(", 200},   {"%", 205},    {"LCTR", 29},
        {"", std::nullopt}, {"Escape", std::nullopt}, {"enter", std::nullopt}, {"AB", std::nullopt},
        {"F13", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(play::KeyNumberOfName(c.name), c.key) << '"' << c.name << '"';
}

// Every key the binding-name table names is found by that name (the main
// keyboard's before the numeric pad's).
TEST(PlayStepsTest, EveryNamedKeyIsFoundByItsName)
{
    for (int key = 1; key <= 255; ++key) {
        const std::string name = GetKeyName(key);
        if (name.empty())
            continue;
        const std::optional<int> found = play::KeyNumberOfName(name);
        ASSERT_TRUE(found.has_value()) << name;
        EXPECT_EQ(GetKeyName(*found), name) << key;
        EXPECT_LE(*found, key) << name;
    }
}

TEST(PlayStepsTest, StepsAndTheirErrors)
{
    struct Case {
        const char* text;
        std::optional<Step> step;
    };
    Step wait{};
    wait.kind = Step::Kind::Wait;
    auto waitOf = [&](double s) {
        Step w = wait;
        w.seconds = s;
        return w;
    };
    auto clickAt = [](int x, int y) {
        Step c;
        c.kind = Step::Kind::Click;
        c.x = x;
        c.y = y;
        return c;
    };
    Step shot;
    shot.kind = Step::Kind::Shot;
    Step bike;
    bike.kind = Step::Kind::Bike;
    auto fileStep = [](Step::Kind kind, const char* file) {
        Step f;
        f.kind = kind;
        f.file = file;
        return f;
    };
    auto held = [](Step::Kind kind, int key) {
        Step h;
        h.kind = kind;
        h.key = key;
        return h;
    };
    const Case cases[] = {
        {"hold:A", held(Step::Kind::Hold, 30)},
        {"Backspace", KeyStep(14)},
        {"let:Up", held(Step::Kind::Let, 200)},
        {"hold:", std::nullopt},
        {"let:Nowhere", std::nullopt},
        {"Enter", KeyStep(28)},
        {"wait:2.5", waitOf(2.5)},
        {"wait:0", waitOf(0.0)},
        {"wait:600", waitOf(600.0)},
        {"wait:600.5", std::nullopt},
        {"wait:-1", std::nullopt},
        {"wait:", std::nullopt},
        {"wait:2s", std::nullopt},
        {"wait:nan", std::nullopt},
        {"wait:inf", std::nullopt},
        {"click:0,0", clickAt(0, 0)},
        {"click:639,479", clickAt(639, 479)},
        {"click:640,10", std::nullopt},
        {"click:10,480", std::nullopt},
        {"click:-1,5", std::nullopt},
        {"click:10", std::nullopt},
        {"click:10,", std::nullopt},
        {"click:1,2,3", std::nullopt},
        {"shot", shot},
        {"Shot", std::nullopt},
        {"bike", bike},
        {"Bike", std::nullopt},
        {"bike:0", std::nullopt},
        {"bikes", std::nullopt},
        {"signal:sig/hosted", fileStep(Step::Kind::Signal, "sig/hosted")},
        {"await:/tmp/a b", fileStep(Step::Kind::Await, "/tmp/a b")},
        {"signal:", std::nullopt},
        {"await:", std::nullopt},
        {"Return", std::nullopt},
    };
    for (const Case& c : cases) {
        Step step;
        std::string error;
        const bool ok = play::ParseStep(c.text, step, error);
        EXPECT_EQ(ok, c.step.has_value()) << c.text << ": " << error;
        if (ok && c.step) {
            EXPECT_EQ(step, *c.step) << c.text;
        }
        if (!ok) {
            EXPECT_NE(error.find(c.text), std::string::npos) << "the error names the step: " << error;
        }
    }
}

TEST(PlayOptionsTest, OptionsAndStepsInAnyOrder)
{
    play::Options options;
    std::string error;
    ASSERT_TRUE(play::ParseCommandLine({"--data", "d", "Enter", "--home", "h", "wait:1", "--frame-time", "0.05",
                                        "--race-frame-time", "0.2", "--shots", "s", "Esc"},
                                       options, error))
        << error;
    EXPECT_EQ(options.data, "d");
    EXPECT_EQ(options.home, "h");
    EXPECT_EQ(options.shots, "s");
    EXPECT_DOUBLE_EQ(options.frame_time, 0.05);
    EXPECT_DOUBLE_EQ(options.race_frame_time, 0.2);
    ASSERT_EQ(options.steps.size(), 3u);
    EXPECT_EQ(options.steps[0], KeyStep(28));
    EXPECT_EQ(options.steps[1].kind, Step::Kind::Wait);
    EXPECT_EQ(options.steps[2], KeyStep(1));

    // The defaults: a menu frame of 1/60 s, a race frame of 0.1 s, 600 s in all.
    ASSERT_TRUE(play::ParseCommandLine({"--data", "d"}, options, error)) << error;
    EXPECT_DOUBLE_EQ(options.frame_time, 1.0 / 60.0);
    EXPECT_DOUBLE_EQ(options.race_frame_time, 0.1);
    EXPECT_DOUBLE_EQ(options.time_limit, 600.0);
    EXPECT_TRUE(options.shots.empty());
    EXPECT_TRUE(options.steps.empty());
}

TEST(PlayOptionsTest, BadCommandLines)
{
    const std::vector<std::vector<std::string>> cases = {
        {},                                      // no data folder
        {"Enter"},                               // no data folder
        {"--data"},                              // no value
        {"--data", ""},                          // an empty value
        {"--data", "d", "--frame-time", "0"},    // a frame of no time
        {"--data", "d", "--frame-time", "2"},    // longer than a second
        {"--data", "d", "--race-frame-time", "x"},
        {"--data", "d", "--seed", "1"},          // not an option of the player
        {"--data", "d", "Return"},               // not a key
    };
    for (const auto& args : cases) {
        play::Options options;
        std::string error;
        std::string joined;
        for (const std::string& a : args)
            joined += a + " ";
        EXPECT_FALSE(play::ParseCommandLine(args, options, error)) << joined;
        EXPECT_FALSE(error.empty()) << joined;
    }
}
