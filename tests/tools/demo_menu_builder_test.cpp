// The builder the groups of demo screens share: screen indices worked out
// from names, and every double claim reported.
#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menus.h"

namespace {

using datakit::DemoMenuBuilder;
using datakit::FormFileWriter;
using datakit::MenuSet;

FormFileWriter empty_screen(const std::string& name)
{
    FormFileWriter file = datakit::screen_file(name);
    file.end();
    return file;
}

TEST(DemoMenuBuilder, PinnedScreensKeepTheirIndexAndTheOthersFillTheFreePlacesInOrder)
{
    DemoMenuBuilder kit;
    for (const char* name : {"a", "b", "c", "sim09d", "game04d"})
        kit.screen(name, empty_screen(name));
    DemoMenuBuilder::Set& set = kit.set("menu");
    set.min_screens = 6;
    set.end_state(0).pin(1, "c").state(10, "a").state(11, "b").state(12, "c").state(13, "a").state(14, "sim09");
    set.state(15, "game04").preload("b");
    EXPECT_TRUE(kit.errors().empty()) << kit.errors().front();

    const MenuSet out = kit.menu_set("menu");
    const std::vector<std::string> screens = {"a", "c", "b", "sim09", "game04", "reserved"};
    EXPECT_EQ(out.screens, screens);
    const std::vector<std::pair<int, int>> expected = {{0, -1}, {10, 0}, {11, 2}, {12, 1}, {13, 0}, {14, 3}, {15, 4}};
    ASSERT_EQ(out.states.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(out.states[i].state, expected[i].first);
        EXPECT_EQ(out.states[i].screen, expected[i].second) << "state " << expected[i].first;
    }
    EXPECT_EQ(out.preload, std::vector<std::int32_t>{2});
}

TEST(DemoMenuBuilder, WhatTwoGroupsClaimIsReportedAndNothingIsWritten)
{
    DemoMenuBuilder kit;
    kit.screen("a", empty_screen("a"));
    kit.screen("a", empty_screen("a"));
    kit.text("T.txt", "x", "one");
    kit.text("T.txt", "x", "two");
    kit.text("U.txt", "x", "another file");
    DemoMenuBuilder::Set& set = kit.set("menu");
    set.state(1, "a").state(1, "a").go(1, 0, 2).go(1, 0, 3).go(1, 1, 3).pin(2, "a").pin(2, "b");
    kit.set("menudial").state(5, "nobody");

    const std::vector<std::string> errors = kit.errors();
    for (const char* expected : {"screen a written twice", "text [x] of T.txt given twice", "state 1 given twice",
                                 "transition 1/0 given twice", "screen index 2 given twice",
                                 "names screen b, which nobody writes", "names screen nobody, which nobody writes"})
        EXPECT_TRUE(std::any_of(errors.begin(), errors.end(),
                                [&](const std::string& e) { return e.find(expected) != std::string::npos; }))
            << expected;
    EXPECT_EQ(errors.size(), 7u);
    std::string error;
    EXPECT_FALSE(kit.write("/nonexistent-root", error));
    EXPECT_EQ(error, errors.front());
}

TEST(DemoMenuBuilder, AStandInShowsOnlyWhereNoGroupGivesTheStateAScreen)
{
    DemoMenuBuilder kit;
    for (const char* name : {"own", "plain"})
        kit.screen(name, empty_screen(name));
    DemoMenuBuilder::Set& set = kit.set("menu");
    // The stand-ins come first (as the plain group's would come after the
    // others, order does not matter): state 7 is claimed, 8 is not.
    set.stand_in(7, "plain", {{0, 19}}).stand_in(8, "plain", {{0, 19}, {1, 7}});
    set.state(7, "own").go(7, 0, 8);
    EXPECT_TRUE(kit.errors().empty()) << kit.errors().front();

    const MenuSet out = kit.menu_set("menu");
    ASSERT_EQ(out.states.size(), 2u);
    EXPECT_EQ(out.states[0].state, 7);
    EXPECT_EQ(out.screens[static_cast<std::size_t>(out.states[0].screen)], "own");
    EXPECT_EQ(out.states[1].state, 8);
    EXPECT_EQ(out.screens[static_cast<std::size_t>(out.states[1].screen)], "plain");
    // Only the stand-in's own state takes its transitions.
    ASSERT_EQ(out.transitions.size(), 3u);
    EXPECT_EQ(out.transitions[0].state, 7);
    EXPECT_EQ(out.transitions[0].next, 8);
    for (std::size_t t = 1; t < 3; ++t)
        EXPECT_EQ(out.transitions[t].state, 8);
}

TEST(DemoMenuBuilder, TheShippedGroupsClaimNothingTwice)
{
    const DemoMenuBuilder kit = datakit::demo_menu_kit();
    const std::vector<std::string> errors = kit.errors();
    EXPECT_TRUE(errors.empty()) << errors.front();
    const MenuSet menu = kit.menu_set("menu");
    EXPECT_GE(menu.screens.size(), static_cast<std::size_t>(datakit::kDemoMainMenuScreens));
    for (const MenuSet::StateScreen& s : menu.states)
        EXPECT_LT(s.screen, static_cast<std::int32_t>(menu.screens.size()));
}

} // namespace
