// torvane-play: plays the game headless. It runs the game's own start-up,
// menus and races on SDL's offscreen video and dummy audio drivers, with a
// test clock that moves one frame at a time, takes the steps of the command
// line one per frame (a key goes down on one frame and up on the next), and
// writes a log of what the game does on standard output (tools/play/player.h).
//
//   torvane-play --data DIR [--home DIR] [--frame-time S] [--race-frame-time S]
//                [--shots DIR] STEP...
//
// --data is the game's data folder, in which it runs; --home its settings
// folder (TORVANE_HOME). --frame-time is the test clock's step per menu
// frame (1/60 s), --race-frame-time per race frame (0.1 s). Races are drawn
// only with --shots, where each "shot" step writes the last frame shown as
// "shotNNN.png". After the last step the game goes on until it ends or 600 s
// of test clock have passed since the first frame.
//
// Exit status: the game's own (0 when it ended normally), 2 for a bad
// command line, 1 when the data folder cannot be entered, 3 when the test
// clock ran out (the game was asked to end). The log's last line is
// "exit status=N" with the same number.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/video_thread.h"
#include "tools/play/play_options.h"
#include "tools/play/player.h"

int main(int argc, char** argv)
{
    platform::catch_quit_signals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(play::Usage(), stdout);
        return 0;
    }
    play::Options options;
    std::string error;
    if (!play::ParseCommandLine(args, options, error)) {
        std::fprintf(stderr, "torvane-play: %s\n%s", error.c_str(), play::Usage());
        return 2;
    }
    // Screenshots go where the caller stands, not into the data folder.
    std::error_code ec;
    if (!options.shots.empty())
        options.shots = std::filesystem::absolute(options.shots, ec).string();
    // So do the files two plays meet by.
    for (play::Step& step : options.steps)
        if (!step.file.empty())
            step.file = std::filesystem::absolute(step.file, ec).string();
    if (!options.home.empty())
        setenv("TORVANE_HOME", std::filesystem::absolute(options.home, ec).c_str(), 1);
    std::filesystem::current_path(options.data, ec);
    if (ec) {
        std::fprintf(stderr, "torvane-play: cannot enter the data folder %s: %s\n", options.data.c_str(),
                     ec.message().c_str());
        return 1;
    }
    // No window needs to be seen, and no sound heard.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);

    play::Player player(options, std::cout);
    return play::Play(player);
}
