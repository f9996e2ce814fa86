#pragma once

#include <cstdint>

// The seam through which a headless player (tools/play) drives the game's
// own start-up, menus and races: the menu run loop and the race loop call
// it once per frame in place of waiting for the display, and tell it what
// the player would see. Without a seam installed (the game itself) every
// call point behaves as if it were not there.
class PlaySeam {
public:
    virtual ~PlaySeam() = default;

    // One menu pass is over: instead of sleeping to the display's next
    // frame, the player moves its test clock on and injects its next input.
    virtual void MenuFrame() = 0;
    // One race frame is about to run (same use as MenuFrame).
    virtual void RaceFrame() = 0;
    // False: the race runs without drawing its frames.
    virtual bool DrawRace() const = 0;

    // A screen of the menu set `set` came up at `state`.
    virtual void ScreenShown(const char* set, std::int32_t state, const char* name) = 0;
    // The focus moved to the element `name` of the shown screen.
    virtual void FocusMoved(const char* name) = 0;
    // A race begins (track name, session type, riders, laps) and ends.
    virtual void RaceStarted(const char* track, std::int32_t session, std::int32_t riders, std::int32_t laps) = 0;
    virtual void RaceEnded() = 0;
};

// The installed seam; null in the game itself.
PlaySeam* ThePlaySeam();
void SetPlaySeam(PlaySeam* seam);
