// The 3D screens: picture boxes, carousels, videos and podium scenes, and
// the credits.
#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/demo_menu_3d.h"
#include "tools/datakit/demo_menus.h"
#include "tools/datakit/demo_videos.h"

namespace datakit {

namespace {

// The credits: a window scrolling a page of rich text.
FormFileWriter credits_screen()
{
    FormFileWriter file = screen_file("Credits");
    file.key("UserDraw", 1);
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
    kit.text(kMenuText, "credits",
             "<ALIGNMENT CENTER>TORVANE\r\n\r\nA motorcycle road-racing game\r\n\r\n"
             "Engine, menus and races\r\nThe Torvane team\r\n\r\n"
             "Demo data\r\nThe data kit: every model, picture, sound and video is made by code\r\n\r\n"
             "Fonts\r\nThe Liberation fonts\r\n\r\nThank you for playing");
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
}

} // namespace datakit
