#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform/thread.h"

// The loading screen of a race: a second thread shows the track's loading
// picture and then an animated logo every 80 ms while the main thread loads
// the race. The two hand over through one byte, once to start and once to
// stop:
//   the run loop sets it to kLoadingRequest and starts the thread; the
//     thread draws the track picture and answers kLoadingAcknowledged;
//   the run loop sets kLoadingRequest again to stop it; the thread frees its
//     pictures and answers kLoadingAcknowledged before it ends.
// A thread that cannot load its pictures ends on its own and says so with
// kLoadingEnded; the run loop also watches the thread itself, so neither of
// its waits can last for ever. The byte is atomic: each side sees the
// other's writes, and what one side drew before answering is complete when
// the other goes on.
//
// Drawing goes through the renderer's back buffer and present(), which hands
// a copy of the frame to the video thread; the main thread draws nothing
// until the thread has answered its stop request.
inline constexpr std::uint8_t kLoadingAcknowledged = 0;
inline constexpr std::uint8_t kLoadingRequest = 1;
inline constexpr std::uint8_t kLoadingEnded = 2;

extern std::atomic<std::uint8_t> g_LoadingHandshake;

// The logo's frame counter: one step per loading-screen frame, never reset,
// so the animation goes on where the previous race's loading screen left it.
std::int32_t LoadingLogoFrame();

// The pictures, under "gfx\Loading\".
inline constexpr const char* kLoadingPicture = "gfx\\Loading\\loading.pcx";
inline constexpr const char* kLoadingLogo = "gfx\\Loading\\TvnLogo.pcx";
inline constexpr const char* kLoadingMask = "gfx\\Loading\\Mask_00.pcx";
// The track's own picture: "gfx\Loading\<track>.pcx".
std::string TrackLoadingPicture(const char* track);

// What the loading-screen thread shows, step by step. RunLoadingScreen, the
// thread's side of the handshake, drives it: the track's pictures do the
// real drawing, and a test's display can hold the thread at any step to
// force an order of events between the two threads.
class LoadingScreenDisplay {
public:
    virtual ~LoadingScreenDisplay() = default;
    // Loads what the screen shows. False: nothing is shown and the thread
    // ends (any failure has been reported).
    virtual bool Load() = 0;
    // Shows the first picture; the run loop is answered afterwards.
    virtual void ShowFirst() = 0;
    // Shows one frame of the animation and waits out the frame's time.
    virtual void ShowFrame() = 0;
    // Frees what Load loaded; the stop request is answered afterwards.
    virtual void Free() = 0;
};

// The thread's side of the handshake: loads (or ends with kLoadingEnded),
// shows the first picture, answers, shows frames until the stop request,
// frees and answers again.
void RunLoadingScreen(LoadingScreenDisplay& display);

// The thread's body: the loading screen of `track` (its pictures under
// "gfx\Loading\" and the animated logo), through RunLoadingScreen.
void LoadingScreenThread(const std::string& track);

// The run loop's side of the handshake.
class LoadingScreen {
public:
    // What the thread runs for a track; tests give their own body.
    using Body = std::function<void(const std::string& track)>;

    explicit LoadingScreen(Body body = LoadingScreenThread) : m_Body(std::move(body)) {}
    ~LoadingScreen() { Stop(); }
    LoadingScreen(const LoadingScreen&) = delete;
    LoadingScreen& operator=(const LoadingScreen&) = delete;

    // Starts the thread for the track and waits until it shows the track's
    // picture. False when the thread could not be started or ended without
    // showing it (it has been joined then).
    bool Start(const char* track);
    // The thread shows the loading screen and waits for its stop request.
    bool Running() const { return m_bRunning; }
    // Asks the thread to stop, waits for its answer (or its end) and joins
    // it. Nothing when it does not run.
    void Stop();

private:
    Body m_Body;
    platform::Thread m_Thread;
    bool m_bRunning = false;
};
