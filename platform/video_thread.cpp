#include "platform/video_thread.h"

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include <SDL.h>

#include "platform/cursor.h"
#include "platform/joystick.h"
#include "platform/native_event.h"
#include "platform/native_window.h"
#include "platform/window_system.h"

namespace platform {
namespace {

using Task = std::function<void()>;
using Clock = std::chrono::steady_clock;

enum class State { Stopped, Starting, Running, Stopping };

// How long the thread sleeps between two looks at SDL's events when no work
// is handed to it.
constexpr std::chrono::milliseconds kPumpInterval{4};

struct VideoThread {
    std::mutex mutex;
    std::condition_variable wake;    // work for the thread, or stop
    std::condition_variable changed; // state changes, for starters and waiters
    std::deque<Task> tasks;
    State state = State::Stopped;
    std::thread thread;
    std::thread::id thread_id;
    std::string driver;
    std::string start_error;
};

// Never destroyed: the thread may still be looking at it while the program's
// static objects go away.
VideoThread& video()
{
    static VideoThread* instance = new VideoThread;
    return *instance;
}

// Quit requests: signals and request_quit() count up; the video thread
// answers each new request once a window exists.
std::atomic<int> g_quit_requests{0};
std::atomic<int> g_quit_signals{0};
int g_quit_requests_answered = 0; // video thread only

void on_quit_signal(int signal_number)
{
    if (g_quit_signals.fetch_add(1) > 0) {
        std::signal(signal_number, SIG_DFL);
        std::raise(signal_number);
        return;
    }
    g_quit_requests.fetch_add(1);
}

void answer_quit_requests()
{
    const int requests = g_quit_requests.load();
    if (requests == g_quit_requests_answered)
        return;
    NativeEvent quit;
    quit.kind = NativeEventKind::Quit;
    if (deliver_native_event(quit))
        g_quit_requests_answered = requests;
}

void set_sdl_hints()
{
    // Signals are ours (catch_quit_signals); a closed window is a WM_CLOSE to
    // the program, never an implicit end of the session.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // Frames are finished pictures copied into the window's own surface; no
    // 3D renderer (and its driver libraries) is needed for that.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
}

bool is_offscreen_driver(const std::string& driver)
{
    return driver == "offscreen" || driver == "dummy";
}

bool start_sdl_video(std::string& driver, std::string& error)
{
    set_sdl_hints();
    std::string first_error;
    if (SDL_Init(SDL_INIT_VIDEO) == 0) {
        driver = SDL_GetCurrentVideoDriver();
    } else {
        first_error = SDL_GetError();
        SDL_Quit();
        set_sdl_hints();
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "offscreen", SDL_HINT_OVERRIDE);
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            error = "cannot start video: " + first_error + "; offscreen: " + SDL_GetError();
            SDL_Quit();
            return false;
        }
        driver = SDL_GetCurrentVideoDriver();
    }
    // SDL may also have settled on its offscreen driver by itself when no
    // display answered; either way, say so unless it was asked for.
    const char* requested = std::getenv("SDL_VIDEODRIVER");
    if (is_offscreen_driver(driver) && !(requested && driver == requested))
        std::fprintf(stderr, "No display%s%s: the window is drawn offscreen.\n", first_error.empty() ? "" : ": ",
                     first_error.c_str());
    return true;
}

void thread_main()
{
    VideoThread& v = video();
    std::string driver, error;
    const bool started = start_sdl_video(driver, error);
    {
        std::lock_guard<std::mutex> lock(v.mutex);
        v.driver = started ? driver : std::string();
        v.start_error = error;
        v.state = started ? State::Running : State::Stopped;
    }
    v.changed.notify_all();
    if (!started)
        return;

    native::apply_cursor_visibility(cursor_display_count() >= 0);

    for (;;) {
        std::deque<Task> batch;
        bool stopping = false;
        {
            std::unique_lock<std::mutex> lock(v.mutex);
            v.wake.wait_for(lock, kPumpInterval,
                            [&] { return !v.tasks.empty() || v.state == State::Stopping; });
            batch.swap(v.tasks);
            stopping = v.state == State::Stopping;
        }
        for (Task& task : batch)
            task();
        if (stopping)
            break;
        native::pump_events();
        answer_quit_requests();
    }

    close_joysticks_on_video_thread();
    native::destroy_all();
    SDL_Quit();
    {
        std::lock_guard<std::mutex> lock(v.mutex);
        v.tasks.clear(); // work handed over while stopping is not done; its waiters see the stop
        v.driver.clear();
        v.state = State::Stopped;
    }
    v.changed.notify_all();
}

