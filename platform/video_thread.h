#pragma once

#include <chrono>
#include <functional>
#include <string>

// The video thread: SDL's video, its windows and its event pump live on this
// one thread. Other threads never touch SDL; they hand it work and, where
// they need an answer, wait for it with a bound.
//
// It starts with the first window (or explicitly) and ends explicitly at the
// end of the program: shutdown_video_thread() destroys the windows, forgets
// the window classes and queued messages, shuts SDL down and joins the
// thread. It may be started again afterwards.
//
// When SDL's video cannot start with its default driver (no display), the
// thread falls back to SDL's "offscreen" driver, so that the program still
// runs and presents frames nobody sees.
namespace platform {

// Starts the thread if it is not running and waits (bounded) until SDL's
// video is up. False, with the reason in `error`, when no driver starts.
bool start_video_thread(std::string* error = nullptr);

// Ends the thread as described above. Does nothing when it is not running.
// Must not be called from the video thread itself.
void shutdown_video_thread();

bool video_thread_running();
bool on_video_thread();

// The SDL video driver in use ("x11", "wayland", "offscreen"); empty when
// the thread is not running.
std::string video_driver_name();
// True while the thread runs on SDL's offscreen (or dummy) driver, asked for
// or fallen back to: nothing it shows can be seen.
bool video_is_offscreen();

inline constexpr std::chrono::milliseconds kVideoWaitLimit{10000};
// A wait with no time limit: it still ends when the thread stops.
inline constexpr std::chrono::milliseconds kVideoNoTimeLimit{-1};

// Runs `task` on the video thread and waits for it to finish. Runs it at once
// when called on the video thread. False, with the task not run or not
// finished, when the thread is not running, stops meanwhile or does not
// answer in time.
bool run_on_video_thread(std::function<void()> task, std::chrono::milliseconds limit = kVideoWaitLimit);

// Queues `task` for the video thread without waiting. False when the thread
// is not running.
bool post_to_video_thread(std::function<void()> task);

// Makes SIGINT and SIGTERM ask the program to end: the video thread turns the
// request into WM_QUIT for every window (held until a window exists). A
// second signal while the first is still unanswered ends the program at once
// the default way. Call it first thing in main.
void catch_quit_signals();

// Asks the program to end as a quit signal does.
void request_quit();

} // namespace platform
