#include "app/game_app.h"
#include "input/input_manager.h"
#include "race/race.h"

// The race keys, once per frame: Escape skips the start sequence, pauses,
// acknowledges the finish or ends a network race; F11 switches the engine's
// option and F12 saves a screenshot.

namespace {

// Key numbers of the main keyboard.
constexpr int kKeyEscape = 0x01;
constexpr int kKeyF11 = 0x57;

// While any of these messages is up (pause, race menu, confirmation),
// Escape belongs to the overlay's menus.
constexpr std::uint32_t kHudMenus = kHudRaceMenu | kHudStartSequence | kHudConfirm;

} // namespace

void Race::HandleKeys()
{
    InputManager* input = TheInputManager();
    if (!input)
        return;
    Hud& hud = GetHud();
    const bool escape = input->KeyPressed(kKeyEscape);
    Bike* viewed = ViewedBike();

    if (AttractRun()) {
        if ((viewed && viewed->Laps >= 1) || escape)
            input->QueueRaceCommand(kRaceCommandEnd);
        return;
    }
    if (viewed && (viewed->Status & kBikeFinished)) {
        // Escape acknowledges the finish standings and opens the results.
        if (escape && hud.Test(kHudFinishStandings)) {
            hud.Raise(kHudResultsMenu);
            hud.Clear(kHudFinishStandings);
        }
        return;
    }
    if (!NetworkGame() && hud.Test(kHudStartSequence)) {
        const bool go = input->TargetCount() > 0 && input->Targets()[0].Block &&
                        input->Targets()[0].Block->Value[kControlAccelerator] > 0.5f;
        if (go || escape) {
            hud.Clear(kHudStartSequence);
            hud.EnableMessages(kHudOnboard | kHudTrackside);
            const bool distant = AttractRun() || (LiveFlags() & kRaceRestart);
            m_Camera.SetMode(distant ? kCameraTelevision : m_nCameraSetting);
            input->m_fRaceClock = kRaceClockCountdown;
            return;
        }
    }

    if (escape) {
        bool togglePause = false;
        if (NetworkGame()) {
            if (!(LiveFlags() & kRaceRacing))
                return;
            if (!(m_uRunFlags & kAppFlagNetworkHost))
                input->QueueRaceCommand(kRaceCommandLeave);
            else
                togglePause = true;
        } else if (hud.Test(kHudMenus)) {
            return;
        } else if (input->m_dwMode & kInputModePlayback) {
            if (hud.Messages() & kHudReplayPanel)
                hud.Clear(kHudReplayPanel);
            else
                hud.Raise(kHudReplayPanel);
        } else {
            togglePause = true;
        }
        if (!togglePause)
            return;
        input->m_bPaused = input->m_bPaused ? 0 : 1;
        if (input->m_bPaused) {
            hud.m_fDimTarget = 1.0f;
            hud.DisableMessages(kHudOnboard | kHudTrackside);
            hud.Raise((input->m_dwMode & kInputModePlayback) ? kHudRaceMenu : kHudPauseMenu);
        } else {
            hud.m_fDimTarget = 0.0f;
            hud.EnableMessages(kHudOnboard | kHudTrackside);
            hud.Clear(kHudPauseMenu | kHudRaceMenu);
        }
        return;
    }

    // F11 switches the engine's option (the race's engine context takes it
    // with the 3D data); F12 saves a screenshot, which needs the race's
    // display.
    if (input->KeyPressed(kKeyF11))
        m_uEngineOption ^= 1u;
}
