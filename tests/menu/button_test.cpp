#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "menu/check_box.h"
#include "menu/command_button.h"
#include "menu/screen_hooks.h"
#include "platform/audio.h"
#include "platform/file.h"
#include "sound/sound_library.h"
#include "tests/menu/menu_fixture.h"
#include "tools/datakit/wav_writer.h"

namespace {

using menu_test::kInkBlue;
using menu_test::kInkGreen;
using menu_test::kInkGrey;
using menu_test::kInkRed;
using menu_test::kInkWhite;
using menu_test::kInkYellow;
using menu_test::picture_pixel565;
using menu_test::place;

// A game font's glyphs show their palette colour as it is.
std::uint16_t glyph_pixel(std::uint8_t ink)
{
    return menu_test::rgb565(menu_test::palette_colour(ink));
}

// What the screen hooks saw: the commands given and the controls that
// reported, with the answer the command hook gives.
struct HookLog {
    std::vector<std::int32_t> commands;
    std::vector<std::string> reports;
    bool agree = true;
};
HookLog* g_log = nullptr;

class ButtonTest : public menu_test::MenuFixture {
protected:
    void SetUp() override
    {
        MenuFixture::SetUp();
        g_log = &log_;
        ScreenHooks hooks;
        hooks.form_command = [](Form&, std::int32_t command) {
            g_log->commands.push_back(command);
            return true;
        };
        hooks.menu_command = [](Control& control) {
            g_log->reports.emplace_back(control.Name());
            return g_log->agree;
        };
        SetScreenHooks(hooks);
        // The backgrounds: two 60 x 20 frames (red, then green), and a
        // strip of three for the looks of a text button without text.
        data_.strip("back", 60, 20, {kInkRed, kInkGreen});
        data_.strip("three", 60, 20, {kInkRed, kInkGreen, kInkBlue});
        data_.strip("single", 60, 20, {kInkGrey});
        data_.strip("icon", 16, 8, {kInkBlue, kInkYellow});
    }
    void TearDown() override
    {
        SetScreenHooks(ScreenHooks{});
        g_log = nullptr;
        MenuFixture::TearDown();
    }
    CommandButton& button(Form& form, const char* name)
    {
        Control* control = form.FindElement(name);
        EXPECT_NE(control, nullptr) << name;
        EXPECT_EQ(control->m_nType, kControlCommandButton);
        return *static_cast<CommandButton*>(control);
    }
    // A screen "s" of one text button "b" without text: 60 x 20 at (100, 100),
    // command 4, UserID 3.
    Form& one_button(const char* graphic = "back", bool down_trigger = false)
    {
        datakit::FormFileWriter file = menu_test::screen_file("s");
        file.begin("CommandButton", "b").key("Command", 4);
        if (down_trigger)
            file.key("DownTrigger", 1);
        file.key("FontType", "nofont").key("Graphic", graphic);
        place(file, 100, 100, 60, 20).key("UserID", 3).end();
        file.end();
        data_.screen("s", file);
        Form& form = load_screen("s");
        show();
        return form;
    }
    HookLog log_;
};

TEST_F(ButtonTest, AButtonReadsItsKeysInOrderAndTheRestFromTheDefaults)
{
    datakit::FormFileWriter file = menu_test::screen_file("keys");
    file.begin("CommandButton", "ok")
        .key3("ColTextDown", 10, 20, 30)
        .key("Command", 7)
        .key3("ColTextSelected", 1, 2, 3)
        .key3("ColTextUp", 300, 2, 3)
        .key("FontType", "nofont")
        .key3("ForeColor", 1, 2, 3)
        .key("Graphic", "back")
        .key("HotKey", "\"A\"");
    place(file, 10, 10, 60, 20).end();
    file.begin("CommandButton", "quoted").key("Command", "\"B\"").key("FontType", "nofont").key("HotKey", 28);
    place(file, 10, 40, 60, 20).end();
    file.begin("CommandButton", "plain").key("FontType", "nofont");
    place(file, 10, 70, 60, 20).end();
    file.begin("CommandButton", "sprite").key("FontType", "nofont").key("Graphic", "single");
    place(file, 10, 100, 60, 20).key("SpriteFile", "icon").key("SpriteX", 16).key("SpriteY", 8).end();
    file.end();
    data_.screen("keys", file);
    datakit::FormFileWriter defaults = datakit::FormFileWriter::defaults();
    defaults.begin("CommandButton", "ok").key("DownTrigger", 1).key("Sfx", 9).end();
    defaults.begin("CommandButton", "quoted").key("Switch", 1).end();
    data_.defaults("keys", defaults);

    Form& form = load_screen("keys");
    EXPECT_EQ(form.m_nFocus, kFocusNothing);  // a screen with buttons navigates
    CommandButton& ok = button(form, "ok");
    EXPECT_EQ(ok.m_ColTextDown, 0x1E140Au);
    EXPECT_EQ(ok.m_ColTextSelected, 0x030201u);
    EXPECT_EQ(ok.m_ColTextUp, 0x03022Cu);  // each number cut to a byte
    EXPECT_EQ(ok.m_nCommand, 7);
    EXPECT_TRUE(ok.m_bDownTrigger);
    EXPECT_FALSE(ok.m_bSwitch);
    EXPECT_EQ(ok.m_nSfx, 9);
    EXPECT_EQ(ok.m_bCanHaveFocus, 1);
    EXPECT_EQ(ok.m_nAlignment, kAlignCentredBoth);
    EXPECT_EQ(ok.m_nMode, kButtonText);
    EXPECT_EQ(ok.m_Graphic.Count(), 2);
    std::int32_t w = 0, h = 0;
    ok.m_Graphic.GetSize(w, h);
    EXPECT_EQ(w, 60);
    EXPECT_EQ(h, 20);
    // A quoted letter is its character code, for the hot key and the command.
    EXPECT_EQ(form.FindHotKey(65), ok.m_nElement);

    CommandButton& quoted = button(form, "quoted");
    EXPECT_EQ(quoted.m_nCommand, 66);
    EXPECT_TRUE(quoted.m_bSwitch);
    EXPECT_EQ(form.FindHotKey(28), quoted.m_nElement);

    // Without the keys: no command, the default click, the control's text
    // colour for every look, no background.
    CommandButton& plain = button(form, "plain");
    EXPECT_EQ(plain.m_nCommand, -1);
    EXPECT_EQ(plain.m_nSfx, 5);
    EXPECT_EQ(plain.m_ColTextUp, plain.m_ForeColor);
    EXPECT_EQ(plain.m_ColTextDown, plain.m_ForeColor);
    EXPECT_EQ(plain.m_Graphic.Count(), 0);

    CommandButton& sprite = button(form, "sprite");
    EXPECT_EQ(sprite.m_nMode, kButtonSprite);
    ASSERT_NE(sprite.m_pSprite, nullptr);
    EXPECT_EQ(sprite.m_pSprite->Count(), 2);
    sprite.m_pSprite->GetSize(w, h);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 8);
}

