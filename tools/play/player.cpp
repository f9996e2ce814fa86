#include "tools/play/player.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/game_app.h"
#include "app/main_window.h"
#include "app/startup/program_objects.h"
#include "app/startup/win_main.h"
#include "menu/menu_manager.h"
#include "platform/clock.h"
#include "platform/atomic_file.h"
#include "platform/frame.h"
#include "platform/key_codes.h"
#include "platform/message_box.h"
#include "race/race.h"
#include "screens/multi_screens.h"
#include "sim/race_context.h"
#include "tests/support/png_image.h"

namespace play {

namespace {

// The test clock starts here and moves only by the frames.
constexpr std::uint32_t kClockStart = 1000;
// Past the time-out the game has been asked to end; a game still running
// this much later is not going to, and the play ends there.
constexpr std::uint32_t kQuitGraceMs = 60000;
// SDL's scan codes run below this.
constexpr int kScanCodeCount = 512;

// The physical key (SDL scan code) with this key number.
int ScanCodeOf(int key)
{
    for (int sc = 0; sc < kScanCodeCount; ++sc)
        if (platform::pc_scan_code_from_sdl_scancode(sc).key_number() == key)
            return sc;
    return 0;
}

std::uint32_t Milliseconds(double seconds)
{
    return static_cast<std::uint32_t>(std::llround(seconds * 1000.0));
}

} // namespace

std::string ScreenLine(const char* set, std::int32_t state, const char* name)
{
    return std::string("screen set=") + (set ? set : "") + " state=" + std::to_string(state) +
           " name=" + (name ? name : "");
}

std::string FocusLine(const char* name)
{
    return std::string("focus name=") + (name ? name : "");
}

std::string RaceLine(const char* track, std::int32_t session, std::int32_t riders, std::int32_t laps)
{
    return std::string("race track=") + (track ? track : "") + " session=" + std::to_string(session) +
           " riders=" + std::to_string(riders) + " laps=" + std::to_string(laps);
}

std::string ErrorLine(const std::string& text)
{
    std::string line = "error " + text;
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    return line;
}

std::string ExitLine(int status)
{
    return "exit status=" + std::to_string(status);
}

Player::Player(const Options& options, std::ostream& log)
    : m_options(options), m_log(log), m_menuClock(options.frame_time), m_raceClock(options.race_frame_time)
{
}

Player::~Player()
{
    if (m_incidents)
        CurrentRaceContext().StateListener = m_previousListener;
}

void Player::Line(const std::string& line)
{
    m_log << line << '\n' << std::flush;
}

void Player::ReportMessages()
{
    const std::vector<platform::ShownMessageBox> boxes = platform::recorded_message_boxes();
    if (boxes.size() < m_messagesReported)
        m_messagesReported = 0;
    for (; m_messagesReported < boxes.size(); ++m_messagesReported)
        Line(ErrorLine(boxes[m_messagesReported].text));
}

void Player::ReportChat()
{
    const std::vector<LobbyChatLine>& chat = TheMultiLobby().Lobby.Chat;
    if (chat.size() < m_chatReported)
        m_chatReported = 0;  // a new session's chat
    for (; m_chatReported < chat.size(); ++m_chatReported)
        Line("chat " + chat[m_chatReported].Text);
}

std::uint32_t Player::Elapsed() const
{
    return platform::elapsed_ms(m_start, platform::time_get_time());
}

void Player::MenuFrame()
{
    Frame(m_menuClock);
}

void Player::RaceFrame()
{
    if (const Race* race = TheGameApp().m_pRace) {
        m_finished.resize(static_cast<std::size_t>(std::max(race->RiderCount(), 0)), false);
        for (std::size_t i = 0; i < m_finished.size(); ++i)
            m_finished[i] = (race->m_pBikes[i].Status & kBikeFinished) != 0;
    }
    Frame(m_raceClock);
}

bool Player::DrawRace() const
{
    return !m_options.shots.empty();
}

void Player::Frame(racesim::FrameClock& clock)
{
    ReportMessages();
    ReportChat();
    if (!m_started) {
        // The play's time counts from its first frame (the start-up before
        // it does not move the test clock).
        m_started = true;
        m_start = platform::time_get_time();
    }
    clock.Next();
    const std::uint32_t limit = Milliseconds(m_options.time_limit);
    if (!m_timedOut && Elapsed() >= limit) {
        m_timedOut = true;
        Line("timeout s=" + std::to_string(Elapsed() / 1000));
    }
    if (m_timedOut) {
        // The game is asked to end on every frame (a race that starts
        // clears the quit byte); one that goes on long after never will.
        g_bQuit = 1;
        if (Elapsed() >= limit + kQuitGraceMs) {
            Line(ExitLine(kTimeoutStatus));
            std::_Exit(kTimeoutStatus);
        }
        return;
    }
    TakeStep();
}

void Player::TakeStep()
{
    if (m_release) {
        platform::inject_input_event(*m_release);
        m_release.reset();
        return;
    }
    if (!m_awaiting.empty()) {
        std::error_code ec;
        if (!std::filesystem::exists(m_awaiting, ec)) {
            // The other play has a moment of real time for each frame.
            platform::sleep_ms(5);
            return;
        }
        m_awaiting.clear();
    }
    if (platform::elapsed_ms(m_waitStart, platform::time_get_time()) < m_waitMs)
        return;
    m_waitMs = 0;
    if (m_next >= m_options.steps.size())
        return;
    const Step& step = m_options.steps[m_next++];
    platform::InputEvent event;
    switch (step.kind) {
    case Step::Kind::Key:
        event.type = platform::InputEventType::KeyDown;
        event.scancode = ScanCodeOf(step.key);
        platform::inject_input_event(event);
        event.type = platform::InputEventType::KeyUp;
        m_release = event;
        break;
    case Step::Kind::Hold:
    case Step::Kind::Let:
        event.type = step.kind == Step::Kind::Hold ? platform::InputEventType::KeyDown
                                                   : platform::InputEventType::KeyUp;
        event.scancode = ScanCodeOf(step.key);
        platform::inject_input_event(event);
        break;
    case Step::Kind::Click:
        // The pointer is put on the pixel, as a warp of the pointer would
        // (the menus move it by three pixels per unit of mouse movement, so
        // movement alone cannot reach every pixel); the left button goes
        // down there.
        g_nPointerX = step.x;
        g_nPointerY = step.y;
        event.type = platform::InputEventType::MouseButtonDown;
        event.button = 1;
        platform::inject_input_event(event);
        event.type = platform::InputEventType::MouseButtonUp;
        m_release = event;
        break;
    case Step::Kind::Wait:
        m_waitStart = platform::time_get_time();
        m_waitMs = Milliseconds(step.seconds);
        break;
    case Step::Kind::Shot:
        TakeShot();
        break;
    case Step::Kind::Signal:
        if (!platform::write_file_atomic(step.file, "signal\n", 7))
            Line("signal error=" + step.file);
        break;
    case Step::Kind::Await:
        m_awaiting = step.file;
        break;
    case Step::Kind::Bike:
        Line(BikeLine(TheGameApp().m_pRace));
        break;
    }
}

std::string BikeLine(const Race* race)
{
    if (race)
        for (int i = 0; i < race->RiderCount(); ++i) {
            const Bike& bike = race->m_pBikes[i];
            if (!bike.IsHuman())
                continue;
            char line[160];
            std::snprintf(line, sizeof line, "bike speed=%.2f laps=%d out=%d sprocket=%d crown=%d gear1=%.4f overall1=%.4f",
                          static_cast<double>(bike.Speed), bike.Laps, bike.IsOut() ? 1 : 0, bike.SprocketTeeth,
                          bike.CrownTeeth, static_cast<double>(bike.GearRatio[0]),
                          static_cast<double>(bike.OverallRatio[0]));
            return line;
        }
    return "bike none";
}

void Player::TakeShot()
{
    const std::optional<platform::PresentedFrame> frame = platform::last_presented_frame();
    if (!frame || frame->width <= 0 || frame->height <= 0) {
        Line("shot error=no frame has been shown");
        return;
    }
    torvane_test::PngImage image;
    image.width = frame->width;
    image.height = frame->height;
    image.indexed = false;
    image.pixels.reserve(frame->pixels.size() * 3);
    for (const std::uint32_t p : frame->pixels) {
        image.pixels.push_back(static_cast<std::uint8_t>(p >> 16));
        image.pixels.push_back(static_cast<std::uint8_t>(p >> 8));
        image.pixels.push_back(static_cast<std::uint8_t>(p));
    }
    std::error_code ec;
    std::filesystem::create_directories(m_options.shots, ec);
    char name[32];
    std::snprintf(name, sizeof name, "shot%03d.png", ++m_shots);
    const std::string path = (std::filesystem::path(m_options.shots) / name).string();
    std::string error;
    if (torvane_test::write_png(path, image, &error))
        Line("shot file=" + path);
    else
        Line("shot error=" + path + ": " + error);
}

void Player::ScreenShown(const char* set, std::int32_t state, const char* name)
{
    ReportMessages();
    Line(ScreenLine(set, state, name));
}

void Player::FocusMoved(const char* name)
{
    ReportMessages();
    Line(FocusLine(name));
}

void Player::RaceStarted(const char* track, std::int32_t session, std::int32_t riders, std::int32_t laps)
{
    ReportMessages();
    Line(RaceLine(track, session, riders, laps));
    m_finished.assign(static_cast<std::size_t>(std::max(riders, 0)), false);
    RiderStateListener*& listener = CurrentRaceContext().StateListener;
    if (!m_incidents)
        m_previousListener = listener;
    m_incidents = std::make_unique<racesim::IncidentCounter>(riders);
    listener = m_incidents.get();
}

void Player::RaceEnded()
{
    ReportMessages();
    GameApp& app = TheGameApp();
    if (app.m_pRace && m_incidents)
        for (const racesim::RiderLine& line : racesim::Classification(*app.m_pRace, app, m_finished, *m_incidents))
            Line(racesim::FormatRider(line));
    // A network race: the state every machine holds alike.
    if (app.m_pRace && m_incidents && (app.Flags & kAppFlagNetwork)) {
        char text[40];
        std::snprintf(text, sizeof text, "hash=%016llx",
                      static_cast<unsigned long long>(racesim::NetworkRaceHash(
                          *app.m_pRace, racesim::Classification(*app.m_pRace, app, m_finished, *m_incidents))));
        Line(text);
    }
    Line("race end");
    if (m_incidents) {
        CurrentRaceContext().StateListener = m_previousListener;
        m_incidents.reset();
    }
}

int Player::Finish(int gameStatus)
{
    ReportMessages();
    const int status = m_timedOut ? kTimeoutStatus : gameStatus;
    Line(ExitLine(status));
    return status;
}

int Play(Player& player)
{
    platform::set_message_box_recording(true);
    platform::set_test_clock(kClockStart);
    SetPlaySeam(&player);
    const int status = RunGuarded([] {
        ProgramObjects objects;
        return WinMain();
    });
    SetPlaySeam(nullptr);
    platform::clear_test_clock();
    return player.Finish(status);
}

} // namespace play
