#include "app/startup/loading_screen.h"

#include <exception>

#include "engine/render/lib2d_picture.h"
#include "engine/render/render_device.h"
#include "platform/clock.h"
#include "platform/message_box.h"

std::atomic<std::uint8_t> g_LoadingHandshake{kLoadingAcknowledged};

namespace {

std::atomic<std::int32_t> g_nLogoFrame{0};

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;
constexpr int kLogoWidth = 120;
constexpr int kLogoHeight = 90;
constexpr int kLogoAcross = 5;
constexpr int kLogoFrames = 35;
constexpr int kLogoX = 16;
constexpr int kLogoY = 0;
constexpr std::uint32_t kLogoFrameMs = 80;
// The track picture goes into each buffer of a flip chain.
constexpr int kTrackPictureFrames = 2;

} // namespace

std::int32_t LoadingLogoFrame()
{
    return g_nLogoFrame.load();
}

std::string TrackLoadingPicture(const char* track)
{
    return std::string("gfx\\Loading\\") + track + ".pcx";
}

namespace {

// The loading screen's three pictures. A picture file that is there but
// cannot be read throws its message text; on this thread nothing else
// would catch it, so it is shown here and counts as a picture not loaded.
bool LoadPictures(const std::string& track, lib2d_picture& picture, lib2d_picture& logo, lib2d_picture& mask)
{
    const std::string trackPicture = TrackLoadingPicture(track.c_str());
    try {
        return picture.load(trackPicture.c_str(), kScreenWidth, kScreenHeight, 1, 1) &&
               logo.load(kLoadingLogo, kLogoWidth, kLogoHeight, kLogoAcross, kLogoFrames) &&
               mask.load(kLoadingMask, kLogoWidth, kLogoHeight, 1, 1);
    } catch (const std::exception& e) {
        platform::message_box(e.what(), "Error", platform::MB_ICONEXCLAMATION);
        return false;
    }
}

} // namespace

void RunLoadingScreen(LoadingScreenDisplay& display)
{
    if (!display.Load()) {
        // The failure has been shown; the run loop learns that the loading
        // screen has ended.
        g_LoadingHandshake.store(kLoadingEnded);
        return;
    }
    display.ShowFirst();
    g_LoadingHandshake.store(kLoadingAcknowledged);

    while (g_LoadingHandshake.load() == kLoadingAcknowledged)
        display.ShowFrame();
    display.Free();
    g_LoadingHandshake.store(kLoadingAcknowledged);
}

namespace {

// The loading screen of a track: its picture, then the logo animating over
// its mask.
class TrackLoadingDisplay : public LoadingScreenDisplay {
public:
    explicit TrackLoadingDisplay(const std::string& track) : m_Track(track) {}

    bool Load() override { return LoadPictures(m_Track, m_Picture, m_Logo, m_Mask); }

    void ShowFirst() override
    {
        render_device& renderer = the_render_device();
        for (int i = 0; i < kTrackPictureFrames; ++i) {
            if (!renderer.clear_zbuffer())
                break;
            m_Picture.draw(0, 0, 0);
            if (!renderer.present())
                break;
        }
    }

    void ShowFrame() override
    {
        m_Mask.draw(kLogoX, kLogoY, 0);
        m_Logo.draw(kLogoX, kLogoY, g_nLogoFrame.fetch_add(1) % kLogoFrames);
        the_render_device().present();
        platform::sleep_ms(kLogoFrameMs);
    }

    void Free() override
    {
        m_Picture.free();
        m_Logo.free();
        m_Mask.free();
    }

private:
    std::string m_Track;
    lib2d_picture m_Picture, m_Logo, m_Mask;
};

} // namespace

void LoadingScreenThread(const std::string& track)
{
    TrackLoadingDisplay display(track);
    RunLoadingScreen(display);
}

bool LoadingScreen::Start(const char* track)
{
    Stop();
    g_LoadingHandshake.store(kLoadingRequest);
    const std::string name = track;
    if (!m_Thread.start([body = m_Body, name] { body(name); })) {
        g_LoadingHandshake.store(kLoadingAcknowledged);
        return false;
    }
    // Until the track picture shows, or the thread has ended without it.
    while (g_LoadingHandshake.load() == kLoadingRequest && m_Thread.running())
        platform::sleep_ms(1);
    m_bRunning = g_LoadingHandshake.load() == kLoadingAcknowledged && m_Thread.running();
    if (!m_bRunning) {
        m_Thread.join();
        g_LoadingHandshake.store(kLoadingAcknowledged);
    }
    return m_bRunning;
}

void LoadingScreen::Stop()
{
    if (!m_bRunning) {
        m_Thread.join();
        return;
    }
    g_LoadingHandshake.store(kLoadingRequest);
    // The answer comes within one logo frame; the wait gives the processor
    // away on each pass rather than sleeping a whole tick.
    while (g_LoadingHandshake.load() == kLoadingRequest && m_Thread.running())
        platform::sleep_ms(0);
    m_Thread.join();
    m_bRunning = false;
    g_LoadingHandshake.store(kLoadingAcknowledged);
}
