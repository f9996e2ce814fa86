// Videos in the menus: the player both video kinds share, the picture box's
// video in a window and full-screen video, and PlayVideo.
#include "menu/picture_box_video.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "app/game_error.h"
#include "app/main_window.h"
#include "app/play_seam.h"
#include "engine/render/render_device.h"
#include "input/input_manager.h"
#include "menu/menu_files.h"
#include "menu/menu_manager.h"
#include "menu/picture_box.h"
#include "menu/run_loop_seam.h"
#include "menu/run_menu.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "sound/sound_library.h"

namespace {

// A video's sound is kept to this length.
constexpr double kMaxSoundSeconds = 60.0;
// How long a paint waits for the decoder's next frame.
constexpr std::uint32_t kFrameWaitMs = 1000;
// The key that stops a video in a window (A) and the one that stops a
// full-screen video (Esc).
constexpr int kStopWindowKey = 30;
constexpr int kStopFullScreenKey = 1;
// PlayVideo's results: 0 played, non-zero could not be played.
constexpr std::int32_t kVideoPlayed = 0;
constexpr std::int32_t kVideoNotPlayed = 1;

int MaskShift(std::uint32_t mask)
{
    return mask ? std::countr_zero(mask) : 0;
}

int MaskBits(std::uint32_t mask)
{
    return std::popcount(mask);
}

render_device* ReadyRenderer()
{
    render_device* renderer = installed_render_device();
    return renderer && renderer->ready && renderer->screen_pixels ? renderer : nullptr;
}

} // namespace

// ---- The player ----

bool VideoInWindow::Open(const char* path, std::string* error)
{
    Stop();
    m_pStream = platform::VideoStream::open(path ? path : "", error);
    return m_pStream != nullptr;
}

std::int32_t VideoInWindow::Width() const
{
    return m_pStream ? m_pStream->width() : 0;
}

std::int32_t VideoInWindow::Height() const
{
    return m_pStream ? m_pStream->height() : 0;
}

double VideoInWindow::FrameRate() const
{
    return m_pStream ? m_pStream->frame_rate() : 0.0;
}

std::uint32_t VideoInWindow::Pack(std::uint8_t r, std::uint8_t g, std::uint8_t b) const
{
    if (m_nPixelBytes == 1)
        return m_Nearest[static_cast<std::size_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))];
    const std::uint8_t c[3] = {r, g, b};
    std::uint32_t value = 0;
    for (int i = 0; i < 3; ++i) {
        const int bits = MaskBits(m_Masks[i]);
        value |= (static_cast<std::uint32_t>(c[i]) >> (8 - std::min(bits, 8))) << MaskShift(m_Masks[i]);
    }
    return value;
}

bool VideoInWindow::Start()
{
    Stop();
    render_device* renderer = ReadyRenderer();
    if (!m_pStream || !renderer)
        return false;
    m_nPixelBytes = renderer->screen_depth == 8 ? 1 : 2;
    m_Masks[0] = renderer->red_mask;
    m_Masks[1] = renderer->green_mask;
    m_Masks[2] = renderer->blue_mask;
    if (m_nPixelBytes == 1) {
        // The nearest palette entry of every 15-bit colour.
        m_Nearest.assign(32768, 0);
        for (std::uint32_t c = 0; c < 32768; ++c) {
            const int r = static_cast<int>((c >> 10) << 3 | 4), g = static_cast<int>(((c >> 5) & 31) << 3 | 4),
                      b = static_cast<int>((c & 31) << 3 | 4);
            int best = 0, best_d = 1 << 30;
            for (int i = 0; i < 256; ++i) {
                const int dr = r - renderer->palette_rgb[i][0], dg = g - renderer->palette_rgb[i][1],
                          db = b - renderer->palette_rgb[i][2];
                const int d = dr * dr + dg * dg + db * db;
                if (d < best_d) {
                    best_d = d;
                    best = i;
                }
            }
            m_Nearest[c] = static_cast<std::uint8_t>(best);
        }
    }
    m_Sample.assign(static_cast<std::size_t>(Width()) * Height() * m_nPixelBytes, 0);
    m_nFrames = 0;
    m_pStream->start();
    StartSound();
    return true;
}

