// torvane-racesim: loads a race from a data folder and runs it headless to
// its end, then prints the classification and a summary line.
//
//   torvane-racesim [--data DIR] [--track NAME] [--session N] [--riders N]
//                   [--laps N] [--seed N] [--frame-time S] [--skill N]
//                   [--weather N] [--time-limit S] [--sound DRIVER]
//                   [--sound-record FILE] [--camera N]
//                   [--render-dir DIR [--render-every S] [--render-type hw|sw]
//                    [--size WxH]]
//                   [--replay-save FILE] [--input-script FILE]
//                   [--net-host PORT | --net-join HOST:PORT] [--net-faults N]
//   torvane-racesim [--data DIR] --replay-play FILE [--frame-time S] [...]
//   torvane-racesim --help
//
// --sound runs the race with its sounds on SDL's audio driver DRIVER
// ("dummy" plays nothing and needs no sound card; "default" lets SDL
// choose) and prints a line about the sound after the summary.
// --sound-record mixes the race's sound in race time, playing nothing, and
// writes it to FILE (a 16-bit stereo ".wav") when the run ends.
// --camera watches the race in camera mode N (0..8) once it follows a bike.
// --render-dir draws the race through the game's renderer in a hidden
// window, on the 3D device (hw, the default) or the game's own rasteriser
// (sw), at WxH (640x480), and writes a screenshot "frameNNNNNN.bmp" of the
// frame into DIR every S seconds of run time (1; 0: every frame); the
// screenshots written are listed after the summary.
// --replay-save records the race and writes it to the ".rpl" FILE when the
// run ends (which it does once the viewed bike has finished); --replay-play
// plays such a file back instead of the race the options describe, and
// prints the classification and hash of the race that made it (no results
// are filed); with either the race's random stream is seeded from its
// header and --seed is not used. --input-script drives the first rider as a
// human from a text file of timed controls ("t steer throttle brake
// [gear]", tools/racesim/input_script.h). Both replay options print a line
// "replay-frames=N" after the summary.
//
// --net-host hosts a network race on PORT (0: a free port; stderr says
// "net-port=N" as soon as it listens) and waits for another runner to join
// with --net-join; the host's options make the race (a race over laps, at
// least 2 riders), which the joining runner takes. Each drives its own
// player's rider (the host rider 0, the other rider 1) with scripted
// controls through the lockstep exchange; both print the same lines, and
// after them "second=N hash=H" for every simulated second of racing.
// --net-faults N drops one unguaranteed send in N and sends one in 2N
// twice (a test of the exchange).
//
// Exit status: 0 when the race ran to its end (and for --help), 1 when it
// could not be loaded (the load's message on the error output), 2 for a bad
// command line, 3 when a rider's state stopped being finite (the run ends
// there; its classification is still printed), 4 when the race could not be
// drawn (the display did not open, or a screenshot could not be written;
// the run ends there), 5 when the network race could not be set up, 6 when
// the replay could not be written.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "net/net_session.h"
#include "tools/racesim/race_net.h"
#include "tools/racesim/race_sim.h"

namespace {

void Usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: torvane-racesim [--data DIR] [--track NAME] [--session N] [--riders N] [--laps N]\n"
                 "                       [--seed N] [--frame-time S] [--skill N] [--weather N] [--time-limit S]\n"
                 "                       [--sound DRIVER] [--sound-record FILE] [--camera N]\n"
                 "                       [--render-dir DIR [--render-every S] [--render-type hw|sw] [--size WxH]]\n"
                 "                       [--replay-save FILE] [--input-script FILE] | [--replay-play FILE]\n"
                 "                       [--net-host PORT | --net-join HOST:PORT] [--net-faults N]\n");
}

// The demo data beside the program (build/data for build/torvane-racesim).
std::string DemoDataFolder(const char* argv0)
{
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        self = std::filesystem::absolute(argv0, ec);
    return (self.parent_path() / "data").string();
}