TEST_F(ButtonTest, ThePointerSelectsPressesAndReleasesAButton)
{
    struct Event {
        std::int32_t message;
        bool inside;
    };
    struct Case {
        const char* what;
        bool down_trigger;
        std::vector<Event> events;
        std::int32_t state;      // after the events
        std::size_t commands;    // commands given
        std::int32_t pointer;    // the pointer picture's frame
    };
    const Case cases[] = {
        {"hover", false, {{kMouseMove, true}}, kButtonSelected, 0, 2},
        {"hover and leave", false, {{kMouseMove, true}, {kMouseMove, false}}, kButtonUp, 0, 0},
        {"click", false, {{kMouseMove, true}, {kMouseLeftDown, true}, {kMouseLeftUp, true}}, kButtonSelected, 1, 2},
        {"pressed, released outside", false,
         {{kMouseMove, true}, {kMouseLeftDown, true}, {kMouseLeftUp, false}}, kButtonPressed, 0, 2},
        {"pressed, dragged out", false,
         {{kMouseMove, true}, {kMouseLeftDown, true}, {kMouseMove, false}, {kMouseLeftUp, true}}, kButtonUp, 0, 0},
        // Entering the screen focused the button.
        {"pressed outside", false, {{kMouseLeftDown, false}, {kMouseLeftUp, true}}, kButtonSelected, 0, 0},
        {"down trigger", true, {{kMouseMove, true}, {kMouseLeftDown, true}}, kButtonPressed, 1, 2},
        {"down trigger, released", true,
         {{kMouseMove, true}, {kMouseLeftDown, true}, {kMouseLeftUp, true}}, kButtonSelected, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log_ = HookLog{};
        Form& form = one_button("back", c.down_trigger);
        CommandButton& b = button(form, "b");
        for (const Event& e : c.events)
            form.RouteMouse(e.inside ? 130 : 300, 110, e.message, 0);
        EXPECT_EQ(b.m_nState, c.state);
        EXPECT_EQ(log_.commands.size(), c.commands);
        EXPECT_EQ(manager_.m_nPointerFrame, c.pointer);
        if (c.commands) {
            EXPECT_EQ(log_.commands.back(), 4);
            EXPECT_EQ(log_.reports, std::vector<std::string>(c.commands, "b"));
            EXPECT_EQ(manager_.m_nLastUserID, 3);
        }
        if (c.state == kButtonSelected) {
            EXPECT_EQ(form.m_nFocus, b.m_nElement);
        }
    }
}

TEST_F(ButtonTest, ADisabledButtonIgnoresThePointerAndRefusesTheFocusUntilEnabled)
{
    Form& form = one_button();
    CommandButton& b = button(form, "b");
    b.Disable();
    EXPECT_EQ(b.m_nState, kButtonDisabled);
    EXPECT_EQ(b.m_nPrevState, kButtonSelected);
    for (const std::int32_t message : {kMouseMove, kMouseLeftDown, kMouseLeftUp})
        form.RouteMouse(130, 110, message, 0);
    EXPECT_EQ(b.m_nState, kButtonDisabled);
    EXPECT_FALSE(b.Press());
    b.Activate();
    EXPECT_TRUE(log_.commands.empty());
    EXPECT_FALSE(b.CanTakeFocus());
    form.SetFocus(b.m_nElement);
    EXPECT_EQ(form.m_nFocus, kFocusNothing);

    b.Enable();
    EXPECT_EQ(b.m_nState, kButtonUp);
    form.RouteMouse(130, 110, kMouseMove, 0);
    EXPECT_EQ(b.m_nState, kButtonSelected);
}

TEST_F(ButtonTest, ActivationNotifiesTheLinkedControlThenAsksTheScreenThenGivesTheCommand)
{
    data_.text_file("lines.txt", {{"list", "one\ntwo\nthree"}});
    datakit::FormFileWriter file = menu_test::screen_file("s");
    file.begin("CommandButton", "b").key("Command", -5).key("FontType", "nofont").key("LinkedTo", "b");
    place(file, 100, 100, 60, 20).key("UserID", 3).end();
    file.end();
    data_.screen("s", file);
    Form& form = load_screen("s");
    show();
    CommandButton& b = button(form, "b");
    // Linked to itself: its own OnChar and Notify take the command once.
    log_.agree = false;
    b.Activate();
    EXPECT_EQ(log_.reports, std::vector<std::string>{"b"});
    EXPECT_EQ(manager_.m_nLastUserID, 3);
    EXPECT_TRUE(log_.commands.empty());  // the screen kept the command
    EXPECT_EQ(b.m_nDeferred, 2);

    log_.agree = true;
    b.Activate();
    EXPECT_EQ(log_.commands, std::vector<std::int32_t>{-5});
    EXPECT_EQ(manager_.m_nLastCommand, -5);

    // Reports are off while the screen is being prepared: the command goes
    // straight to the menu.
    b.m_nFlags &= ~kControlReports;
    b.Activate();
    EXPECT_EQ(log_.reports.size(), 2u);
    EXPECT_EQ(log_.commands.size(), 2u);
}

TEST_F(ButtonTest, AnActivatedButtonPlaysItsClickSample)
{
    platform::set_manual_audio_mixing(true);
    SoundLibrary sound;
    ASSERT_EQ(sound.Init(nullptr, false), kSoundOk);
    SetTheSoundLibrary(&sound);
    // Sample 5 (the default click) is a square wave, sample 2 is silence.
    std::vector<std::int16_t> click(2205), silence(2205, 0);
    for (std::size_t i = 0; i < click.size(); ++i)
        click[i] = (i / 20) % 2 ? 8000 : -8000;
    std::string error;
    ASSERT_TRUE(datakit::write_wav16("click.wav", 22050, 1, click, error)) << error;
    ASSERT_TRUE(datakit::write_wav16("quiet.wav", 22050, 1, silence, error)) << error;
    ASSERT_EQ(sound.AddSample("click.wav", 5, false, false), kSoundOk);
    ASSERT_EQ(sound.AddSample("quiet.wav", 2, false, false), kSoundOk);
    const auto loudest = [&sound](std::size_t frames) {
        std::vector<std::int16_t> pcm(2 * frames);
        sound.Output().mix(pcm.data(), frames);
        int most = 0;
        for (const std::int16_t v : pcm)
            most = std::max(most, std::abs(static_cast<int>(v)));
        return most;
    };

    datakit::FormFileWriter file = menu_test::screen_file("s");
    for (const auto& [name, top] : {std::pair{"click", 10}, std::pair{"hush", 40}, std::pair{"mute", 70}}) {
        file.begin("CommandButton", name).key("FontType", "nofont");
        place(file, 10, top, 60, 20).end();
    }
    file.end();
    data_.screen("s", file);
    datakit::FormFileWriter defaults = datakit::FormFileWriter::defaults();
    defaults.begin("CommandButton", "hush").key("Sfx", 2).end();
    defaults.begin("CommandButton", "mute").key("Sfx", -1).end();
    data_.defaults("s", defaults);
    Form& form = load_screen("s");
    show();

    struct Case {
        const char* name;
        bool heard;
    };
    for (const Case& c : {Case{"click", true}, Case{"hush", false}, Case{"mute", false}}) {
        button(form, c.name).Activate();
        EXPECT_EQ(loudest(1024) > 1000, c.heard) << c.name;
        loudest(4096);  // the rest of the click
    }
    SetTheSoundLibrary(nullptr);
    sound.Shutdown();
    platform::set_manual_audio_mixing(false);
}

// A switch that records the characters it is given.
class RecordingSwitch : public CommandButton {
public:
    void OnChar(std::int32_t character) override { chars.push_back(character); }
    std::vector<std::int32_t> chars;
};

TEST_F(ButtonTest, ASwitchHeldDownLocksTheMenuAndTakesTheArrowKeys)
{
    Form& form = one_button();
    RecordingSwitch sw;
    sw.m_pOwner = &form;
    sw.m_bSwitch = true;
    EXPECT_FALSE(sw.OnKeyLeft());  // not held
    EXPECT_TRUE(sw.Press());
    EXPECT_EQ(manager_.m_bEditLock, 1);
    EXPECT_TRUE(sw.Release());
    EXPECT_EQ(sw.m_nState, kButtonPressed);  // a switch stays down
    EXPECT_TRUE(log_.commands.empty());
    EXPECT_TRUE(sw.OnKeyLeft());
    EXPECT_TRUE(sw.OnKeyUp());
    EXPECT_TRUE(sw.OnKeyRight());
    EXPECT_TRUE(sw.OnKeyDown());
    EXPECT_EQ(sw.chars, (std::vector<std::int32_t>{37, 38, 39, 40}));

    // An ordinary button uses no key itself.
    CommandButton& b = button(form, "b");
    b.Press();
    EXPECT_FALSE(b.OnKeyDown());
    EXPECT_FALSE(b.OnKeyRight());
}

TEST_F(ButtonTest, EachStateShowsItsLookOfTheBackgroundAndTheSprite)
{
    // Where a background frame's white border starts shows its offset; its
    // fill shows the frame.
    struct Case {
        const char* graphic;
        std::int32_t state;
        int offset;
        std::uint8_t fill;
    };
    const Case cases[] = {
        {"back", kButtonUp, 0, kInkRed},      {"back", kButtonSelected, 0, kInkGreen},
        {"back", kButtonPressed, 3, kInkGreen}, {"three", kButtonPressed, 0, kInkBlue},
        {"single", kButtonPressed, 3, kInkGrey}, {"single", kButtonSelected, 0, kInkGrey},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.graphic) + " " + std::to_string(c.state));
        Form& form = one_button(c.graphic);
        CommandButton& b = button(form, "b");
        b.m_nState = c.state;
        clear_screen();
        b.Invalidate();
        EXPECT_TRUE(b.Paint());
        EXPECT_EQ(b.m_nRedraw, 1);
        EXPECT_EQ(pixel(100 + c.offset, 100 + c.offset), picture_pixel565(kInkWhite));
        EXPECT_EQ(pixel(130 + c.offset, 110 + c.offset), picture_pixel565(c.fill));
        if (c.offset) {
            EXPECT_EQ(pixel(100, 100), 0u);
        }
    }

    // A sprite button: the sprite centred on the background, frame 0 up,
    // frame 1 selected, and frame 1 moved by 3 pressed.
    datakit::FormFileWriter file = menu_test::screen_file("s");
    file.begin("CommandButton", "spr").key("FontType", "nofont").key("Graphic", "single");
    place(file, 100, 100, 60, 20).key("SpriteFile", "icon").key("SpriteX", 16).key("SpriteY", 8).end();
    file.end();
    data_.screen("s", file);
    Form& form = load_screen("s");
    show();
    CommandButton& spr = button(form, "spr");
    const int sx = 100 + (60 - 16) / 2, sy = 100 + (20 - 8) / 2;
    for (const auto& [state, offset, fill] : {std::tuple{kButtonUp, 0, kInkBlue}, std::tuple{kButtonSelected, 0, kInkYellow},
                                             std::tuple{kButtonPressed, 3, kInkYellow}}) {
        spr.m_nState = state;
        clear_screen();
        spr.Invalidate();
        spr.Paint();
        EXPECT_EQ(pixel(sx + offset, sy + offset), picture_pixel565(kInkWhite)) << state;
        EXPECT_EQ(pixel(sx + offset + 8, sy + offset + 4), picture_pixel565(fill)) << state;
        EXPECT_EQ(pixel(100, 100), picture_pixel565(kInkWhite)) << state;  // the background stays put
    }

    // Nothing is drawn out of its state, nor without something new to draw.
    spr.m_nVisibleInState = 42;
    clear_screen();
    spr.Invalidate();
    EXPECT_FALSE(spr.Paint());
    EXPECT_FALSE(spr.Draw());
    spr.m_nVisibleInState = 0;
    spr.m_nRedraw = 0;
    EXPECT_FALSE(spr.Paint());
    EXPECT_EQ(pixel(100, 100), 0u);
    EXPECT_TRUE(spr.Draw());

    // The dirty rectangle takes the pressed look's 3 pixels.
    std::int32_t l = 1000, t = 1000, r = 0, btm = 0;
    spr.Invalidate();
    EXPECT_TRUE(spr.Update(&l, &t, &r, &btm));
    EXPECT_EQ(l, 100);
    EXPECT_EQ(t, 100);
    EXPECT_EQ(r, 163);
    EXPECT_EQ(btm, 123);
}

