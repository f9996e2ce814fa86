// The 3D screens: picture boxes, carousels, videos and podium scenes, and
// the credits.
#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/demo_menu_3d.h"
#include "tools/datakit/demo_menus.h"
#include "tools/datakit/demo_videos.h"
#include "tools/datakit/pcx_writer.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <system_error>

namespace datakit {

namespace {

constexpr const char* kCreditsBackground = "3d\\credits.pcx";

// A night-blue backdrop darkening toward its foot, with a faint band of
// light behind the text (index 0, transparent, is not used).
bool write_credits_background(const std::filesystem::path& root, std::string& error)
{
    PcxPicture picture;
    picture.width = 640;
    picture.height = 480;
    for (int i = 0; i < 256; ++i) {
        picture.palette[static_cast<std::size_t>(3 * i)] = static_cast<std::uint8_t>(i / 6);
        picture.palette[static_cast<std::size_t>(3 * i + 1)] = static_cast<std::uint8_t>(i / 4);
        picture.palette[static_cast<std::size_t>(3 * i + 2)] = static_cast<std::uint8_t>(i / 2);
    }
    picture.pixels.resize(640u * 480u);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const double down = 1.0 - y / 480.0;
            const double band = 1.0 - std::min(1.0, std::abs(x - 320) / 260.0);
            const int v = 8 + static_cast<int>(120.0 * down * (0.55 + 0.45 * band));
            picture.pixels[static_cast<std::size_t>(y) * 640 + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(std::clamp(v, 1, 255));
        }
    std::error_code ec;
    std::filesystem::create_directories(root / "menu" / "3d", ec);
    return write_pcx(root / "menu" / "3d" / "credits.pcx", picture, error);
}

// The credits: a window scrolling a page of rich text.
FormFileWriter credits_screen()
{
    FormFileWriter file = screen_file("Credits");
    file.key("UserDraw", 1);
    // Painted every frame under the window, so the scrolled text leaves no
    // trail.
    image(file, "background", kCreditsBackground, 0, 0, 640, 480);
    file.begin("Window", "WCredits");
    file.key("WinHeight", 1400).key("WinWidth", 480).key("ClipHeight", 340).key("ClipLeft", 80);
    file.key("ClipTop", 70).key("ClipWidth", 480);
    file.begin("LabelExt", "credits_text");
    place(file, 90, 80, 460, 16);
    file.key("FontName", kDemoMenuFont).key("FontType", "gamefont");
    file.key("TextFile", kMenuText).key("TextID", "credits");
    file.end();
    file.end();
    button(file, {.name = "back", .left = 250, .top = 430, .width = 140, .height = 32, .command = 0,
                  .text_id = "credits_back", .hot_key = kKeyEnter});
    file.end();
    return file;
}

// The podium: the scene is added when the screen is entered; the screen
// itself has only a way on.
FormFileWriter podium_screen()
{
    FormFileWriter file = screen_file("olescene");
    file.key("UserPrepare", 1).key("UserRelease", 1);
    button(file, {.name = "next", .left = 500, .top = 440, .width = 120, .height = 28, .command = 0,
                  .text_id = "podium_next", .hot_key = kKeyEnter});
    file.end();
    return file;
}

// A full-screen video screen of the start-up set.
FormFileWriter video_screen(const char* name, const char* video)
{
    FormFileWriter file = screen_file(name);
    file.key("NoMouse", 1);
    file.begin("PictureBox", "video");
    place(file, 0, 0, 640, 480);
    file.key("OLEType", "OLEVIDEOFULLSCREEN").key("VideoName", video);
    file.end();
    file.end();
    return file;
}

} // namespace

void add_3d_screens(DemoMenuBuilder& kit)
{
    kit.screen("olescene", podium_screen());
    kit.screen("Credits", credits_screen());
    kit.text(kMenuText, "podium_next", "Next");
    kit.text(kMenuText, "credits_back", "Back");
    // Every line centred (an alignment holds for its paragraph).
    std::string credits;
    for (const char* line : {"TORVANE", "", "A motorcycle road-racing game", "", "Engine, menus and races",
                             "The Torvane team", "", "Demo data", "The data kit:", "every model, picture, sound",
                             "and video is made by code", "", "Fonts", "The Liberation fonts", "",
                             "Thank you for playing"})
        credits += std::string("<ALIGNMENT CENTER>") + line + "\r\n";
    kit.text(kMenuText, "credits", credits);
    // The podium after an event and at the end of a season (simulation,
    // arcade); its scene gives command 0 when it has played.
    DemoMenuBuilder::Set& menu = kit.set("menu");
    for (const std::int32_t state : {kDemoSeasonPodiumState, kDemoArcadeSeasonPodiumState, kDemoPodiumState})
        menu.state(state, "olescene").go(state, 0, kDemoMainMenuState);
    menu.state(kDemoCreditsState, "Credits").go(kDemoCreditsState, 0, kDemoMainMenuState);
    // The start-up video, after the title card; then the set ends.
    kit.screen("intro", video_screen("intro", kDemoIntroVideo));
    kit.set("startvid").state(kDemoIntroState, "intro").go(kDemoIntroState, 0, kDemoEndState);
    kit.files(write_demo_menu_3d);
    kit.files(write_credits_background);
}

} // namespace datakit
