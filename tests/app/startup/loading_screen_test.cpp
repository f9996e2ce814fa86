#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/startup/loading_screen.h"
#include "engine/render/render_device.h"
#include "platform/fault_seam.h"
#include "platform/frame.h"
#include "platform/sync_event.h"
#include "platform/video_thread.h"
#include "platform/window.h"

// The loading screen's handshake as the program runs it: LoadingScreen (the
// run loop's side) against RunLoadingScreen (the thread's side), with a
// display that holds the loading thread at a chosen step so that each order
// of events between the two threads is forced rather than left to timing.
namespace {

using platform::Event;

// Long enough for any step; a handshake that hangs fails the test instead.
constexpr std::uint32_t kLongWait = 10000;
constexpr std::uint32_t kWaitingWindow = 50;

// One step of the scripted display: it tells when the loading thread has
// reached it and, while it is held, keeps the thread there.
class Gate {
public:
    // Keeps the thread at this step until Open().
    void Hold() { open_.reset(); }
    void Open() { open_.set(); }

    void Pass()
    {
        reached_.set();
        EXPECT_TRUE(open_.wait(kLongWait)) << "a step was held for ever";
    }
    bool Reached() { return reached_.wait(kLongWait); }

private:
    Event reached_{Event::Reset::Manual};
    Event open_{Event::Reset::Manual, true};
};

// A display that draws nothing: it counts its steps and stops at each held
// gate.
class ScriptedDisplay : public LoadingScreenDisplay {
public:
    bool Load() override
    {
        load.Pass();
        return loads;
    }
    void ShowFirst() override
    {
        first.Pass();
        ++firsts;
    }
    void ShowFrame() override
    {
        frame.Pass();
        ++frames;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Free() override
    {
        free.Pass();
        ++frees;
    }

    LoadingScreen::Body Body()
    {
        return [this](const std::string& track) {
            EXPECT_EQ(track, "Sugo");
            ++runs;
            RunLoadingScreen(*this);
        };
    }

    bool loads = true;
    Gate load, first, frame, free;
    std::atomic<int> runs{0}, firsts{0}, frames{0}, frees{0};
};

// One call of the run loop's side on a thread of its own, so that the test
// can look at the handshake while the call waits.
class RunLoopCall {
public:
    explicit RunLoopCall(std::function<void()> call)
        : thread_([this, call = std::move(call)] {
              call();
              done_.set();
          })
    {
    }
    ~RunLoopCall() { thread_.join(); }

    // A call that must still wait is given this long to show that it does
    // not: the run loop looks at the handshake every millisecond or so.
    bool StillWaiting() { return !done_.wait(kWaitingWindow); }
    bool WaitReturned() { return done_.wait(kLongWait); }

private:
    Event done_{Event::Reset::Manual};
    std::thread thread_;
};

bool Eventually(const std::function<bool()>& condition)
{
    for (std::uint32_t waited = 0; waited < kLongWait; ++waited) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
}

class LoadingHandshakeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::clear_faults();
        g_LoadingHandshake.store(kLoadingAcknowledged);
    }
    void TearDown() override
    {
        platform::clear_faults();
        EXPECT_EQ(g_LoadingHandshake.load(), kLoadingAcknowledged) << "the handshake is left at rest";
    }
};

// The loading thread is still busy with its pictures when the run loop waits
// for it: the run loop goes on only once the first picture is up.
TEST_F(LoadingHandshakeTest, RunLoopWaitsForALoadingScreenThatIsSlowToShow)
{
    ScriptedDisplay display;
    display.load.Hold();
    display.first.Hold();
    LoadingScreen screen(display.Body());
    bool started = false;
    {
        RunLoopCall start([&] { started = screen.Start("Sugo"); });
        ASSERT_TRUE(display.load.Reached());
        EXPECT_TRUE(start.StillWaiting());
        EXPECT_EQ(g_LoadingHandshake.load(), kLoadingRequest);
        display.load.Open();
        ASSERT_TRUE(display.first.Reached());
        EXPECT_TRUE(start.StillWaiting()) << "answered before the first picture was up";
        display.first.Open();
        ASSERT_TRUE(start.WaitReturned());
    }
    EXPECT_TRUE(started);
    EXPECT_TRUE(screen.Running());
    EXPECT_EQ(g_LoadingHandshake.load(), kLoadingAcknowledged);
    EXPECT_EQ(display.firsts.load(), 1);

    // The logo animates until the race has loaded; then one stop.
    ASSERT_TRUE(Eventually([&] { return display.frames.load() >= 3; }));
    screen.Stop();
    EXPECT_FALSE(screen.Running());
    EXPECT_EQ(display.frees.load(), 1);
    const int frames = display.frames.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(display.frames.load(), frames) << "the thread drew after it was stopped";
}