TEST_F(ButtonTest, AGameFontButtonShowsItsTextInTheVariantOfItsState)
{
    menu_test::GameFontWords words;
    data_.game_font("font", words, kInkWhite, kInkYellow, kInkBlue);
    data_.text_file("texts.txt", {{"ok", "OK"}});
    datakit::FormFileWriter file = menu_test::screen_file("s");
    file.begin("CommandButton", "b").key("FontName", "font.pcx").key("FontType", "gamefont").key("Graphic", "single");
    place(file, 100, 100, 60, 20).key("TextFile", "texts.txt").key("TextID", "ok").end();
    file.end();
    data_.screen("s", file);
    Form& form = load_screen("s");
    show();
    CommandButton& b = button(form, "b");

    // "OK" centred across and down; 'O' is 8 pixels wide in the block font.
    const int text_width = menu_test::block_text_width("OK", words);
    const int x = 100 + (60 - text_width) / 2, y = 100 + (20 - words.cell_height) / 2;
    struct Case {
        std::int32_t state;
        int offset;
        std::uint8_t ink;
    };
    for (const Case& c : {Case{kButtonUp, 0, kInkWhite}, Case{kButtonSelected, 0, kInkYellow},
                          Case{kButtonPressed, 3, kInkYellow}, Case{kButtonDisabled, 3, kInkBlue}}) {
        b.m_nState = c.state;
        clear_screen();
        b.Invalidate();
        EXPECT_TRUE(b.Paint()) << c.state;
        EXPECT_EQ(pixel(x + c.offset + 1, y + c.offset + 1), glyph_pixel(c.ink)) << c.state;
        // A background of one frame keeps it in every state.
        EXPECT_EQ(b.m_Graphic.m_nCurrent, 0);
        EXPECT_EQ(b.m_nOffsetX, 0);  // the offset only lasts while painting
    }
}

