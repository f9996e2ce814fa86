// Videos in the menus: the kit's video in a picture box (frame n at paint
// n, each close to the frame it was made from), full screen, its sound in
// the mixer, and damaged or cut files.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "app/main_window.h"
#include "menu/picture_box.h"
#include "menu/picture_box_video.h"
#include "menu/run_menu.h"
#include "platform/audio.h"
#include "platform/video.h"
#include "input/input_manager.h"
#include "sound/sound_library.h"
#include "tests/input/input_fixture.h"
#include "tests/menu/menu_fixture.h"
#include "tools/datakit/demo_podium.h"
#include "tools/datakit/demo_videos.h"
#include "tools/datakit/shade_table_writer.h"
#include "tools/datakit/world_track_parts.h"

namespace {

using menu_test::place;

constexpr int kLeft = 100, kTop = 50;
constexpr double kMinimumPsnr = 30.0;

class VideoTest : public menu_test::MenuFixture {
protected:
    static void SetUpTestSuite()
    {
        // The kit's video and the frames it was made from, made once.
        if (!platform::video_supported())
            return;
        const std::filesystem::path root = torvane_test::make_temp_dir("video-kit");
        std::string error;
        std::filesystem::create_directories(root / "menu" / "3d");
        ASSERT_TRUE(datakit::write_palette_with_shade_table(root / "menu" / "3d" / "podium.pal",
                                                            datakit::world::track_palette(), error));
        ASSERT_TRUE(datakit::write_scene(root / "menu" / "3d", "a1", datakit::demo_podium_scene(0, 0, 0), error));
        ASSERT_TRUE(datakit::write_demo_videos(root, error)) << error;
        g_Source = new platform::VideoSource(datakit::demo_intro_video_source(root));
        g_Video = new std::string((root / "menu" / "video" / "intro.avi").string());
    }
    static void TearDownTestSuite()
    {
        delete g_Source;
        delete g_Video;
        g_Source = nullptr;
        g_Video = nullptr;
    }

    void SetUp() override
    {
        MenuFixture::SetUp();
        if (!platform::video_supported())
            GTEST_SKIP() << "this build plays no videos";
        ASSERT_NE(g_Source, nullptr);
        ASSERT_EQ(g_Source->frames.size(), static_cast<std::size_t>(datakit::kDemoVideoFrames));
        std::filesystem::create_directories(data_.root() / "video");
        std::filesystem::copy_file(*g_Video, data_.root() / "video" / "intro.avi");
        manager_.m_MenuFolder = ".";
        manager_.m_SavedFolder = ".";
        g_bQuit = 0;
    }

    // A screen with a video in a window at (kLeft, kTop), 640 x 480 big.
    Form& video_screen(const std::string& video = "video\\intro.avi")
    {
        data_.raw("v.ole", "OLEVIDEO " + video + "\n");
        datakit::FormFileWriter file = menu_test::screen_file("s");
        file.begin("PictureBox", "OLE1");
        place(file, kLeft, kTop, 640, 480).key("FileName", "v.ole").end();
        file.end();
        data_.screen("s", file);
        Form& form = load_screen("s");
        show();
        return form;
    }

    // The PSNR of the screen's rectangle at (x0, y0) against a source frame
    // drawn there, scaled by `scale`.
    double psnr(const platform::VideoFrame& source, int x0, int y0, int scale = 1) const
    {
        double squares = 0.0;
        long count = 0;
        for (int y = 0; y < source.height * scale; ++y)
            for (int x = 0; x < source.width * scale; ++x) {
                const menu_test::Rgb shown = menu_test::expand565(static_cast<std::uint16_t>(pixel(x0 + x, y0 + y)));
                const std::uint8_t* made =
                    &source.rgb[(static_cast<std::size_t>(y / scale) * source.width + x / scale) * 3];
                for (int c = 0; c < 3; ++c) {
                    const double d = static_cast<double>((&shown.r)[c]) - made[c];
                    squares += d * d;
                    ++count;
                }
            }
        const double mse = squares / static_cast<double>(count);
        return mse <= 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
    }

