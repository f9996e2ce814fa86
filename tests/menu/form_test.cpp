#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/form_parser.h"
#include "app/game_app.h"
#include "app/game_error.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/image.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/path_resolver.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/form_file_writer.h"

namespace {

// A manager made current for one test, with the menu state given.
// The application record is installed too: entering a screen asks it
// whether a network game runs.
struct CurrentManager {
    GameApp app;
    MenuManager manager;
    CurrentManager(std::int32_t state = 1)
    {
        SetTheGameApp(&app);
        manager.m_nState = state;
        SetCurrentMenuManager(&manager);
    }
    ~CurrentManager()
    {
        SetCurrentMenuManager(nullptr);
        SetTheGameApp(nullptr);
    }
};

// A screen described by one letter per element: 'B' a button, 'D' a
// disabled button, 'L' a focusable label, 'l' a label that cannot take the
// focus, 'I' a focusable image, 'h' a focusable label hidden in this state.
void BuildScreen(Form& form, MenuManager& manager, const std::string& kinds)
{
    form.m_pOwner = &manager;
    form.m_nId = 0;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const std::string name = std::string(1, kinds[i]) + std::to_string(i);
        const char kind = kinds[i];
        const std::int32_t type = kind == 'B' || kind == 'D' ? kControlCommandButton
                                  : kind == 'I'               ? kControlImage
                                                              : kControlLabel;
        Control* control = form.AddElement(type, nullptr, name.c_str());
        control->m_bCanHaveFocus = kind == 'l' ? 0 : 1;
        if (kind == 'h')
            control->m_nVisibleInState = 77;
        if (kind == 'D')
            static_cast<CommandButton*>(control)->Disable();
    }
}

struct FocusCase {
    const char* what;
    const char* kinds;
    int enter_key_element;   // -1: no Enter hot key
    const char* keys;        // 'D' down (next), 'U' up (previous)
    std::vector<int> focus;  // after ShowScreen, then after each key
};

class FocusTest : public ::testing::TestWithParam<FocusCase> {};

TEST_P(FocusTest, KeysMoveTheFocusAsTheScreenAllows)
{
    const FocusCase& c = GetParam();
    CurrentManager current;
    Form form;
    BuildScreen(form, current.manager, c.kinds);
    if (c.enter_key_element >= 0)
        form.addhotkey(kKeyEnter, form.Element(c.enter_key_element));
    form.ShowScreen();
    std::vector<int> seen{form.m_nFocus};
    for (const char* k = c.keys; *k; ++k) {
        if (*k == 'D')
            form.FocusNext();
        else
            form.FocusPrevious();
        form.SetFocus(form.m_nFocus);
        seen.push_back(form.m_nFocus);
    }
    EXPECT_EQ(seen, c.focus) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Screens, FocusTest,
    ::testing::Values(
        FocusCase{"buttons and a label cycle forwards and back", "BLB", -1, "DDDUU", {0, 1, 2, 0, 2, 1}},
        FocusCase{"a screen without a button has no focus navigation", "LLI", -1, "DDU", {-2, -2, -2, -2}},
        FocusCase{"labels that cannot take the focus are passed over", "BllB", -1, "DDD", {0, 3, 0, 3}},
        FocusCase{"a disabled button is passed over", "BDB", -1, "DD", {0, 2, 0}},
        FocusCase{"a control hidden in this state is passed over", "BhB", -1, "DU", {0, 2, 0}},
        FocusCase{"the Enter button alternates with the other controls", "BBLBI", 3, "DDDD", {3, 4, 2, 3, 4}},
        FocusCase{"with nothing focusable the search ends, focus unchanged", "Dl", -1, "DUD", {-1, -1, -1, -1}}),
    [](const ::testing::TestParamInfo<FocusCase>& info) { return "Case" + std::to_string(info.index); });

TEST(FormHotKeys, TheFirstVisibleControlOfAKeyWins)
{
    CurrentManager current(5);
    Form form;
    BuildScreen(form, current.manager, "BBB");
    form.addhotkey(30, form.Element(0));
    form.addhotkey(30, form.Element(1));
    form.addhotkey(31, form.Element(2));
    EXPECT_EQ(form.FindHotKey(30), 0);
    form.Element(0)->m_nVisibleInState = 6;  // shown only in state 6
    EXPECT_EQ(form.FindHotKey(30), 1);
    EXPECT_EQ(form.HotKeyControl(30), form.Element(1));
    form.Element(0)->m_nVisibleInState = 5;
    EXPECT_EQ(form.FindHotKey(30), 0);
    EXPECT_EQ(form.FindHotKey(99), -1);
    EXPECT_EQ(form.HotKeyControl(99), nullptr);
}