TEST_F(ButtonTest, AFaceButtonShowsEachStateInItsOwnTextColour)
{
    using menu_test::palette_colour;
    using menu_test::rgb565;
    data_.text_file("texts.txt", {{"ok", "OK"}});
    datakit::FormFileWriter file = menu_test::screen_file("s");
    // Red up, yellow selected, blue pressed, on a strip of three dark frames.
    data_.strip("dark", 120, 40, {10, 10, 10}, 10);
    file.begin("CommandButton", "b")
        .key3("ColTextDown", 48, 64, 224)
        .key3("ColTextSelected", 240, 224, 40)
        .key3("ColTextUp", 224, 32, 32)
        .key("FontName", "Arial")
        .key("FontSize", 14.0f)
        .key("FontType", "winfont")
        .key("Graphic", "dark");
    place(file, 100, 100, 120, 40).key("TextFile", "texts.txt").key("TextID", "ok").end();
    file.end();
    data_.screen("s", file);
    Form& form = load_screen("s");
    show();
    CommandButton& b = button(form, "b");
    const std::uint16_t up = rgb565(palette_colour(kInkRed)), selected = rgb565(palette_colour(kInkYellow)),
                        down = rgb565(palette_colour(kInkBlue));
    struct Case {
        std::int32_t state;
        std::uint16_t colour;
    };
    for (const Case& c : {Case{kButtonUp, up}, Case{kButtonSelected, selected}, Case{kButtonPressed, down}}) {
        b.m_nState = c.state;
        clear_screen();
        b.Invalidate();
        EXPECT_TRUE(b.Paint());
        int counts[3] = {};
        for (int y = 100; y < 140; ++y)
            for (int x = 100; x < 220; ++x) {
                const std::uint32_t p = pixel(x, y);
                counts[0] += p == up;
                counts[1] += p == selected;
                counts[2] += p == down;
            }
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(counts[k] > 0, c.colour == (k == 0 ? up : k == 1 ? selected : down)) << c.state << " " << k;
        EXPECT_EQ(b.m_ForeColor, 0xFFFFFFu);  // the control's own colour comes back
    }
}