    static inline platform::VideoSource* g_Source = nullptr;
    static inline std::string* g_Video = nullptr;
};

TEST_F(VideoTest, AVideoInAWindowShowsFrameNAtPaintNInItsOwnSize)
{
    Form& form = video_screen();
    auto* box = static_cast<PictureBox*>(form.FindElement("OLE1"));
    ASSERT_EQ(box->Kind(), kOleVideo);
    ASSERT_EQ(box->Video()->m_nState, VideoInWindow::kStart);
    for (std::size_t n = 0; n < g_Source->frames.size(); ++n) {
        clear_screen(0);
        form.PaintAll();
        ASSERT_EQ(box->Video()->m_nState, VideoInWindow::kPlaying) << n;
        EXPECT_GE(psnr(g_Source->frames[n], kLeft, kTop), kMinimumPsnr) << "frame " << n;
        // Nothing beyond the video's own 320 x 240.
        EXPECT_EQ(pixel(kLeft + 320, kTop + 10), 0u);
        EXPECT_EQ(pixel(kLeft + 10, kTop + 240), 0u);
    }
    // After the last frame it stays ended: painting shows nothing and fails
    // nothing.
    for (int i = 0; i < 3; ++i) {
        clear_screen(0);
        form.PaintAll();
        EXPECT_EQ(box->Video()->m_nState, VideoInWindow::kEnded);
        EXPECT_EQ(pixel(kLeft + 160, kTop + 120), 0u);
    }
}

TEST_F(VideoTest, LeavingTheScreenStopsTheVideoAndEnteringAgainStartsItAgain)
{
    Form& form = video_screen();
    auto* box = static_cast<PictureBox*>(form.FindElement("OLE1"));
    for (int i = 0; i < 5; ++i)
        form.PaintAll();
    form.LeaveScreen();
    EXPECT_FALSE(box->Video()->HasSample());
    EXPECT_EQ(box->Video()->m_nState, VideoInWindow::kStart);
    show();
    clear_screen(0);
    form.PaintAll();
    EXPECT_EQ(box->Video()->m_nState, VideoInWindow::kPlaying);
    EXPECT_GE(psnr(g_Source->frames[0], kLeft, kTop), kMinimumPsnr);
}

TEST_F(VideoTest, ItsSoundReachesTheMixer)
{
    platform::set_manual_audio_mixing(true);
    SoundLibrary sound;
    ASSERT_EQ(sound.Init(nullptr, false), kSoundOk);
    SetTheSoundLibrary(&sound);
    {
        Form& form = video_screen();
        auto* box = static_cast<PictureBox*>(form.FindElement("OLE1"));
        form.PaintAll();
        const platform::AudioBufferId buffer = box->Video()->SoundBuffer();
        ASSERT_NE(buffer, platform::kNoAudioBuffer);
        platform::AudioBufferStatus status;
        ASSERT_TRUE(sound.Output().status(buffer, status));
        EXPECT_TRUE(status.playing);
        // Half a second in, where the bike is already loud.
        std::vector<std::int16_t> pcm(2 * 11025);
        sound.Output().mix(pcm.data(), 11025);
        int loudest = 0;
        for (const std::int16_t v : pcm)
            loudest = std::max(loudest, std::abs(static_cast<int>(v)));
        EXPECT_GT(loudest, 1000);
        form.LeaveScreen();
        EXPECT_FALSE(sound.Output().exists(buffer));
        manager_.Reset();
    }
    SetTheSoundLibrary(nullptr);
    sound.Shutdown();
    platform::set_manual_audio_mixing(false);
}

TEST_F(VideoTest, AFullScreenVideoPlaysToItsEndOverTheScreen)
{
    EXPECT_EQ(PlayVideo("video\\intro.avi", 640, 480), 0);
    // Its last frame stays on the screen, twice its size.
    EXPECT_GE(psnr(g_Source->frames.back(), 0, 0, 2), kMinimumPsnr);
    // The quit request stops it before a frame.
    clear_screen(0);
    g_bQuit = 1;
    EXPECT_EQ(PlayVideo("video\\intro.avi", 640, 480), 0);
    EXPECT_EQ(pixel(320, 240), 0u);
    g_bQuit = 0;
}

TEST_F(VideoTest, DamagedAndCutFilesEndAtOnce)
{
    const std::uintmax_t size = std::filesystem::file_size(*g_Video);
    std::vector<char> bytes(size);
    std::ifstream(*g_Video, std::ios::binary).read(bytes.data(), static_cast<std::streamsize>(size));
    auto write = [&](const char* name, std::vector<char> content) {
        std::ofstream(data_.root() / "video" / name, std::ios::binary)
            .write(content.data(), static_cast<std::streamsize>(content.size()));
    };
    std::vector<char> garbage = bytes;
    for (std::size_t i = 0; i < garbage.size(); i += 7)
        garbage[i] = static_cast<char>(garbage[i] ^ 0x5A);
    write("garbage.avi", garbage);
    write("cut.avi", std::vector<char>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size / 3)));
    write("header.avi", std::vector<char>(bytes.begin(), bytes.begin() + 100));
    write("empty.avi", {});

    for (const char* name : {"video\\garbage.avi", "video\\cut.avi", "video\\header.avi", "video\\empty.avi",
                             "video\\missing.avi"}) {
        SCOPED_TRACE(name);
        // Full screen: returns (played what there was, or nothing).
        PlayVideo(name, 640, 480);
        // In a window: a file that does not open fails the screen's load;
        // one that opens plays what it holds and ends.
        try {
            Form& form = video_screen(name);
            auto* box = static_cast<PictureBox*>(form.FindElement("OLE1"));
            int paints = 0;
            while (box->Video()->m_nState != VideoInWindow::kEnded && paints < 100) {
                form.PaintAll();
                ++paints;
            }
            EXPECT_LT(paints, 40);
        } catch (const GameError& e) {
            EXPECT_NE(std::string(e.what()).find("Video in window file not found"), std::string::npos) << e.what();
        }
    }
    // The good file still plays after them.
    Form& form = video_screen();
    form.PaintAll();
    EXPECT_EQ(static_cast<PictureBox*>(form.FindElement("OLE1"))->Video()->m_nState, VideoInWindow::kPlaying);
}

