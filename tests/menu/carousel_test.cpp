// The picture box's model carousel: its file, its turns with their eased
// slides, its linked buttons and commands, and what it draws.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "engine/model/anim_lib.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/scene/camera.h"
#include "engine/scene/scene_view.h"
#include "menu/command_button.h"
#include "platform/file.h"
#include "tests/menu/picture_box_fixture.h"

namespace {

using menu_test::place;

// A control that records the codes it is notified of.
class NotifyRecorder : public Control {
public:
    NotifyRecorder() : Control(kControlLabel) {}
    bool Paint() override { return false; }
    void Notify(std::int32_t code) override { codes.push_back(code); }
    std::vector<std::int32_t> codes;
};

class CarouselTest : public menu_test::PictureBoxFixture {
protected:
    Form& carousel(int items, int buttons = 2)
    {
        write_carousel("c.ole", bike_carousel(items));
        carousel_screen("c.ole", buttons);
        Form& form = load_screen("s");
        show();
        return form;
    }

    // Where an item stands on the turntable at angle a, before any slide:
    // (0, 0, -0.6) turned about y.
    static float rest_x(float a) { return -0.6f * std::sin(a); }
    static float rest_z(float a) { return -0.6f * std::cos(a); }
};

TEST_F(CarouselTest, LoadsItsFileIntoCameraItemsLightAndCommands)
{
    Form& form = carousel(3);
    PictureBox& ole = box(form);
    EXPECT_EQ(ole.Kind(), kOleCarousel);
    ASSERT_EQ(ole.ItemCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(ole.ItemAt(i).instance, nullptr);
    const datakit::CarouselFile file = bike_carousel(3);
    EXPECT_FLOAT_EQ(ole.Camera()->position.z, file.camera[2]);
    EXPECT_FLOAT_EQ(ole.Camera()->target.y, file.target[1]);
    EXPECT_NEAR(ole.Camera()->fov, 0.5235988f, 1e-6f);
    EXPECT_FLOAT_EQ(ole.Camera()->far, 1000.0f);
    EXPECT_FLOAT_EQ(ole.View()->frustum.far_z, -1000.0f);
    // The light stands toward (0, 2990, 4930), of unit length.
    ASSERT_NE(ole.LightModel(), nullptr);
    EXPECT_NEAR(ole.LightModel()->position.y, 0.5185708f, 1e-5f);
    EXPECT_NEAR(ole.LightModel()->position.z, 0.8550347f, 1e-5f);
    ASSERT_EQ(ole.Commands().size(), 2u);
    EXPECT_EQ(ole.Commands()[0].action, kCarouselPrevious);
    EXPECT_EQ(ole.Commands()[1].action, kCarouselNext);
    // The fork is shown raked by 20 degrees.
    const model_node* pivot = ole.ItemAt(0).instance->find_node(name_hash("FRONT_PIVOT"));
    ASSERT_NE(pivot, nullptr);
    EXPECT_NEAR(pivot->angles.x, -0.34906587f, 1e-6f);
    EXPECT_EQ(manager_.Lib3DCount(), 1);
}

// The slide of a turn against the easing formula: at time t after the turn
// began, p = -1.6 + 0.004 t, e = -p^3, and (turning to the next item) the
// new item stands k e to the +x side of its place, the old one k (4.096 -
// e) to the -x side of its own; k is 1, or 7 in menu states 4 and 304,
// where the turntable also stands still.
TEST_F(CarouselTest, TurnsWithTheEasedSlide)
{
    struct Case {
        std::int32_t state;
        float k;
        bool turntable_still;  // items placed at angle 0
    };
    for (const Case& c : {Case{1, 1.0f, false}, Case{4, 7.0f, true}, Case{304, 7.0f, true}}) {
        SCOPED_TRACE(c.state);
        Form& form = carousel(3);
        manager_.m_nState = c.state;
        PictureBox& ole = box(form);
        paint_after(form, 40);
        ole.Notify(2);
        ASSERT_EQ(ole.TurnState(), 2);
        EXPECT_EQ(ole.CurrentItem(), 1);
        EXPECT_EQ(ole.PreviousItemIndex(), 0);
        std::uint32_t elapsed = 0;
        for (const std::uint32_t step : {50u, 100u, 75u}) {
            paint_after(form, step);
            elapsed += step;
            const float p = -1.6f + 0.004f * static_cast<float>(elapsed);
            const float e = -p * p * p;
            const float a = c.turntable_still ? 0.0f : g_fCarouselAngle;
            EXPECT_NEAR(ole.ItemAt(1).instance->position.x, rest_x(a) + c.k * e, 1e-4f) << elapsed;
            EXPECT_NEAR(ole.ItemAt(0).instance->position.x, rest_x(a) - c.k * (4.096f - e), 1e-4f) << elapsed;
            EXPECT_NEAR(ole.ItemAt(1).instance->position.z, rest_z(a), 1e-5f);
            EXPECT_EQ(ole.TurnState(), 2);
        }
        // The slide arrives once k e is at most 0.01: about 346 ms after
        // the turn began with k = 1, 372 ms with k = 7.
        const std::uint32_t arrival = c.k == 1.0f ? 346u : 372u;
        paint_after(form, arrival - 1 - elapsed);
        EXPECT_EQ(ole.TurnState(), 2);
        paint_after(form, 2);
        EXPECT_EQ(ole.TurnState(), 0);
    }
}

TEST_F(CarouselTest, TheTurntableTurnsAndTheIdleItemFollowsIt)
{
    Form& form = carousel(3);
    PictureBox& ole = box(form);
    paint_after(form, 1000);
    // 0.0005 rad and 0.0005 of the animation per ms.
    EXPECT_NEAR(g_fCarouselAngle, 0.5f, 1e-5f);
    EXPECT_NEAR(g_fCarouselPhase, 0.5f, 1e-5f);
    EXPECT_NEAR(ole.ItemAt(0).instance->position.x, rest_x(0.5f), 1e-5f);
    EXPECT_NEAR(ole.ItemAt(0).instance->anim_time, 0.5f, 1e-5f);
    paint_after(form, 1200);
    EXPECT_NEAR(g_fCarouselPhase, 0.1f, 1e-4f);  // its whole part is dropped
    paint_after(form, 11000);
    EXPECT_LT(g_fCarouselAngle, 6.28f);           // lowered by 6.28 past a turn
    EXPECT_NEAR(g_fCarouselAngle, 6.6f - 6.28f, 1e-3f);
}

TEST_F(CarouselTest, StepsWrapAroundAndEnterFromTheirSide)
{
    Form& form = carousel(3);
    PictureBox& ole = box(form);
    paint_after(form, 1);
    // Item 0 back: item 2 enters from -x while item 0 leaves toward +x.
    ole.Notify(1);
    EXPECT_EQ(ole.CurrentItem(), 2);
    EXPECT_EQ(ole.PreviousItemIndex(), 0);
    paint_after(form, 10);
    const float a = g_fCarouselAngle;
    EXPECT_LT(ole.ItemAt(2).instance->position.x, rest_x(a) - 3.0f);
    EXPECT_GT(ole.ItemAt(0).instance->position.x, rest_x(a));
    paint_after(form, 500);
    ASSERT_EQ(ole.TurnState(), 0);
    // Item 2 on: item 0, item 2 leaving toward -x.
    ole.Notify(2);
    EXPECT_EQ(ole.CurrentItem(), 0);
    paint_after(form, 10);
    EXPECT_LT(ole.ItemAt(2).instance->position.x, rest_x(g_fCarouselAngle));
    EXPECT_GT(ole.ItemAt(0).instance->position.x, rest_x(g_fCarouselAngle) + 3.0f);
}

TEST_F(CarouselTest, CommandsDuringATurnAndUnknownCodes)
{
    datakit::CarouselFile file = bike_carousel(3);
    // Code 2 twice: the later pair (DEC) holds.
    file.commands = {{1, "DEC"}, {2, "INC"}, {2, "DEC"}};
    write_carousel("c.ole", file);
    carousel_screen("c.ole", 0);
    Form& form = load_screen("s");
    show();
    PictureBox& ole = box(form);
    NotifyRecorder recorder;
    ole.SetLinked(&recorder);
    ole.Notify(7);
    EXPECT_EQ(ole.TurnState(), 0);
    ole.Notify(2);
    EXPECT_EQ(ole.TurnState(), 1);
    EXPECT_EQ(ole.CurrentItem(), 2);
    // During the turn nothing changes and nothing is passed on.
    ole.Notify(1);
    EXPECT_EQ(ole.CurrentItem(), 2);
    EXPECT_EQ(recorder.codes, (std::vector<std::int32_t>{-1, -3}));
    ole.SetLinked(nullptr);
}

TEST_F(CarouselTest, FourLinkedButtonsWaitForTheTurnAndAFifthIsRefused)
{
    Form& form = carousel(3, 4);
    PictureBox& ole = box(form);
    ASSERT_EQ(ole.LinkedButtonCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(ole.LinkedButton(i), form.FindElement(("b" + std::to_string(i)).c_str())) << i;
    auto* b1 = static_cast<CommandButton*>(form.FindElement("b1"));
    b1->Activate();  // command 2: on
    EXPECT_EQ(ole.TurnState(), 2);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(ole.LinkedButton(i)->m_nState, kButtonDisabled) << i;
    paint_after(form, 400);
    EXPECT_EQ(ole.TurnState(), 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(ole.LinkedButton(i)->m_nState, kButtonDisabled) << i;

    carousel_screen("c.ole", 5);
    try {
        load_screen("s");
        ADD_FAILURE() << "a fifth linked button loaded";
    } catch (const GameError& e) {
        EXPECT_NE(std::string(e.what()).find("troppi bottoni linkati"), std::string::npos) << e.what();
    }
}

// A screen puts the carousel on an item at once: it stands there, even in
// the middle of a turn (whose buttons come back), and an item it does not
// have changes nothing.
TEST_F(CarouselTest, AnItemShownAtOnceStandsStill)
{
    Form& form = carousel(3, 2);
    PictureBox& ole = box(form);
    ole.Notify(2);
    ASSERT_EQ(ole.TurnState(), 2);
    ole.ShowItem(2);
    EXPECT_EQ(ole.CurrentItem(), 2);
    EXPECT_EQ(ole.PreviousItemIndex(), 2);
    EXPECT_EQ(ole.TurnState(), 0);
    for (int i = 0; i < 2; ++i)
        EXPECT_NE(ole.LinkedButton(i)->m_nState, kButtonDisabled) << i;
    paint_after(form, 10);
    EXPECT_NEAR(ole.ItemAt(2).instance->position.x, rest_x(g_fCarouselAngle), 1e-4f);
    for (int outside : {-1, 3}) {
        ole.ShowItem(outside);
        EXPECT_EQ(ole.CurrentItem(), 2) << outside;
    }
}

TEST_F(CarouselTest, OneItemAndNoItemsTurnNowhere)
{
    for (const int items : {0, 1}) {
        SCOPED_TRACE(items);
        Form& form = carousel(items);
        PictureBox& ole = box(form);
        NotifyRecorder recorder;
        ole.SetLinked(&recorder);
        ole.Notify(2);
        EXPECT_EQ(ole.TurnState(), 0);
        EXPECT_EQ(ole.CurrentItem(), 0);
        EXPECT_EQ(recorder.codes, std::vector<std::int32_t>{kCarouselNext});
        paint_after(form, 100);
        ole.SetLinked(nullptr);
    }
}

TEST_F(CarouselTest, SavesAndRestoresTheItems)
{
    Form& form = carousel(3);
    PictureBox& ole = box(form);
    ole.Notify(2);
    paint_after(form, 500);
    ole.Notify(2);
    {
        platform::File out;
        ASSERT_TRUE(out.open("ole.state", "wb"));
        ole.SaveState(out);
    }
    Form& again = carousel(3);
    PictureBox& fresh = box(again);
    platform::File in;
    ASSERT_TRUE(in.open("ole.state", "rb"));
    fresh.LoadState(in);
    EXPECT_EQ(fresh.CurrentItem(), 2);
    EXPECT_EQ(fresh.PreviousItemIndex(), 1);
    EXPECT_EQ(fresh.TurnState(), 0);
}

// Damaged carousel files and elements, each refused with its message; the
// same record then loads a sound carousel.
TEST_F(CarouselTest, RefusesDamagedCarouselFiles)
{
    struct Case {
        const char* name;
        std::string text;      // the carousel file (empty: not written)
        std::string expected;  // part of the message
    };
    const std::string head = "OLE3D Gfx\\Bikes\\Bikes 0 1 3 0 0.5 0\n";
    const std::vector<Case> cases = {
        {"no library word", "OLE3D\n", "file error"},
        {"no camera", "OLE3D Gfx\\Bikes\\Bikes 0 1\n", "file error"},
        {"no models", head + "begin IC 1 2 INC\n", ""},
        {"negative models", head + "begin models -1\n", "models count -1 does not fit the file c.ole"},
        {"models past the file", head + "begin models 400000000 AXX_Vortan 0\n",
         "models count 400000000 does not fit the file c.ole"},
        {"unknown model", head + "begin models 1 NOSUCH 0\n", "model not found"},
        {"IC past the file", head + "begin models 1 AXX_Vortan 0\nbegin IC 99 1 INC\n",
         "IC count 99 does not fit the file c.ole"},
        {"bad command word", head + "begin models 1 AXX_Vortan 0\nbegin IC 1 1 inc\n", "cmd not found"},
        {"animations without count", head + "begin models 1 AXX_Vortan 0\nbegin animation\n",
         "numero animazioni non presente"},
        {"more animations than items", head + "begin models 1 AXX_Vortan 0\nbegin animation 2 A B\n",
         "2 animations for 1 items in c.ole"},
        {"no such file", "", "file not found M_CParse::Open missing.ole"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = "c.ole";
        if (c.text.empty())
            file = "missing.ole";
        else
            data_.raw("c.ole", c.text);
        carousel_screen(file, 0);
        try {
            load_screen("s");
            ADD_FAILURE() << "loaded";
        } catch (const GameError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
        }
    }
    write_carousel("c.ole", bike_carousel(2));
    carousel_screen("c.ole", 0);
    EXPECT_EQ(box(load_screen("s")).ItemCount(), 2);
}

TEST_F(CarouselTest, ElementsWithoutAFile)
{
    struct Case {
        const char* type;  // the "OLEType" key; null: none
        const char* expected;
    };
    for (const Case& c : {Case{"OLE3D", "non disponibile direttamente sul dat per ora"},
                          Case{"OLEVIDEO", "non disponibile direttamente sul dat per ora"},
                          Case{nullptr, "filename not found"},
                          Case{"OLEVIDEOFULLSCREEN", "video name not found"}}) {
        SCOPED_TRACE(c.expected);
        datakit::FormFileWriter file = menu_test::screen_file("s");
        file.begin("PictureBox", "OLE1");
        place(file, 0, 0, 100, 100);
        if (c.type)
            file.key("OLEType", c.type);
        file.end().end();
        data_.screen("s", file);
        try {
            load_screen("s");
            ADD_FAILURE() << "loaded";
        } catch (const GameError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
        }
    }
}

// The kit's own carousels, loaded from the menu folder as the demo menus
// load them: the five bikes, and the rider in three leathers riding.
TEST_F(CarouselTest, TheKitsCarouselsLoadFromTheMenuFolder)
{
    std::string error;
    ASSERT_TRUE(datakit::write_demo_carousels(data_.root() / "menu", error)) << error;
    datakit::FormFileWriter file = menu_test::screen_file("s");
    datakit::carousel_element(file, "bikes", datakit::kDemoBikeCarouselFile, 0, 0, 320, 240);
    datakit::carousel_element(file, "riders", datakit::kDemoRiderCarouselFile, 320, 0, 320, 240);
    file.end();
    std::filesystem::create_directories(data_.root() / "menu");
    ASSERT_TRUE(file.write(data_.root() / "menu" / "s.dat", error)) << error;
    torvane_test::ScopedCwd in_menu(data_.root() / "menu");
    Form& form = load_screen("s");
    show();
    auto* bikes = static_cast<PictureBox*>(form.FindElement("bikes"));
    auto* riders = static_cast<PictureBox*>(form.FindElement("riders"));
    ASSERT_EQ(bikes->ItemCount(), 5);
    ASSERT_EQ(riders->ItemCount(), 3);
    EXPECT_FLOAT_EQ(riders->ItemAt(2).material_set, 1.0f);
    ASSERT_NE(riders->ItemAt(0).instance->current_anim, nullptr);
    EXPECT_EQ(riders->ItemAt(0).instance->current_anim->name_hash, name_hash("RIDE"));
    bikes->Notify(2);
    EXPECT_EQ(bikes->CurrentItem(), 1);
    paint_after(form, 100);
    EXPECT_EQ(manager_.Lib3DCount(), 2);
}

TEST_F(CarouselTest, TheFifthLibrarySetIsRefused)
{
    for (int i = 0; i < 4; ++i) {
        datakit::CarouselFile c = bike_carousel(1);
        c.library = i % 2 ? "Gfx\\Bikes\\Bikes" : "Gfx\\Bikes\\Riders";
        c.items = {{i % 2 ? "AXX_Vortan" : "AXX_RIDER", 0.0f}};
        write_carousel("c.ole", c);
        carousel_screen("c.ole", 0);
        load_screen("s");
    }
    EXPECT_EQ(manager_.Lib3DCount(), 2);  // found again by name
    for (const char* set : {"Gfx\\Bikes\\Shadow", "Gfx\\Bikes\\Arc"}) {
        datakit::CarouselFile c = bike_carousel(0);
        c.library = set;
        write_carousel("c.ole", c);
        carousel_screen("c.ole", 0);
        load_screen("s");
    }
    datakit::CarouselFile c = bike_carousel(0);
    c.library = "Gfx\\Bikes\\dynombra";
    write_carousel("c.ole", c);
    carousel_screen("c.ole", 0);
    try {
        load_screen("s");
        ADD_FAILURE() << "a fifth set loaded";
    } catch (const GameError& e) {
        EXPECT_NE(std::string(e.what()).find("troppe lib 3d"), std::string::npos) << e.what();
    }
}

} // namespace