// Completion of one task run for a waiting caller.
struct Completion {
    std::mutex mutex;
    std::condition_variable done_changed;
    bool done = false;
};

} // namespace

bool start_video_thread(std::string* error)
{
    VideoThread& v = video();
    std::unique_lock<std::mutex> lock(v.mutex);
    // A thread that is stopping is waited for, then started afresh.
    v.changed.wait_for(lock, kVideoWaitLimit, [&] { return v.state != State::Stopping; });
    if (v.state == State::Running)
        return true;
    if (v.state == State::Starting) {
        v.changed.wait_for(lock, kVideoWaitLimit, [&] { return v.state != State::Starting; });
    } else if (v.state == State::Stopped) {
        if (v.thread.joinable())
            v.thread.join(); // a thread whose start failed has returned
        v.state = State::Starting;
        v.start_error.clear();
        static bool exit_hook = (std::atexit([] { shutdown_video_thread(); }), true);
        (void)exit_hook;
        try {
            v.thread = std::thread(thread_main);
            v.thread_id = v.thread.get_id();
        } catch (const std::system_error& e) {
            v.state = State::Stopped;
            if (error)
                *error = std::string("cannot start the video thread: ") + e.what();
            return false;
        }
        if (!v.changed.wait_for(lock, kVideoWaitLimit, [&] { return v.state != State::Starting; })) {
            if (error)
                *error = "the video thread did not start in time";
            return false;
        }
    }
    if (v.state != State::Running) {
        if (error)
            *error = v.start_error.empty() ? "the video thread is not running" : v.start_error;
        return false;
    }
    return true;
}

void shutdown_video_thread()
{
    VideoThread& v = video();
    if (on_video_thread())
        return;
    std::thread thread;
    {
        std::unique_lock<std::mutex> lock(v.mutex);
        v.changed.wait_for(lock, kVideoWaitLimit, [&] { return v.state != State::Starting; });
        if (v.state == State::Running)
            v.state = State::Stopping;
        thread = std::move(v.thread);
    }
    v.wake.notify_all();
    if (thread.joinable())
        thread.join();
    reset_window_system();
}

bool video_thread_running()
{
    VideoThread& v = video();
    std::lock_guard<std::mutex> lock(v.mutex);
    return v.state == State::Running;
}

bool on_video_thread()
{
    VideoThread& v = video();
    std::lock_guard<std::mutex> lock(v.mutex);
    return v.state != State::Stopped && std::this_thread::get_id() == v.thread_id;
}

std::string video_driver_name()
{
    VideoThread& v = video();
    std::lock_guard<std::mutex> lock(v.mutex);
    return v.driver;
}

bool video_is_offscreen()
{
    VideoThread& v = video();
    std::lock_guard<std::mutex> lock(v.mutex);
    return v.state == State::Running && is_offscreen_driver(v.driver);
}

bool post_to_video_thread(std::function<void()> task)
{
    VideoThread& v = video();
    {
        std::lock_guard<std::mutex> lock(v.mutex);
        if (v.state != State::Running)
            return false;
        v.tasks.push_back(std::move(task));
    }
    v.wake.notify_one();
    return true;
}

bool run_on_video_thread(std::function<void()> task, std::chrono::milliseconds limit)
{
    if (on_video_thread()) {
        task();
        return true;
    }
    auto completion = std::make_shared<Completion>();
    const bool posted = post_to_video_thread([task = std::move(task), completion] {
        task();
        {
            std::lock_guard<std::mutex> lock(completion->mutex);
            completion->done = true;
        }
        completion->done_changed.notify_all();
    });
    if (!posted)
        return false;

    // Waits in short slices so that a thread that stops without running the
    // task ends the wait too.
    const auto deadline = Clock::now() + limit;
    std::unique_lock<std::mutex> lock(completion->mutex);
    for (;;) {
        if (completion->done_changed.wait_for(lock, std::chrono::milliseconds(20),
                                              [&] { return completion->done; }))
            return true;
        if (!video_thread_running())
            return completion->done;
        if (limit.count() >= 0 && Clock::now() >= deadline)
            return false;
    }
}

void catch_quit_signals()
{
    struct sigaction action = {};
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void request_quit()
{
    g_quit_requests.fetch_add(1);
}

} // namespace platform