TEST_F(ButtonTest, AButtonKeepsItsStateInAStateFile)
{
    Form& form = one_button();
    CommandButton& b = button(form, "b");
    b.Disable();
    platform::File out;
    ASSERT_TRUE(out.open("button.sav", "wb"));
    b.SaveState(out);
    const std::uint8_t bad[8] = {9, 0, 0, 0, 1, 0, 0, 0};
    ASSERT_EQ(out.write(bad, sizeof bad), sizeof bad);
    ASSERT_TRUE(out.close());

    b.Enable();
    platform::File in;
    ASSERT_TRUE(in.open("button.sav", "rb"));
    b.LoadState(in);
    EXPECT_EQ(b.m_nState, kButtonDisabled);
    EXPECT_EQ(b.m_nPrevState, kButtonSelected);
    // A state no button has is refused, and the button keeps its own.
    EXPECT_THROW(b.LoadState(in), GameError);
    EXPECT_EQ(b.m_nState, kButtonDisabled);
}

// ---- Check boxes ----

class CheckBoxTest : public ButtonTest {
protected:
    // Box frames of 100 x 16 whose visible part is a 12 x 12 square at the
    // left (green checked, red unchecked).
    void box_frames()
    {
        for (const auto& [name, fill] : {std::pair{"box0.pcx", kInkGreen}, std::pair{"box1.pcx", kInkRed}}) {
            datakit::PcxPicture picture = menu_test::solid_picture(100, 16, 0);
            for (int y = 0; y < 12; ++y)
                for (int x = 0; x < 12; ++x)
                    picture.pixels[static_cast<std::size_t>(y * 100 + x)] = fill;
            data_.picture(name, picture);
        }
    }
    CheckBox& check_box(Form& form, const char* name)
    {
        Control* control = form.FindElement(name);
        EXPECT_NE(control, nullptr) << name;
        EXPECT_EQ(control->m_nType, kControlCheckBox);
        return *static_cast<CheckBox*>(control);
    }
};