// The loading screen is up and animating long before the race has loaded:
// the stop request comes while a frame is on its way. The thread finishes
// that frame, draws no other, frees its pictures, and only then lets the run
// loop draw.
TEST_F(LoadingHandshakeTest, StopRequestDuringAFrameEndsTheScreenAfterThatFrame)
{
    ScriptedDisplay display;
    display.frame.Hold();
    display.free.Hold();
    LoadingScreen screen(display.Body());
    ASSERT_TRUE(screen.Start("Sugo"));
    ASSERT_TRUE(display.frame.Reached());
    {
        RunLoopCall stop([&] { screen.Stop(); });
        ASSERT_TRUE(Eventually([] { return g_LoadingHandshake.load() == kLoadingRequest; }));
        EXPECT_TRUE(stop.StillWaiting()) << "the run loop went on while the thread still drew";
        EXPECT_EQ(display.frees.load(), 0);
        display.frame.Open();
        ASSERT_TRUE(display.free.Reached());
        EXPECT_TRUE(stop.StillWaiting()) << "the run loop went on before the pictures were freed";
        display.free.Open();
        ASSERT_TRUE(stop.WaitReturned());
    }
    EXPECT_EQ(display.frames.load(), 1);
    EXPECT_EQ(display.frees.load(), 1);
    EXPECT_FALSE(screen.Running());

    // The same object shows the next race's loading screen.
    ScriptedDisplay next;
    LoadingScreen again(next.Body());
    ASSERT_TRUE(again.Start("Sugo"));
    ASSERT_TRUE(Eventually([&] { return next.frames.load() >= 1; }));
    ASSERT_TRUE(again.Start("Sugo")); // a second start stops the first screen
    EXPECT_EQ(next.runs.load(), 2);
    EXPECT_EQ(next.frees.load(), 1);
}

// A loading screen that cannot load its pictures, fails while the run loop
// waits for it: the run loop learns it, the race goes on without it, and
// nothing is left to stop.
TEST_F(LoadingHandshakeTest, LoadingScreenThatFailsWhileTheRunLoopWaitsLetsTheRaceGoOn)
{
    ScriptedDisplay display;
    display.loads = false;
    display.load.Hold();
    LoadingScreen screen(display.Body());
    bool started = true;
    {
        RunLoopCall start([&] { started = screen.Start("Sugo"); });
        ASSERT_TRUE(display.load.Reached());
        EXPECT_TRUE(start.StillWaiting());
        display.load.Open();
        ASSERT_TRUE(start.WaitReturned());
    }
    EXPECT_FALSE(started);
    EXPECT_FALSE(screen.Running());
    EXPECT_EQ(display.firsts.load(), 0);
    EXPECT_EQ(display.frees.load(), 0);
    screen.Stop(); // nothing to stop
    EXPECT_EQ(display.runs.load(), 1);
}

