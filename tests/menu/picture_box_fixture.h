#pragma once
// What the picture box tests share: the menu fixture with the menus' 3D
// context (on the 8-bit-style software rasteriser of the fixture's screen,
// or on the 3D device), the demo bikes and riders of the data kit under
// "Gfx/Bikes", and writers of carousel files and picture box screens.
#include <memory>
#include <string>
#include <vector>

#include "engine/base/engine.h"
#include "engine/base/shade_table.h"
#include "engine/render/rast.h"
#include "menu/picture_box.h"
#include "platform/clock.h"
#include "tests/menu/menu_fixture.h"
#include "tools/datakit/carousel_writer.h"
#include "tools/datakit/shade_table_writer.h"
#include "tools/datakit/world_bikes.h"
#include "tools/datakit/world_track_parts.h"

namespace menu_test {

class PictureBoxFixture : public MenuFixture {
protected:
    void SetUp() override
    {
        MenuFixture::SetUp();
        platform::set_test_clock(100000);
        g_fCarouselAngle = 0.0f;
        g_fCarouselPhase = 0.0f;
        std::string error;
        ASSERT_TRUE(datakit::write_demo_world_bikes(data_.root(), error)) << error;
        open_engine();
    }
    void TearDown() override
    {
        manager_.Reset();
        current_engine = nullptr;
        engine_.reset();
        platform::clear_test_clock();
        MenuFixture::TearDown();
    }

    // The podium's palette, and the renderer under test: the 3D device
    // (true) or the 8-bit software rasteriser on that palette (false); then
    // the menus' 3D context for it.
    void use_podium_renderer(bool device)
    {
        std::string error;
        ASSERT_TRUE(datakit::write_palette_with_shade_table(data_.root() / "podium.pal",
                                                            datakit::world::track_palette(), error))
            << error;
        if (device) {
            device_.release();
            device_.software_16bit = 0;
            ASSERT_EQ(device_.enumerate_drivers(window_), 1);
            ASSERT_EQ(device_.init(0, 640, 480, 16, 1), 1);
        } else {
            ASSERT_EQ(device_.load_palette("podium.pal"), 1);
            load_shade_table("podium.pal");
            rast_set_globals(32, 16, 1);
        }
        open_engine();
    }

    // The menus' 3D context for the renderer as it is set up now.
    void open_engine()
    {
        engine_ = std::make_unique<engine>();
        if (device_.render_type == kRenderSoftware) {
            engine_->set_render_type(engine::software_render_type);
            engine_->set_mode_word(1);
        } else {
            engine_->set_render_type(2);
            engine_->set_mode_word(2);
        }
        current_engine = engine_.get();
    }

    // A carousel file "<name>" and a screen "s" with the picture box "OLE1"
    // at (left, top, width, height) showing it, and `buttons` command
    // buttons linked to it (commands 1, 2, 1, 2, ...).
    void carousel_screen(const std::string& carousel, int buttons, int left = 160, int top = 120, int width = 320,
                         int height = 240)
    {
        datakit::FormFileWriter file = screen_file("s");
        file.begin("PictureBox", "OLE1");
        place(file, left, top, width, height).key("FileName", carousel).end();
        for (int i = 0; i < buttons; ++i) {
            file.begin("CommandButton", "b" + std::to_string(i))
                .key("Command", 1 + i % 2)
                .key("FontType", "nofont")
                .key("LinkedTo", "OLE1");
            place(file, 10 + 40 * i, 10, 30, 20).end();
        }
        file.end();
        data_.screen("s", file);
    }

    // The five demo bikes in a carousel, 1 DEC and 2 INC.
    datakit::CarouselFile bike_carousel(int items = 3) const
    {
        datakit::CarouselFile c = datakit::demo_bike_carousel();
        c.library = "Gfx\\Bikes\\Bikes";
        c.items.resize(static_cast<std::size_t>(items));
        return c;
    }
    void write_carousel(const std::string& name, const datakit::CarouselFile& c) const
    {
        std::string error;
        ASSERT_TRUE(datakit::write_carousel_file(data_.root() / name, c, error)) << error;
    }

    PictureBox& box(Form& form) const
    {
        Control* c = form.FindElement("OLE1");
        EXPECT_NE(c, nullptr);
        EXPECT_EQ(c->m_nType, kControlPictureBox);
        return *static_cast<PictureBox*>(c);
    }

    // Moves the clock on and paints the screen once.
    void paint_after(Form& form, std::uint32_t ms)
    {
        platform::advance_test_clock(ms);
        form.PaintAll();
    }

    std::unique_ptr<engine> engine_;
};

} // namespace menu_test