void VideoInWindow::StartSound()
{
    SoundLibrary* sound = TheSoundLibrary();
    if (!sound || !sound->Initialised() || !m_pStream)
        return;
    platform::AudioOutput& output = sound->Output();
    const platform::PcmFormat format = output.format();
    std::vector<std::int16_t> pcm;
    if (!m_pStream->decode_sound(format.rate, format.channels, kMaxSoundSeconds, pcm))
        return;
    const platform::PcmFormat mine{format.rate, 16, format.channels};
    const std::uint32_t bytes = static_cast<std::uint32_t>(pcm.size() * sizeof(std::int16_t));
    m_Sound = output.create_buffer(mine, bytes, false);
    if (m_Sound == platform::kNoAudioBuffer)
        return;
    platform::AudioLock lock;
    if (!output.lock(m_Sound, 0, 0, lock)) {
        output.release(m_Sound);
        m_Sound = platform::kNoAudioBuffer;
        return;
    }
    const auto* src = reinterpret_cast<const std::uint8_t*>(pcm.data());
    std::copy_n(src, std::min<std::size_t>(lock.bytes1, bytes), lock.part1);
    output.unlock(m_Sound, lock);
    output.play(m_Sound, false);
}

platform::VideoStream::Next VideoInWindow::NextFrame(std::uint32_t wait_ms)
{
    using Next = platform::VideoStream::Next;
    if (!m_pStream || m_Sample.empty())
        return Next::Failed;
    const Next next = m_pStream->next_frame(m_Frame, wait_ms);
    if (next != Next::Frame)
        return next;
    const std::size_t pixels = static_cast<std::size_t>(Width()) * Height();
    if (m_Frame.rgb.size() != pixels * 3)
        return Next::Failed;
    const std::uint8_t* rgb = m_Frame.rgb.data();
    if (m_nPixelBytes == 1) {
        for (std::size_t i = 0; i < pixels; ++i, rgb += 3)
            m_Sample[i] = static_cast<std::uint8_t>(Pack(rgb[0], rgb[1], rgb[2]));
    } else {
        for (std::size_t i = 0; i < pixels; ++i, rgb += 3) {
            const std::uint32_t v = Pack(rgb[0], rgb[1], rgb[2]);
            m_Sample[2 * i] = static_cast<std::uint8_t>(v);
            m_Sample[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
        }
    }
    ++m_nFrames;
    return Next::Frame;
}

void VideoInWindow::Show(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) const
{
    render_device* renderer = ReadyRenderer();
    const std::int32_t w = Width(), h = Height();
    if (!renderer || m_Sample.empty() || right <= left || bottom <= top || w <= 0 || h <= 0 ||
        renderer->screen_depth != m_nPixelBytes * 8)
        return;
    const std::int32_t dw = right - left, dh = bottom - top;
    const std::int32_t x0 = std::max(left, 0), x1 = std::min(right, renderer->draw_width);
    const std::int32_t y0 = std::max(top, 0), y1 = std::min(bottom, renderer->draw_height);
    const std::size_t bpp = static_cast<std::size_t>(m_nPixelBytes);
    for (std::int32_t y = y0; y < y1; ++y) {
        const std::int32_t sy = static_cast<std::int32_t>(static_cast<std::int64_t>(y - top) * h / dh);
        std::uint8_t* row = renderer->screen_pixels + static_cast<std::ptrdiff_t>(y) * renderer->back_pitch;
        const std::uint8_t* src = m_Sample.data() + static_cast<std::size_t>(sy) * w * bpp;
        if (dw == w) {
            std::copy_n(src + static_cast<std::size_t>(x0 - left) * bpp, static_cast<std::size_t>(x1 - x0) * bpp,
                        row + static_cast<std::size_t>(x0) * bpp);
            continue;
        }
        for (std::int32_t x = x0; x < x1; ++x) {
            const std::int32_t sx = static_cast<std::int32_t>(static_cast<std::int64_t>(x - left) * w / dw);
            std::copy_n(src + static_cast<std::size_t>(sx) * bpp, bpp, row + static_cast<std::size_t>(x) * bpp);
        }
    }
}

void VideoInWindow::Stop()
{
    // The file stays open: the next start plays it from its beginning.
    if (m_pStream)
        m_pStream->stop();
    if (m_Sound != platform::kNoAudioBuffer) {
        if (SoundLibrary* sound = TheSoundLibrary())
            sound->Output().release(m_Sound);
        m_Sound = platform::kNoAudioBuffer;
    }
    m_Sample.clear();
    m_Sample.shrink_to_fit();
}

// ---- The picture box's two video kinds ----

void PictureBox::OpenVideoInWindow()
{
    m_pVideo = std::make_unique<VideoInWindow>();
    m_pVideo->m_nState = VideoInWindow::kEnded;
    MenuManager* manager = GetMenuManager();
    const std::string folder = manager ? manager->m_MenuFolder : std::string();
    const std::string saved = manager ? manager->m_SavedFolder : std::string();
    bool opened = false;
    {
        struct Back {
            const std::string& folder;
            bool enter;
            ~Back()
            {
                if (enter)
                    EnterFolder(folder);
            }
        } back{saved, !folder.empty()};
        if (!folder.empty())
            EnterFolder(folder);
        opened = m_pVideo->Open(m_szVideoName);
    }
    if (!opened)
        throw GameError("Video in window file not found");
    m_pVideo->m_nState = VideoInWindow::kStart;
}

void PictureBox::StopVideo()
{
    if (!m_pVideo)
        return;
    // A video stopped while it played starts again when its screen is
    // entered again: nothing of the released sample is used.
    if (m_pVideo->m_nState == VideoInWindow::kPlaying)
        m_pVideo->m_nState = VideoInWindow::kStart;
    m_pVideo->Stop();
}

bool PictureBox::PaintVideoInWindow()
{
    if (!m_pVideo)
        return true;
    using Next = platform::VideoStream::Next;
    switch (m_pVideo->m_nState) {
    case VideoInWindow::kStart:
        // The video keeps its own size, its top-left corner at the box's.
        if (m_pVideo->Start())
            m_pVideo->m_nState = VideoInWindow::kPlaying;
        else
            m_pVideo->m_nState = VideoInWindow::kEnded;
        if (m_pVideo->m_nState != VideoInWindow::kPlaying)
            return true;
        [[fallthrough]];
    case VideoInWindow::kPlaying: {
        const Next next = m_pVideo->NextFrame(kFrameWaitMs);
        const InputManager* input = TheInputManager();
        const bool stop_key = input && input->KeyPressed(kStopWindowKey);
        if (next == Next::Frame && !stop_key)
            m_pVideo->Show(GetLeft(), GetTop(), GetLeft() + m_pVideo->Width(), GetTop() + m_pVideo->Height());
        else if (next != Next::Late || stop_key) {
            m_pVideo->m_nState = VideoInWindow::kEnded;
            m_pVideo->Stop();
        }
        return true;
    }
    default:
        m_pVideo->Stop();
        return true;
    }
}

bool PictureBox::PaintFullScreenVideo()
{
    MenuManager* manager = GetMenuManager();
    if (manager && !manager->m_MenuFolder.empty()) {
        EnterFolder(manager->m_MenuFolder);
        PlayVideo(m_szVideoName, 640, 480);
        EnterFolder(manager->m_SavedFolder);
    } else {
        PlayVideo(m_szVideoName, 640, 480);
    }
    if (SoundLibrary* sound = TheSoundLibrary())
        sound->SetFormat(22050, 16, 2);
    if (manager)
        manager->ExecuteCommand(0);
    return true;
}

// ---- Full screen ----

namespace {

// The input of a frame of a full-screen video: true when it is to stop
// (Esc down, or the program is quitting).
bool FullScreenVideoStopped()
{
    if (g_bQuit)
        return true;
    platform::Message message;
    if (platform::peek_message(message, true)) {
        platform::translate_message(message);
        platform::dispatch_message(message);
    }
    InputManager* input = TheInputManager();
    if (input) {
        input->Poll();
        if (input->m_KeyState[kStopFullScreenKey] & kInputDown)
            return true;
    }
    return g_bQuit != 0;
}

} // namespace

std::int32_t PlayVideo(const char* file, std::int32_t right, std::int32_t bottom)
{
    VideoInWindow video;
    std::string error;
    if (!video.Open(file, &error)) {
        std::fprintf(stderr, "PlayVideo: %s\n", error.c_str());
        return kVideoNotPlayed;
    }
    if (!video.Start())
        return kVideoNotPlayed;
    render_device* renderer = ReadyRenderer();
    const double rate = video.FrameRate() > 0.0 ? video.FrameRate() : 25.0;
    const std::uint32_t started = platform::real_time_get_time();
    for (std::int64_t n = 0;; ++n) {
        if (FullScreenVideoStopped())
            break;
        const platform::VideoStream::Next next = video.NextFrame(kFrameWaitMs);
        if (next == platform::VideoStream::Next::Late)
            continue;
        if (next != platform::VideoStream::Next::Frame)
            break;
        video.Show(0, 0, right, bottom);
        if (renderer)
            renderer->present();
        // Frames follow at the video's own rate (or the play seam's frames).
        if (ThePlaySeam()) {
            WaitForMenuFrame();
            continue;
        }
        const auto due = static_cast<std::uint32_t>(static_cast<double>(n + 1) * 1000.0 / rate);
        const std::uint32_t spent = platform::elapsed_ms(started, platform::real_time_get_time());
        if (spent < due)
            platform::sleep_ms(due - spent);
    }
    video.Stop();
    return kVideoPlayed;
}
