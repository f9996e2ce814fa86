#pragma once

#include <functional>
#include <span>
#include <vector>

#include "champ/championship.h"
#include "race/race_results.h"

class GameApp;
class Race;

// The race run loop (the program's GameApp::RunRace): runs one race from its
// creation to its results, with its restarts, and deletes it.
//
//  1. The run marker becomes 0xABCD.
//  2. A race outside the front end sizes the window for 640 x 480 and sets
//     up the renderer itself (a failure returns at once), and the player
//     template becomes the only player when it names a rider. A practice
//     session (0..2) started from the front end shows no loading screen.
//  3. Unless the race flags say "no loading screen", the loading-screen
//     thread starts (app/startup/loading_screen.h).
//  4. The input's mode word is cleared; the replays take the application's
//     race header as their race description for the run; a replay the
//     menus chose is loaded (its header and players become the race's; one
//     that cannot be loaded is said so in a message box and no race runs);
//     the quit byte is cleared (it stays set when the main window has gone:
//     no race runs without its window), the set-up sheet's flag is cleared,
//     and the input takes the window. A race outside the front end starts
//     the sound library with the "Sound" setting on (when it is not yet)
//     and gives it the volume settings (menu/run_loop_sound.h); in the
//     front end the menus have.
//  5. The race is created, with the in-race menu of its practice-type
//     sessions (the main menu set run as "Menu" with the in-race flags,
//     starting where the game mode and session lead), and loaded. A race that cannot be created or
//     loaded (the load has shown why) stops the loading screen, is deleted,
//     and the run returns to its caller.
//  6. With the loading screen running, "gfx\Loading\loading.pcx" is loaded
//     (a failure is handled like a failed load), the thread is stopped, and
//     the picture is shown once.
//  7. Unless the race flags say "no loading screen": the window is sized for
//     the race's resolution and the race starts its display.
//  8. A replay loaded from a file makes the race a replay.
//  9. At each run: the input's pause is cleared, the replay is freed unless
//     the race is one (a fresh recording begins), the music starts, the
//     championship's event times go to the bikes, the players of a network
//     game meet, the input begins the race (the quit byte is set when it
//     cannot), and the race begins.
// 10. Frames until the quit byte is set or the race's fade is complete:
//     clear, at most one window message, draw, overlay, update, present (no
//     clearing, message or present while the race is suspended); a failed
//     clear or present ends the frames. With a play seam installed
//     (app/play_seam.h) the seam is told when each run has begun and, once
//     its riders are classified (step 12), that it has ended; its frame call
//     follows each frame, and while it says not to draw the scene is not
//     drawn and nothing is cleared or presented (the overlay still runs).
// 11. One black frame, unless the race was started straight from a menu
//     command.
// 12. The unfinished riders are classified; the application's player result
//     says whether the first human rider finished.
// 13. From the front end, outside a demo run and a watched replay: the
//     results go into the championship, and the player's result into the
//     arcade records (session 6) or the simulation records (sessions 4, 5).
// 14. The input ends the race; the race runs again (from 9, without
//     reloading) while it asks for a restart and the quit byte is clear.
// 15. The input's targets go, the replay is freed, the race is deleted.
void RunRaceLoop(GameApp& app);

// The same, calling `afterFrame` with the race after each frame of the frame
// loop (after present): a test steps its clock and queues race commands
// there.
using RaceFrameObserver = std::function<void(Race&)>;
void RunRaceLoop(GameApp& app, const RaceFrameObserver& afterFrame);


// Before a run: the championship's times of the event (time B of the
// qualifying or practice results) go to the bikes' best laps.
void ApplyEventTimes(Race& race, const GameApp& app);
