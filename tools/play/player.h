#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/play_seam.h"
#include "platform/input_events.h"
#include "tools/play/play_options.h"
#include "tools/racesim/race_sim.h"

class Race;
class RiderStateListener;

// The headless player: the game's seam (app/play_seam.h) that moves the
// test clock on by one frame wherever a menu or race frame would wait for
// the display, takes the next step of the play there, and writes one log
// line for each thing the game does:
//
//   screen set=NAME state=N name=NAME   a screen came up
//   focus name=NAME                     the focus moved
//   race track=NAME session=N riders=N laps=N
//                                       a race began
//   pos=... (the race runner's lines)   its classification, when it ended,
//   race end                            and its end
//   error TEXT                          a message the game showed
//   shot file=PATH | shot error=TEXT    a "shot" step
//   bike speed=S laps=N out=0|1 sprocket=N crown=N gear1=R overall1=R
//   bike none                           a "bike" step: the player's bike of
//                                       the running race (speed m/s, the
//                                       set-up's gearing the simulation
//                                       rides), or none
//   chat TEXT                           a line of the network lobby's chat
//                                       or its notices
//   hash=H                              a network race's state, when it ended
//   timeout s=N                         the test clock ran out
//   exit status=N                       last: the play's exit status
namespace play {

// The log's lines, as written.
std::string ScreenLine(const char* set, std::int32_t state, const char* name);
std::string FocusLine(const char* name);
std::string RaceLine(const char* track, std::int32_t session, std::int32_t riders, std::int32_t laps);
// The message's lines joined by spaces: one log line per message.
std::string ErrorLine(const std::string& text);
std::string ExitLine(int status);
// The player's (the first human) bike of `race`, or "bike none".
std::string BikeLine(const Race* race);

// The play's exit status when the test clock ran out.
inline constexpr int kTimeoutStatus = 3;

class Player : public PlaySeam {
public:
    Player(const Options& options, std::ostream& log);
    ~Player() override;
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    void MenuFrame() override;
    void RaceFrame() override;
    bool DrawRace() const override;
    void ScreenShown(const char* set, std::int32_t state, const char* name) override;
    void FocusMoved(const char* name) override;
    void RaceStarted(const char* track, std::int32_t session, std::int32_t riders, std::int32_t laps) override;
    void RaceEnded() override;

    // The game has ended with `gameStatus`: the messages not yet logged and
    // the exit line are written; the play's exit status is returned (the
    // game's, or kTimeoutStatus when the test clock ran out).
    int Finish(int gameStatus);

    bool TimedOut() const { return m_timedOut; }
    // Steps not yet taken.
    std::size_t StepsLeft() const { return m_options.steps.size() - m_next; }

private:
    void Frame(racesim::FrameClock& clock);
    void TakeStep();
    void TakeShot();
    void ReportMessages();
    void ReportChat();
    void Line(const std::string& line);
    std::uint32_t Elapsed() const;

    Options m_options;
    std::ostream& m_log;
    racesim::FrameClock m_menuClock;
    racesim::FrameClock m_raceClock;
    bool m_started = false;
    std::uint32_t m_start = 0;
    std::size_t m_next = 0;
    // A key or button that went down on the last frame goes up on this one.
    std::optional<platform::InputEvent> m_release;
    // A wait step: its start and length in ms.
    std::uint32_t m_waitStart = 0;
    std::uint32_t m_waitMs = 0;
    std::size_t m_messagesReported = 0;
    // The network lobby's chat and notices already logged.
    std::size_t m_chatReported = 0;
    // An await step: the file waited for.
    std::string m_awaiting;
    int m_shots = 0;
    bool m_timedOut = false;
    // The race being run: which bikes had crossed the line after the last
    // frame, and their incidents while it runs.
    std::vector<bool> m_finished;
    std::unique_ptr<racesim::IncidentCounter> m_incidents;
    RiderStateListener* m_previousListener = nullptr;
};

// Runs the game (its program-wide objects and WinMain, as the program's main
// does) in the working folder with `player` installed as its seam, the
// message boxes recorded and the test clock set; the play's exit status.
int Play(Player& player);

} // namespace play