TEST(FormFocus, ClearForgetsTheFocusAndSetFocusChecksTheNumber)
{
    CurrentManager current;
    Form form;
    BuildScreen(form, current.manager, "BBB");
    form.ShowScreen();
    form.SetFocus(2);
    ASSERT_EQ(form.m_nLastFocused, 2);
    form.Clear();
    EXPECT_EQ(form.m_nFocus, kFocusNone);
    EXPECT_EQ(form.m_nLastFocused, kFocusNone);
    EXPECT_FALSE(form.IsLoaded());
    // The record reused for a smaller screen: no element past the new ones
    // is told it lost or got the focus.
    BuildScreen(form, current.manager, "B");
    form.SetFocus(2);
    EXPECT_EQ(form.m_nFocus, kFocusNothing);
    form.SetFocus(0);
    EXPECT_EQ(form.m_nFocus, 0);
}

int g_PrepareCalls = 0;
bool g_DrawAnswer = true;

TEST(FormHooks, PrepareRunsWithReportsOffAndUserDrawCanStopThePaint)
{
    CurrentManager current;
    Form form;
    BuildScreen(form, current.manager, "BL");
    ScreenHooks hooks;
    hooks.user_prepare = [](Form& f) {
        ++g_PrepareCalls;
        for (std::int32_t i = 0; i < f.ElementCount(); ++i)
            EXPECT_EQ(f.Element(i)->m_nFlags & kControlReports, 0);
        return true;
    };
    hooks.user_draw = [](Form&) { return g_DrawAnswer; };
    SetScreenHooks(hooks);
    form.m_nFlags |= kFormUserDraw;
    form.ShowScreen();
    EXPECT_EQ(g_PrepareCalls, 1);
    for (std::int32_t i = 0; i < form.ElementCount(); ++i)
        EXPECT_NE(form.Element(i)->m_nFlags & kControlReports, 0);
    g_DrawAnswer = false;
    EXPECT_EQ(form.PaintAll(), 0);
    SetScreenHooks(ScreenHooks{});
}

class ScreenFileTest : public ::testing::Test {
protected:
    ScreenFileTest() : dir_(torvane_test::make_temp_dir("form")), cwd_(dir_) {}

    void Place(const char* program_path, const datakit::FormFileWriter& file)
    {
        std::string error;
        ASSERT_TRUE(file.write(platform::resolve_for_create(program_path), error)) << error;
        platform::invalidate_path_cache();
    }

    // Loads "<name>.dat" into the form; the thrown message, or "".
    std::string Load(const char* name, Form& form)
    {
        FormParser parser;
        try {
            parser.LoadForm(name);
            form.m_pOwner = &current_.manager;
            form.Load(parser);
            form.m_nId = 0;
        } catch (const GameError& error) {
            return error.what();
        }
        return "";
    }

    static datakit::FormProperties Header(const char* name)
    {
        datakit::FormProperties form;
        form.name = name;
        form.back_color = 0x203040;
        form.fore_color = 0x00C0FF;
        form.scale_left = 10;
        form.scale_top = 20;
        return form;
    }

    std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
    CurrentManager current_;
};