TEST_F(CheckBoxTest, AClickTogglesTheBoxAndReportsItsOwnUserID)
{
    box_frames();
    datakit::FormFileWriter file = menu_test::screen_file("s");
    file.begin("CheckBox", "c").key("FontType", "nofont").key("Graphic", "box");
    place(file, 100, 100, 100, 16).key("UserID", 6).end();
    file.begin("CheckBox", "quiet").key("FontType", "nofont").key("Graphic", "box");
    place(file, 100, 200, 100, 16).end();
    file.end();
    data_.screen("s", file);
    Form& form = load_screen("s");
    show();
    CheckBox& c = check_box(form, "c");
    EXPECT_EQ(c.m_nOwnUserID, 6);
    EXPECT_EQ(c.m_Box.Count(), 2);

    form.RouteMouse(150, 108, kMouseLeftDown, 0);
    EXPECT_TRUE(c.IsChecked());
    EXPECT_EQ(log_.reports, std::vector<std::string>{"c"});
    EXPECT_EQ(manager_.m_nLastUserID, 6);
    form.RouteMouse(150, 108, kMouseLeftUp, 0);
    form.RouteMouse(150, 108, kMouseMove, 0);
    form.RouteMouse(300, 108, kMouseLeftDown, 0);  // outside
    EXPECT_TRUE(c.IsChecked());
    form.RouteMouse(150, 108, kMouseLeftDown, 0);
    EXPECT_FALSE(c.IsChecked());
    EXPECT_EQ(log_.reports.size(), 2u);

    // Without a UserID nothing is reported; hidden, the box takes no click.
    CheckBox& quiet = check_box(form, "quiet");
    form.RouteMouse(150, 208, kMouseLeftDown, 0);
    EXPECT_TRUE(quiet.IsChecked());
    EXPECT_EQ(log_.reports.size(), 2u);
    quiet.Hide();
    form.RouteMouse(150, 208, kMouseLeftDown, 0);
    EXPECT_TRUE(quiet.IsChecked());

    // A check box without its box does not load.
    datakit::FormFileWriter bad = menu_test::screen_file("bad");
    place(bad.begin("CheckBox", "c"), 0, 0, 100, 16).end();
    bad.end();
    data_.screen("bad", bad);
    try {
        load_screen("bad");
        ADD_FAILURE();
    } catch (const GameError& e) {
        EXPECT_STREQ(e.what(), "Check_button graphic undef (screen file bad.dat)");
    }
}