// Threads that never answer cannot keep the run loop waiting: one that
// cannot be started, one that ends without answering the start, and one
// that answers the start but ends without answering the stop.
TEST_F(LoadingHandshakeTest, ThreadThatNeverAnswersCannotKeepTheRunLoopWaiting)
{
    std::atomic<int> runs{0};
    platform::fail_next(platform::Fault::ThreadCreate);
    {
        LoadingScreen screen([&](const std::string&) { ++runs; });
        EXPECT_FALSE(screen.Start("Sugo"));
        EXPECT_FALSE(screen.Running());
        EXPECT_EQ(g_LoadingHandshake.load(), kLoadingAcknowledged);
    }
    EXPECT_EQ(runs.load(), 0);

    {
        LoadingScreen screen([&](const std::string&) { ++runs; });
        EXPECT_FALSE(screen.Start("Sugo"));
        EXPECT_FALSE(screen.Running());
        EXPECT_EQ(g_LoadingHandshake.load(), kLoadingAcknowledged);
    }
    EXPECT_EQ(runs.load(), 1);

    Gate ended;
    ended.Hold();
    {
        LoadingScreen screen([&](const std::string&) {
            g_LoadingHandshake.store(kLoadingAcknowledged);
            ended.Pass();
        });
        ASSERT_TRUE(screen.Start("Sugo"));
        ended.Open(); // the thread ends with the screen still up
        RunLoopCall stop([&] { screen.Stop(); });
        EXPECT_TRUE(stop.WaitReturned());
        EXPECT_FALSE(screen.Running());
    }
}

// A loading screen still up when its owner goes (the race could not be
// made) is stopped and joined.
TEST_F(LoadingHandshakeTest, LoadingScreenStillUpIsStoppedByItsOwner)
{
    ScriptedDisplay display;
    {
        LoadingScreen screen(display.Body());
        ASSERT_TRUE(screen.Start("Sugo"));
    }
    EXPECT_EQ(display.frees.load(), 1);
}

// Both threads draw through the one renderer, as the race run loop and the
// loading screen do: the loading thread draws and presents frames until the
// run loop's stop request is answered, the run loop draws before it starts
// the screen and as soon as Stop returns. A drawer that finds the other one
// drawing records an overlap; none may happen, round after round.
class DrawingDisplay : public LoadingScreenDisplay {
public:
    DrawingDisplay(render_device& renderer, std::atomic<int>& drawing, std::atomic<bool>& overlap)
        : renderer_(renderer), drawing_(drawing), overlap_(overlap)
    {
    }
    bool Load() override { return true; }
    void ShowFirst() override { Draw(0.0f); }
    void ShowFrame() override
    {
        Draw(0.5f);
        ++frames;
    }
    void Free() override {}

    void Draw(float blue)
    {
        if (drawing_.fetch_add(1) != 0)
            overlap_ = true;
        renderer_.set_background(0.0f, 0.0f, blue);
        renderer_.clear_back_buffer();
        // The frame is slow to draw, so that a run loop that went on too
        // early would be caught drawing beside it.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        renderer_.present();
        drawing_.fetch_sub(1);
    }

    std::atomic<int> frames{0};

private:
    render_device& renderer_;
    std::atomic<int>& drawing_;
    std::atomic<bool>& overlap_;
};

platform::LResult PlainProc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
{
    return platform::def_window_proc(w, m, wp, lp);
}

TEST_F(LoadingHandshakeTest, TheLoadingThreadAndTheRunLoopNeverDrawAtOnce)
{
    ASSERT_TRUE(platform::register_window_class("LoadingDraw", 0, &PlainProc));
    const platform::WindowHandle window = platform::create_window(0, "LoadingDraw", "Loading", 0, 0, 0, 200, 150);
    ASSERT_TRUE(window);
    render_device renderer;
    set_the_render_device(&renderer);
    ASSERT_EQ(renderer.enumerate_drivers(window), 1);
    ASSERT_EQ(renderer.init(0, 320, 240, 16, 1), 1);

    std::atomic<int> drawing{0};
    std::atomic<bool> overlap{false};
    int frames = 0;
    for (int round = 0; round < 5; ++round) {
        DrawingDisplay display(renderer, drawing, overlap);
        display.Draw(1.0f);  // the run loop's last frame before the race loads
        LoadingScreen screen([&](const std::string&) { RunLoadingScreen(display); });
        ASSERT_TRUE(screen.Start("Sugo"));
        ASSERT_TRUE(Eventually([&] { return display.frames.load() >= 2; }));
        screen.Stop();
        display.Draw(1.0f);  // the run loop draws at once
        frames += display.frames.load();
    }
    EXPECT_FALSE(overlap.load());
    EXPECT_GE(frames, 10);
    EXPECT_GE(renderer.frames_presented, 20u);

    renderer.release();
    set_the_render_device(nullptr);
    platform::shutdown_video_thread();
    platform::unregister_window_class("LoadingDraw");
}

} // namespace