TEST_F(ScreenFileTest, AnElementTakesEveryCommonProperty)
{
    auto screen = datakit::FormFileWriter::screen();
    screen.form(Header("Props"))
        .key("UserDraw", std::int32_t{1})
        .begin("Label", "Picture")
        .key_color("BackColor", 0x112233)
        .key("CanHaveFocus", std::int32_t{0})
        .key3("ForeColor", std::int32_t{0x1AA}, std::int32_t{0x20}, std::int32_t{0x30})
        .key("Group", std::int32_t{3})
        .key("Index", std::int32_t{7})
        .key("LinkedTo", "Picture")
        .key("PixFromX", std::int32_t{-50})
        .key("PixHeight", std::int32_t{40})
        .key("PixLeft", std::int32_t{100})
        .key("PixTop", std::int32_t{60})
        .key("PixWidth", std::int32_t{80})
        .key("Tag", "hello")
        .key("UserID", std::int32_t{12})
        .key("VisibleInState", std::int32_t{4})
        .end()
        .begin("Label", "Plain")
        .key("PixHeight", std::int32_t{1})
        .key("PixLeft", std::int32_t{2})
        .key("PixTop", std::int32_t{3})
        .key("PixWidth", std::int32_t{4})
        .end()
        .end();
    Place("Props.dat", screen);
    Form form;
    ASSERT_EQ(Load("Props", form), "");
    ASSERT_EQ(form.ElementCount(), 2);
    EXPECT_STREQ(form.Name(), "Props");
    EXPECT_EQ(form.m_nScaleLeft, 10);
    EXPECT_EQ(form.m_nScaleTop, 20);
    EXPECT_EQ(form.m_nFlags, kFormUserPrepare | kFormUserDraw);

    const Control& c = *form.Element(0);
    EXPECT_STREQ(c.Name(), "Picture");
    EXPECT_EQ(c.m_BackColor, 0x112233u);
    EXPECT_EQ(c.m_bCanHaveFocus, 1) << "any value, 0 too, makes a control focusable";
    EXPECT_EQ(c.m_ForeColor, 0x3020AAu) << "each part cut to its low byte, red lowest";
    EXPECT_EQ(c.m_nGroup, 3);
    EXPECT_EQ(c.m_nIndex, 7);
    EXPECT_EQ(c.Linked(), &c) << "a control may link to itself";
    EXPECT_EQ(c.m_nHeight, 40);
    EXPECT_EQ(c.m_nWidth, 80);
    EXPECT_STREQ(c.m_szTag, "hello");
    EXPECT_EQ(c.m_nUserID, 12);
    EXPECT_EQ(c.m_nVisibleInState, 4);
    EXPECT_EQ(c.m_bSliding, 1);
    EXPECT_EQ(c.m_fTargetLeft, 100.0f);
    EXPECT_EQ(c.m_fStartLeft, -50.0f + 10.0f) << "start shifted by the screen's scale origin";
    EXPECT_EQ(c.m_fStartTop, 60.0f + 20.0f);
    EXPECT_EQ(c.m_nElement, 0);

    const Control& plain = *form.Element(1);
    EXPECT_EQ(plain.m_BackColor, 0x203040u) << "the screen's colours by default";
    EXPECT_EQ(plain.m_ForeColor, 0x00C0FFu);
    EXPECT_EQ(plain.m_nGroup, -1);
    EXPECT_EQ(plain.m_nUserID, -1);
    EXPECT_EQ(plain.m_bCanHaveFocus, 0);
    EXPECT_EQ(plain.m_bSliding, 0);
    EXPECT_EQ(plain.Linked(), nullptr);
}

TEST_F(ScreenFileTest, OutOfOrderKeysAreFoundOnlyWhereTheSecondLookupReaches)
{
    // UserID and Tag written before the positions are passed by the ordered
    // lookup; the screen's defaults file gives UserID, VisibleInState and
    // CanHaveFocus (keys with a second lookup) but not Tag.
    auto screen = datakit::FormFileWriter::screen();
    screen.form(Header("Order"))
        .begin("Label", "Late")
        .key("UserID", std::int32_t{5})
        .key("Tag", "early")
        .key("PixHeight", std::int32_t{1})
        .key("PixLeft", std::int32_t{2})
        .key("PixTop", std::int32_t{3})
        .key("PixWidth", std::int32_t{4})
        .end()
        .end();
    Place("Order.dat", screen);
    Form without;
    ASSERT_EQ(Load("Order", without), "");
    EXPECT_EQ(without.Element(0)->m_nUserID, -1);
    EXPECT_STREQ(without.Element(0)->m_szTag, "");

    auto defaults = datakit::FormFileWriter::defaults();
    defaults.begin("Label", "Late")
        .key("CanHaveFocus", std::int32_t{0})
        .key("Tag", "late")
        .key("UserID", std::int32_t{6})
        .key("VisibleInState", std::int32_t{8})
        .end();
    Place("Order.pat", defaults);
    Form with;
    ASSERT_EQ(Load("Order", with), "");
    EXPECT_EQ(with.Element(0)->m_bCanHaveFocus, 1);
    EXPECT_EQ(with.Element(0)->m_nUserID, 6);
    EXPECT_EQ(with.Element(0)->m_nVisibleInState, 8);
    EXPECT_STREQ(with.Element(0)->m_szTag, "") << "Tag has no second lookup";
}