TEST_F(CheckBoxTest, TheBoxStandsAtTheSideTheTextIsAlignedTo)
{
    box_frames();
    menu_test::GameFontWords words;
    data_.game_font("font", words, kInkWhite);
    data_.text_file("texts.txt", {{"t", "OK"}});
    datakit::FormFileWriter file = menu_test::screen_file("s");
    for (const auto& [name, align, top] : {std::tuple{"left", "Left", 100}, std::tuple{"right", "Right", 200},
                                          std::tuple{"centre", "Center", 300}}) {
        file.begin("CheckBox", name).key("Alignment", align).key("FontName", "font.pcx").key("FontType", "gamefont");
        file.key("Graphic", "box");
        place(file, 100, top, 100, 16).key("TextFile", "texts.txt").key("TextID", "t").end();
    }
    file.end();
    data_.screen("s", file);
    Form& form = load_screen("s");
    show();
    clear_screen();
    CheckBox& left = check_box(form, "left");
    left.SetChecked(true);
    for (const char* name : {"left", "right", "centre"}) {
        CheckBox& c = check_box(form, name);
        c.Invalidate();
        EXPECT_TRUE(c.Paint()) << name;
        EXPECT_EQ(c.m_fLeft, 100.0f) << name;  // the place is restored
    }
    const int text_width = menu_test::block_text_width("OK", words);
    // Left: the checked box at the left edge, the text after the box.
    EXPECT_EQ(pixel(105, 105), picture_pixel565(kInkGreen));
    EXPECT_EQ(pixel(112 + 1, 101), glyph_pixel(kInkWhite));
    // Right: the unchecked box at the right edge, the text before it.
    EXPECT_EQ(pixel(200 - 6, 205), picture_pixel565(kInkRed));
    EXPECT_EQ(pixel(200 - 12 - 1, 201), glyph_pixel(kInkWhite));
    // Centred text has no box.
    EXPECT_EQ(pixel(105, 305), 0u);
    EXPECT_EQ(pixel(100 + (100 - text_width) / 2 + 1, 301), glyph_pixel(kInkWhite));

    // Hidden, it draws neither.
    left.Hide();
    clear_screen();
    left.Invalidate();
    EXPECT_FALSE(left.Paint());
    EXPECT_EQ(pixel(105, 105), 0u);
}

} // namespace