bool ParseInt(const char* text, long lo, long hi, int& out)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < lo || v > hi)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool ParseSeed(const char* text, std::uint32_t& out)
{
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (!*text || *end || *text == '-' || v > 0xFFFFFFFFull)
        return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

bool ParseDouble(const char* text, double lo, double hi, double& out)
{
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (!*text || *end || !(v >= lo && v <= hi))
        return false;
    out = v;
    return true;
}

// A track name the race header holds whole (a longer one would be cut and
// name another track).
bool SetTrack(const char* text, std::string& out)
{
    const std::size_t most = racesim::MaxTrackNameLength();
    if (!*text || std::strlen(text) > most) {
        std::fprintf(stderr, "torvane-racesim: the track name \"%s\" is %s; track names have 1 to %zu characters\n",
                     text, *text ? "too long" : "empty", most);
        return false;
    }
    out = text;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    racesim::Options options;
    options.data = DemoDataFolder(argv[0]);
    int netHost = -1;
    int netFaults = 0;
    std::string netJoin;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            Usage(stderr);
            return 2;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (arg == "--data")
            options.data = value;
        else if (arg == "--track")
            ok = SetTrack(value, options.track); // which says why it refuses
        else if (arg == "--session")
            ok = ParseInt(value, 0, 6, options.session);
        else if (arg == "--riders")
            ok = ParseInt(value, 0, 32, options.riders);
        else if (arg == "--laps")
            ok = ParseInt(value, 1, 99, options.laps);
        else if (arg == "--skill")
            ok = ParseInt(value, 0, 3, options.skill);
        else if (arg == "--weather")
            ok = ParseInt(value, 0, 2, options.weather);
        else if (arg == "--seed")
            ok = ParseSeed(value, options.seed);
        else if (arg == "--frame-time")
            ok = ParseDouble(value, 0.001, 1.0, options.frame_time);
        else if (arg == "--time-limit")
            ok = ParseDouble(value, 1.0, 1.0e6, options.time_limit);
        else if (arg == "--camera")
            ok = ParseInt(value, 0, 8, options.camera);
        else if (arg == "--render-dir") {
            options.render.dir = value;
            ok = *value != '\0';
        }
        else if (arg == "--render-every")
            ok = ParseDouble(value, 0.0, 1.0e6, options.render.every);
        else if (arg == "--render-type")
            ok = racesim::ParseRenderType(value, options.render.type);
        else if (arg == "--size")
            ok = racesim::ParseSize(value, options.render.width, options.render.height);
        else if (arg == "--replay-save" || arg == "--replay-play" || arg == "--input-script") {
            std::string& path = arg == "--replay-save"   ? options.replay_save
                                : arg == "--replay-play" ? options.replay_play
                                                         : options.input_script;
            path = value;
            ok = *value != '\0';
        }
        else if (arg == "--net-host")
            ok = ParseInt(value, 0, 65535, netHost);
        else if (arg == "--net-join") {
            netJoin = value;
            ok = !netJoin.empty();
        } else if (arg == "--net-faults")
            ok = ParseInt(value, 2, 1000, netFaults);
        else if (arg == "--sound-record") {
            options.sound = true;
            options.sound_record = value;
        } else if (arg == "--sound") {
            options.sound = true;
            if (std::strcmp(value, "default") != 0)
                setenv("SDL_AUDIODRIVER", value, 1);
        }
        else
            ok = false;
        if (!ok) {
            if (arg != "--track")
                std::fprintf(stderr, "torvane-racesim: bad option %s %s\n", arg.c_str(), value);
            Usage(stderr);
            return 2;
        }
    }

    if (!options.replay_play.empty() && (!options.replay_save.empty() || !options.input_script.empty())) {
        std::fprintf(stderr, "torvane-racesim: --replay-play plays a recorded race; it takes no --replay-save or "
                             "--input-script\n");
        Usage(stderr);
        return 2;
    }
    std::error_code ec;
    if (!options.data.empty() && !std::filesystem::is_directory(options.data, ec)) {
        std::fprintf(stderr, "torvane-racesim: no data folder %s\n", options.data.c_str());
        return 1;
    }
    if (netHost >= 0 && !netJoin.empty()) {
        std::fprintf(stderr, "torvane-racesim: --net-host and --net-join exclude each other\n");
        Usage(stderr);
        return 2;
    }
    if ((netHost >= 0 || !netJoin.empty()) &&
        (!options.replay_play.empty() || !options.replay_save.empty() || !options.input_script.empty())) {
        // A network race's riders are driven through the lockstep exchange.
        std::fprintf(stderr, "torvane-racesim: a network race takes no --replay-save, --replay-play or "
                             "--input-script\n");
        Usage(stderr);
        return 2;
    }
    if (netHost >= 0 && (options.session < 3 || options.riders < 2)) {
        std::fprintf(stderr, "torvane-racesim: a network race is a race over laps with 2 riders or more\n");
        return 2;
    }
    racesim::NetPlay net;
    if (netHost >= 0 || !netJoin.empty()) {
        constexpr std::uint32_t kWaitMs = 60000;
        std::string error;
        const bool ok = netHost >= 0 ? racesim::HostNetRace(static_cast<std::uint16_t>(netHost), kWaitMs, options,
                                                            net,
                                                            [](std::uint16_t port) {
                                                                std::fprintf(stderr, "net-port=%u\n", port);
                                                                std::fflush(stderr);
                                                            },
                                                            error)
                                     : racesim::JoinNetRace(netJoin, kWaitMs, options, net, error);
        if (!ok) {
            std::fprintf(stderr, "torvane-racesim: the network race could not be set up: %s\n", error.c_str());
            return 5;
        }
        if (netFaults > 0)
            net.session->Transport().SetSendFilter([netFaults](std::uint64_t index) {
                const std::uint64_t h = (index * 0x9E3779B97F4A7C15ull) >> 40;
                if (h % static_cast<std::uint64_t>(netFaults) == 0)
                    return 0;
                return h % static_cast<std::uint64_t>(2 * netFaults) == 1 ? 2 : 1;
            });
        options.net = &net;
    }
    racesim::Result result;
    try {
        result = racesim::Run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "torvane-racesim: %s\n", e.what());
        return 1;
    }
    if (!result.loaded && !result.render_error.empty()) {
        std::fprintf(stderr, "torvane-racesim: the race could not be drawn: %s\n", result.render_error.c_str());
        return 4;
    }
    if (!result.loaded) {
        std::fprintf(stderr, "torvane-racesim: the race could not be loaded: %s\n", result.error.c_str());
        return 1;
    }
    if (result.time_limit_reached)
        std::fprintf(stderr, "torvane-racesim: the time limit ended the race; %d riders had not finished\n",
                     result.unfinished);
    for (const racesim::RiderLine& line : result.riders)
        std::printf("%s\n", racesim::FormatRider(line).c_str());
    std::printf("%s\n", racesim::FormatSummary(result).c_str());
    if (!result.sound.empty())
        std::printf("%s\n", result.sound.c_str());
    for (const std::string& shot : result.screenshots)
        std::printf("screenshot=%s\n", shot.c_str());
    if (!options.replay_save.empty() || !options.replay_play.empty())
        std::printf("replay-frames=%d\n", result.replay_frames);
    for (const auto& [frame, hash] : result.second_hashes)
        std::printf("second=%lld hash=%016llx\n", frame, static_cast<unsigned long long>(hash));
    if (!result.non_finite.empty()) {
        std::fprintf(stderr, "torvane-racesim: the state of %s stopped being finite at %.3f s; the run ended there\n",
                     result.non_finite.c_str(), result.non_finite_time);
        return 3;
    }
    if (!result.render_error.empty()) {
        std::fprintf(stderr, "torvane-racesim: the race could not be drawn: %s\n", result.render_error.c_str());
        return 4;
    }
    if (!result.replay_error.empty()) {
        std::fprintf(stderr, "torvane-racesim: %s\n", result.replay_error.c_str());
        return 6;
    }
    return 0;
}