TEST_F(ScreenFileTest, ANestedFormCreatesNoControlAndBadTypesAreRefused)
{
    const auto image = [](datakit::FormFileWriter& w, const char* type, const char* name) -> datakit::FormFileWriter& {
        return w.begin(type, name)
            .key("PixHeight", std::int32_t{1})
            .key("PixLeft", std::int32_t{2})
            .key("PixTop", std::int32_t{3})
            .key("PixWidth", std::int32_t{4})
            .end();
    };
    auto nested = datakit::FormFileWriter::screen();
    nested.form(Header("Nested"));
    image(nested, "Form", "Inner");
    image(nested, "label", "Pic");
    nested.end();
    Place("Nested.dat", nested);
    Form form;
    ASSERT_EQ(Load("Nested", form), "");
    ASSERT_EQ(form.ElementCount(), 1);
    EXPECT_EQ(form.Element(0)->m_nType, kControlLabel) << "type words ignore case";

    auto unknown = datakit::FormFileWriter::screen();
    unknown.form(Header("Unknown"));
    image(unknown, "Gizmo", "G");
    unknown.end();
    Place("Unknown.dat", unknown);
    Form bad;
    const std::string message = Load("Unknown", bad);
    EXPECT_NE(message.find("undef element"), std::string::npos) << message;
    EXPECT_NE(message.find("Unknown.dat"), std::string::npos) << message;

    auto later = datakit::FormFileWriter::screen();
    later.form(Header("Later"));
    image(later, "Plot", "Bar");
    later.end();
    Place("Later.dat", later);
    // A plot reads its legend pictures when it loads: without them the
    // screen does not load.
    Form no_legends;
    const std::string later_message = Load("Later", no_legends);
    EXPECT_NE(later_message.find("not found"), std::string::npos) << later_message;
    EXPECT_NE(later_message.find("Later.dat"), std::string::npos) << later_message;
}

TEST_F(ScreenFileTest, AMissingPositionOrLinkTargetNamesTheElement)
{
    struct Case {
        const char* leave_out;
        const char* message;
    };
    for (const Case& c : {Case{"PixWidth", "Width not found in Pic (screen file Missing.dat)"}, Case{"PixLeft", "Left not found in Pic (screen file Missing.dat)"},
                          Case{"PixTop", "Top not found in Pic (screen file Missing.dat)"}, Case{"PixHeight", "Height not found in Pic (screen file Missing.dat)"}}) {
        auto screen = datakit::FormFileWriter::screen();
        screen.form(Header("Missing")).begin("Label", "Pic");
        for (const char* key : {"PixHeight", "PixLeft", "PixTop", "PixWidth"})
            if (std::string(key) != c.leave_out)
                screen.key(key, std::int32_t{10});
        screen.end().end();
        Place("Missing.dat", screen);
        Form form;
        EXPECT_EQ(Load("Missing", form), c.message);
    }
    auto screen = datakit::FormFileWriter::screen();
    screen.form(Header("Link"))
        .begin("Label", "Pic")
        .key("LinkedTo", "Nobody")
        .key("PixHeight", std::int32_t{1})
        .key("PixLeft", std::int32_t{2})
        .key("PixTop", std::int32_t{3})
        .key("PixWidth", std::int32_t{4})
        .end()
        .end();
    Place("Link.dat", screen);
    Form form;
    const std::string message = Load("Link", form);
    EXPECT_EQ(message.rfind("not found", 0), 0u) << message;
}

TEST(ControlSlide, ClosesInWithTheSquareRootOfTheDistance)
{
    CurrentManager current;
    Form form;
    BuildScreen(form, current.manager, "l");
    Control& c = *form.Element(0);
    c.m_bSliding = 1;
    c.m_fStartLeft = 0.0f;
    c.m_fTargetLeft = 200.0f;
    c.m_fStartTop = c.m_fTargetTop = 10.0f;
    c.Reset();
    platform::set_test_clock(1000);
    c.UpdateSlide();
    EXPECT_NEAR(c.m_fLeft, 0.0f, 1e-4);
    platform::advance_test_clock(50);
    c.UpdateSlide();
    const double expected = 200.0 - std::pow(std::sqrt(200.0) - 1.0, 2.0);
    EXPECT_NEAR(c.m_fLeft, expected, 1e-3) << "172.7 pixels left to go after 50 ms";
    platform::advance_test_clock(1000);
    c.UpdateSlide();
    EXPECT_EQ(c.m_fLeft, 200.0f);
    c.Reset();
    EXPECT_EQ(c.m_fLeft, 0.0f) << "entering the screen again restarts the slide";
    EXPECT_EQ(c.m_nSlideClock, 0u);
    platform::clear_test_clock();
}

TEST(ControlVisibility, HiddenEverywhereUntilShown)
{
    CurrentManager current(3);
    Form form;
    BuildScreen(form, current.manager, "l");
    Control& c = *form.Element(0);
    c.m_nRedraw = 0;
    c.Hide();
    EXPECT_EQ(c.m_nRedraw, 2);
    for (std::int32_t state : {-1, 0, 3, 42}) {
        current.manager.m_nState = state;
        EXPECT_FALSE(c.IsVisibleInState()) << state;
    }
    c.Show();
    for (std::int32_t state : {-1, 0, 3, 42}) {
        current.manager.m_nState = state;
        EXPECT_TRUE(c.IsVisibleInState()) << state;
    }
    c.m_nVisibleInState = 3;
    current.manager.m_nState = 3;
    EXPECT_TRUE(c.IsVisibleInState());
    current.manager.m_nState = 4;
    EXPECT_FALSE(c.IsVisibleInState());
}