// A fresh press of A stops a video in a window; A held from before it
// started does not. Esc stops a full-screen video.
TEST_F(VideoTest, KeysStopVideos)
{
    platform::clear_input_events();
    InputManager input;
    ASSERT_EQ(input.Create(), kInputOk);
    input.Acquire();
    SetTheInputManager(&input);
    {
        Form& form = video_screen();
        auto* box = static_cast<PictureBox*>(form.FindElement("OLE1"));
        input_test::Key(30, true);
        input.Poll();
        input.Poll();  // held since the poll before
        form.PaintAll();
        form.PaintAll();
        EXPECT_EQ(box->Video()->m_nState, VideoInWindow::kPlaying);
        input_test::Key(30, false);
        input.Poll();
        form.PaintAll();
        EXPECT_EQ(box->Video()->m_nState, VideoInWindow::kPlaying);
        input_test::Key(30, true);
        input.Poll();
        clear_screen(0);
        form.PaintAll();
        EXPECT_EQ(box->Video()->m_nState, VideoInWindow::kEnded);
        EXPECT_EQ(pixel(kLeft + 160, kTop + 120), 0u);
        input_test::Key(30, false);
        input.Poll();

        // Esc down: the full-screen video stops before its first frame.
        input_test::Key(1, true);
        clear_screen(0);
        EXPECT_EQ(PlayVideo("video\\intro.avi", 640, 480), 0);
        EXPECT_EQ(pixel(320, 240), 0u);
        input_test::Key(1, false);
        input.Poll();
        manager_.Reset();
    }
    SetTheInputManager(nullptr);
    platform::clear_input_events();
}

} // namespace