TEST(ControlNames, ThirtyTwoCharactersAreTooMany)
{
    Label label;
    label.SetName(std::string(31, 'a').c_str());
    EXPECT_EQ(std::string(label.Name()), std::string(31, 'a'));
    try {
        label.SetName(std::string(32, 'b').c_str());
        FAIL() << "a 32-character name was taken";
    } catch (const GameError& error) {
        EXPECT_STREQ(error.what(), "string too long");
    }
    Label other;
    label.LinkTo(&other);
    EXPECT_THROW(label.LinkTo(&other), GameError);
}

TEST(FormStateFiles, ButtonsAndElementStatesComeBack)
{
    const auto dir = torvane_test::make_temp_dir("state");
    torvane_test::ScopedCwd cwd(dir);
    CurrentManager current;
    Form form;
    BuildScreen(form, current.manager, "BB");
    form.SetName("Saved");
    form.m_nId = 4;
    form.m_nPendingState = 12;
    form.m_nMusic = 2;
    form.addhotkey(30, form.Element(1));
    form.SetFocus(1);
    {
        platform::File file;
        ASSERT_TRUE(file.open("form.bin", "wb"));
        form.SaveState(file);
        ASSERT_TRUE(file.close());
    }
    Form loaded;
    loaded.m_pOwner = &current.manager;
    {
        platform::File file;
        ASSERT_TRUE(file.open("form.bin", "rb"));
        loaded.LoadState(file);
    }
    EXPECT_STREQ(loaded.Name(), "Saved");
    EXPECT_EQ(loaded.m_nId, 4);
    EXPECT_EQ(loaded.m_nPendingState, 12);
    EXPECT_EQ(loaded.m_nMusic, 2);
    EXPECT_EQ(loaded.m_nFocus, 1);
    ASSERT_EQ(loaded.ElementCount(), 2);
    EXPECT_EQ(loaded.Element(0)->m_nType, kControlCommandButton);
    EXPECT_EQ(loaded.FindHotKey(30), 1) << "the hot key finds its button again";

    // A screen with something other than buttons cannot be made again.
    Form mixed;
    BuildScreen(mixed, current.manager, "BL");
    {
        platform::File file;
        ASSERT_TRUE(file.open("mixed.bin", "wb"));
        mixed.SaveState(file);
        ASSERT_TRUE(file.close());
    }
    Form refused;
    platform::File file;
    ASSERT_TRUE(file.open("mixed.bin", "rb"));
    try {
        refused.LoadState(file);
        FAIL() << "a label was made again";
    } catch (const GameError& error) {
        EXPECT_STREQ(error.what(), "undef type");
    }
    EXPECT_EQ(refused.ElementCount(), 0);
    EXPECT_FALSE(refused.IsLoaded());

    // The element states: the focus and each element's own words.
    {
        platform::File out;
        ASSERT_TRUE(out.open("elements.bin", "wb"));
        form.SaveElementStates(out);
        ASSERT_TRUE(out.close());
    }
    form.SetFocus(0);
    {
        platform::File in;
        ASSERT_TRUE(in.open("elements.bin", "rb"));
        form.LoadElementStates(in);
    }
    EXPECT_EQ(form.m_nFocus, 1);
    // Another screen's states are refused.
    mixed.m_nId = 9;
    platform::File in;
    ASSERT_TRUE(in.open("elements.bin", "rb"));
    EXPECT_THROW(mixed.LoadElementStates(in), GameError);
}

TEST(FormStateFiles, ATruncatedFileIsRefusedBeforeAnythingIsMade)
{
    const auto dir = torvane_test::make_temp_dir("short");
    torvane_test::ScopedCwd cwd(dir);
    CurrentManager current;
    Form form;
    BuildScreen(form, current.manager, "BBB");
    {
        platform::File file;
        ASSERT_TRUE(file.open("form.bin", "wb"));
        form.SaveState(file);
        ASSERT_TRUE(file.close());
    }
    const auto size = std::filesystem::file_size(dir / "form.bin");
    std::filesystem::resize_file(dir / "form.bin", size - 6);
    Form loaded;
    platform::File file;
    ASSERT_TRUE(file.open("form.bin", "rb"));
    EXPECT_THROW(loaded.LoadState(file), GameError);
    EXPECT_EQ(loaded.ElementCount(), 0);
}

} // namespace
