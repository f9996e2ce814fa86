#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "engine/render/lib2d_picture.h"
#include "engine/render/loadpcx.h"
#include "engine/render/render_device.h"
#include "platform/atomic_file.h"
#include "platform/message_box.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mix_writer.h"
#include "tools/datakit/pcx_writer.h"

using datakit::PcxPicture;

namespace {

PcxPicture Picture(int w, int h, std::uint8_t fill = 0)
{
    PcxPicture p;
    p.width = w;
    p.height = h;
    p.pixels.assign(static_cast<std::size_t>(w) * h, fill);
    for (int i = 0; i < 256; ++i) {
        p.palette[3 * i] = static_cast<std::uint8_t>(i);
        p.palette[3 * i + 1] = static_cast<std::uint8_t>(255 - i);
        p.palette[3 * i + 2] = static_cast<std::uint8_t>(i / 2);
    }
    return p;
}

void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    ASSERT_TRUE(platform::write_file_atomic(path.string(), bytes));
}

struct Loaded {
    int result = 0;
    std::vector<std::uint8_t> pixels;
    std::uint8_t header[kPcxHeaderBytes] = {};
    std::uint8_t palette[kPcxPaletteBytes] = {};
};

Loaded Load(const char* name)
{
    Loaded l;
    l.result = loadpcx(l.pixels, name, l.header, l.palette);
    return l;
}

class PictureFiles : public ::testing::Test {
protected:
    PictureFiles() : dir_(torvane_test::make_temp_dir("pcx")), cwd_(dir_) {}
    void SetUp() override { platform::clear_recorded_message_boxes(); }
    void TearDown() override { platform::clear_recorded_message_boxes(); }
    const std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
};

} // namespace

TEST_F(PictureFiles, AStandardPictureDecodesToItsIndicesAndPalette)
{
    PcxPicture p = Picture(640, 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            p.pixels[static_cast<std::size_t>(y) * 640 + x] = static_cast<std::uint8_t>((x / 7 + y) & 0xFF);
    Write(dir_ / "gfx" / "Loading" / "loading.pcx", datakit::pcx_bytes(p));
    const Loaded l = Load("gfx\\Loading\\loading.pcx");
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.pixels.size(), 307208u);
    EXPECT_TRUE(std::equal(p.pixels.begin(), p.pixels.end(), l.pixels.begin()));
    EXPECT_EQ(std::memcmp(l.palette, p.palette.data(), 768), 0);
    const pcx_header_fields f = read_pcx_header(l.header);
    EXPECT_EQ(f.rows, 480);
    EXPECT_EQ(f.planes, 1);
    EXPECT_EQ(f.bytes_per_line, 640);
}

TEST_F(PictureFiles, RunsAndLiteralsAndTheRawLayout)
{
    // 0xC1 0xC5: a run of one byte 0xC5; 0xC0 writes nothing; 0xC3 0x07 three 7s.
    PcxPicture p = Picture(5, 1);
    std::vector<std::uint8_t> bytes = datakit::pcx_bytes(p);
    bytes.resize(128);
    for (std::uint8_t b : {0xC1, 0xC5, 0xC0, 0x09, 0xC3, 0x07, 0x02})
        bytes.push_back(b);
    bytes.push_back(0x0C);
    bytes.insert(bytes.end(), p.palette.begin(), p.palette.end());
    Write(dir_ / "runs.pcx", bytes);
    Loaded l = Load("runs.pcx");
    ASSERT_EQ(l.result, 1);
    const std::vector<std::uint8_t> expected = {0xC5, 0x07, 0x07, 0x07, 0x02};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), l.pixels.begin()));

    // A run that passes the end of the buffer is cut there; data that ends
    // with the file leaves the rest 0.
    bytes.resize(128);
    bytes.push_back(0xFF); // a run of 63
    bytes.push_back(0x11);
    Write(dir_ / "long.pcx", bytes);
    l = Load("long.pcx");
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.pixels.size(), 13u);
    EXPECT_EQ(l.pixels[12], 0x11);

    // A file that starts "Corvantis" is taken as it is, whatever its name.
    p = Picture(4, 2);
    for (std::size_t i = 0; i < p.pixels.size(); ++i)
        p.pixels[i] = static_cast<std::uint8_t>(0xC0 + i);
    Write(dir_ / "raw.pcx", datakit::pcx_raw_bytes(p));
    l = Load("raw.pcx");
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.pixels.size(), 16u);
    EXPECT_TRUE(std::equal(p.pixels.begin(), p.pixels.end(), l.pixels.begin()));
    EXPECT_EQ(std::memcmp(l.palette, p.palette.data(), 768), 0);

    // A raw count larger than the file is cut to what the file holds.
    std::vector<std::uint8_t> raw = datakit::pcx_raw_bytes(p);
    raw[9] = 0xFF;
    raw[10] = 0xFF;
    raw[11] = 0xFF;
    Write(dir_ / "rawbig.pcx", raw);
    l = Load("rawbig.pcx");
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.pixels.size(), raw.size() - 909 + 8);

    // A short file reads its missing header bytes as 0: no planes and no
    // bytes per line make a picture of no bytes, which is refused.
    Write(dir_ / "short.pcx", {10, 5, 1});
    l = Load("short.pcx");
    EXPECT_EQ(l.result, 0);
    EXPECT_TRUE(l.pixels.empty());
}

TEST_F(PictureFiles, BytesPerLineIsTheWidth)
{
    // Image tools store a 121-pixel line in 122 bytes; the picture is read
    // 122 wide, the padding column included.
    PcxPicture p = Picture(121, 3, 4);
    p.bytes_per_line = 122;
    for (const auto& bytes : {datakit::pcx_bytes(p), datakit::pcx_raw_bytes(p)}) {
        Write(dir_ / "odd.pcx", bytes);
        const Loaded l = Load("odd.pcx");
        ASSERT_EQ(l.result, 1);
        EXPECT_EQ(read_pcx_header(l.header).bytes_per_line, 122);
        ASSERT_EQ(l.pixels.size(), 122u * 3 + 8);
        for (int y = 0; y < 3; ++y) {
            EXPECT_EQ(l.pixels[static_cast<std::size_t>(y) * 122 + 120], 4);
            EXPECT_EQ(l.pixels[static_cast<std::size_t>(y) * 122 + 121], 0);
        }
    }
}

TEST_F(PictureFiles, DamagedFilesStayInsideTheirBuffers)
{
    // Each damaged file either loads into a buffer of the size its header
    // names (plus the slack) or is refused; the sanitizer build checks that
    // nothing is read or written outside.
    PcxPicture p = Picture(6, 4, 3);
    const std::vector<std::uint8_t> good = datakit::pcx_bytes(p);
    const std::vector<std::uint8_t> raw = datakit::pcx_raw_bytes(p);
    const auto with = [](std::vector<std::uint8_t> b, std::size_t at, std::vector<std::uint8_t> v) {
        if (b.size() < at + v.size())
            b.resize(at + v.size(), 0);
        std::copy(v.begin(), v.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    const auto cut = [](std::vector<std::uint8_t> b, std::size_t size) {
        b.resize(std::min(b.size(), size));
        return b;
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        int result;
        std::size_t size; // of the pixel buffer when loaded
    };
    const Case cases[] = {
        {"empty file", {}, 0, 0},
        {"header only", cut(good, 128), 1, 6 * 4 + 8},
        {"data cut short", cut(good, 131), 1, 6 * 4 + 8},
        {"a last run byte without its value", with(cut(good, 128), 128, {0xC5}), 1, 6 * 4 + 8},
        {"runs past the picture", with(cut(good, 128), 128, {0xFF, 1, 0xFF, 2, 0xFF, 3}), 1, 6 * 4 + 8},
        {"rows upside down", with(good, 6, {5, 0, 0, 0, 0, 0}), 0, 0},
        {"negative bytes per line", with(good, 66, {0xFA, 0xFF}), 0, 0},
        {"no planes", with(good, 65, {0}), 0, 0},
        {"tallest rows", with(good, 6, {0x00, 0x80, 0, 0, 0xFF, 0x7F}), 1, 65536 * 6 + 8},
        {"too large", with(with(good, 6, {0x00, 0x80, 0, 0, 0xFF, 0x7F}), 66, {0xFF, 0x7F}), 0, 0},
        {"raw without its palette", cut(raw, 100), 0, 0},
        {"raw count past the file", with(raw, 9, {0xFF, 0xFF, 0xFF, 0x7F}), 1, 6 * 4 + 8 + 8},
        {"raw count 0", with(raw, 9, {0, 0, 0, 0}), 0, 0},
        {"raw magic only", {'C', 'o', 'r', 'v', 'a', 'n', 't', 'i', 's'}, 0, 0},
    };
    for (const Case& c : cases) {
        Write(dir_ / "damaged.pcx", c.bytes);
        const Loaded l = Load("damaged.pcx");
        EXPECT_EQ(l.result, c.result) << c.what;
        EXPECT_EQ(l.pixels.size(), c.size) << c.what;
    }
}

TEST_F(PictureFiles, AMissingPictureLeavesThePixelsAndTheArchiveIsLookedIn)
{
    std::vector<std::uint8_t> keep = {1, 2, 3};
    std::uint8_t header[kPcxHeaderBytes], palette[kPcxPaletteBytes];
    EXPECT_EQ(loadpcx(keep, "gfx\\Loading\\none.pcx", header, palette), 0);
    EXPECT_EQ(keep, (std::vector<std::uint8_t>{1, 2, 3}));

    // Only in its archive ("gfx\Loading.mix"): read from there.
    PcxPicture p = Picture(8, 4, 5);
    Write(dir_ / "pack" / "Mask_00.pcx", datakit::pcx_bytes(p));
    std::filesystem::create_directories(dir_ / "gfx");
    std::string error;
    ASSERT_TRUE(datakit::pack_folder(dir_ / "pack", dir_ / "gfx" / "Loading.mix", datakit::MixStorage::Compressed, error))
        << error;
    Loaded l = Load("gfx\\Loading\\Mask_00.pcx");
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.pixels[0], 5);

    // On disk too: the disk's copy wins.
    p.pixels.assign(p.pixels.size(), 9);
    Write(dir_ / "gfx" / "Loading" / "Mask_00.pcx", datakit::pcx_bytes(p));
    l = Load("gfx\\Loading\\Mask_00.pcx");
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.pixels[0], 9);
}

namespace {

platform::LResult Proc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
{
    return platform::def_window_proc(w, m, wp, lp);
}

// Pictures need a display: a 640 x 480, 16-bit one in a window.
class Pictures : public PictureFiles {
protected:
    void SetUp() override
    {
        PictureFiles::SetUp();
        ASSERT_TRUE(platform::register_window_class("PictureTest", 0, &Proc));
        window_ = platform::create_window(0, "PictureTest", "Pictures", 0, 0, 0, 200, 150);
        set_the_render_device(&device_);
        ASSERT_EQ(device_.enumerate_drivers(window_), 1);
        ASSERT_EQ(device_.init(0, 640, 480, 16, 1), 1);
    }
    void TearDown() override
    {
        set_the_render_device(nullptr);
        platform::shutdown_video_thread();
        PictureFiles::TearDown();
    }
    std::uint16_t Pixel(int x, int y) const
    {
        std::uint16_t v;
        std::memcpy(&v, device_.back_buffer.data() + static_cast<std::size_t>(y) * device_.back_pitch + 2 * x, 2);
        return v;
    }
    platform::WindowHandle window_;
    render_device device_;
};

} // namespace

TEST_F(Pictures, FramesAreCutTrimmedAndDrawnWithoutTheirTransparentPixels)
{
    // Two frames of 4 x 4 side by side: the first has a 2 x 2 block at
    // (1, 1), the second is fully transparent.
    PcxPicture p = Picture(8, 4);
    for (int y = 1; y <= 2; ++y)
        for (int x = 1; x <= 2; ++x)
            p.pixels[static_cast<std::size_t>(y) * 8 + x] = 200;
    Write(dir_ / "sheet.pcx", datakit::pcx_bytes(p));
    lib2d_picture picture;
    ASSERT_EQ(picture.load("sheet.pcx", 4, 4, 2, 2), 1);
    ASSERT_EQ(picture.count, 2);
    EXPECT_EQ(picture.key, 0x7E0); // pure green in 565
    const lib2d_picture::frame& f = picture.frames[0];
    EXPECT_EQ(f.trim_left, 1);
    EXPECT_EQ(f.trim_top, 1);
    EXPECT_EQ(f.width, 2);
    EXPECT_EQ(f.height, 2);
    EXPECT_TRUE(picture.frames[1].pixels.empty());

    // Colour 200 of the palette (200, 55, 100), each channel raised a step.
    const std::uint16_t colour = static_cast<std::uint16_t>(((200 & 0xF8) + 8) >> 3 << 11 |
                                                            ((55 & 0xF8) + 8) >> 2 << 5 | ((100 & 0xF8) + 8) >> 3);
    device_.set_background(0.0f, 0.0f, 0.0f);
    device_.clear_back_buffer();
    EXPECT_EQ(picture.draw(100, 50, 0), 1);
    EXPECT_EQ(Pixel(101, 51), colour);
    EXPECT_EQ(Pixel(102, 52), colour);
    EXPECT_EQ(Pixel(100, 50), 0);
    EXPECT_EQ(Pixel(103, 51), 0);
    EXPECT_EQ(f.x, 100);

    // Clipped at the screen's edges; entirely outside draws nothing.
    EXPECT_EQ(picture.draw(-2, -2, 0), 1);
    EXPECT_EQ(Pixel(0, 0), colour);
    EXPECT_EQ(picture.draw(638, 478, 0), 1);
    EXPECT_EQ(Pixel(639, 479), colour);
    EXPECT_EQ(picture.draw(700, 10, 0), 0);
    // An empty frame, a frame past the count, a paused display: nothing.
    EXPECT_EQ(picture.draw(0, 0, 1), 0);
    EXPECT_EQ(picture.draw(0, 0, 2), 0);
    device_.set_active(1);
    EXPECT_EQ(picture.draw(100, 50, 0), 0);
    device_.set_active(0);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());

    picture.free();
    EXPECT_EQ(picture.count, 0);
    EXPECT_EQ(picture.draw(100, 50, 0), 0);
}

// Transparent runs at a row's start, middle and end, one pixel or several
// long, leave the screen alone; the pixels around them are all drawn.
TEST_F(Pictures, TransparentRunsInsideARowLeaveTheScreenAlone)
{
    const char* rows[] = {"X..XX.XX", ".X.X..XX", "XXXXXXXX", "X......X"};
    PcxPicture p = Picture(8, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            p.pixels[static_cast<std::size_t>(y) * 8 + x] = rows[y][x] == 'X' ? 200 : 0;
    Write(dir_ / "runs.pcx", datakit::pcx_bytes(p));
    lib2d_picture picture;
    ASSERT_EQ(picture.load("runs.pcx", 8, 4, 1, 1), 1);
    ASSERT_EQ(picture.count, 1);
    const std::uint16_t colour = static_cast<std::uint16_t>(((200 & 0xF8) + 8) >> 3 << 11 |
                                                            ((55 & 0xF8) + 8) >> 2 << 5 | ((100 & 0xF8) + 8) >> 3);
    device_.set_background(0.0f, 0.0f, 0.0f);
    device_.clear_back_buffer();
    ASSERT_EQ(picture.draw(10, 20, 0), 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(Pixel(10 + x, 20 + y), rows[y][x] == 'X' ? colour : 0) << "at " << x << ", " << y;
    // Clipped on the left: the runs are cut where the screen starts.
    device_.clear_back_buffer();
    ASSERT_EQ(picture.draw(-3, 20, 0), 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 3; x < 8; ++x)
            EXPECT_EQ(Pixel(x - 3, 20 + y), rows[y][x] == 'X' ? colour : 0) << "at " << x << ", " << y;
}

// Rows scanned several pixels at a time: transparent runs of every length
// that start and end at every place relative to a group of pixels, in rows
// of an odd width, drawn whole and clipped so that the source starts at
// another pixel of a group; each pixel is drawn exactly when it is visible.
TEST_F(Pictures, TransparentRunsAcrossLongRowsAreFoundWherever)
{
    constexpr int kWidth = 37;
    constexpr int kHeight = 24;
    PcxPicture p = Picture(kWidth + 1, kHeight);
    std::uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
        int x = 0;
        while (x < kWidth) {
            seed = seed * 1103515245u + 12345u;
            const int run = 1 + static_cast<int>(seed >> 16) % (1 + y % 9);
            const bool visible = (seed >> 8 & 1) != 0;
            for (int k = 0; k < run && x < kWidth; ++k, ++x)
                p.pixels[static_cast<std::size_t>(y) * (kWidth + 1) + x] = visible ? 200 : 0;
        }
    }
    // The first and last columns and rows are visible, so nothing is trimmed.
    for (int y = 0; y < kHeight; ++y)
        for (int x : {0, kWidth - 1})
            p.pixels[static_cast<std::size_t>(y) * (kWidth + 1) + x] = 200;
    for (int y : {0, kHeight - 1})
        for (int x = 0; x < kWidth; ++x)
            p.pixels[static_cast<std::size_t>(y) * (kWidth + 1) + x] = 200;
    Write(dir_ / "long.pcx", datakit::pcx_bytes(p));
    lib2d_picture picture;
    ASSERT_EQ(picture.load("long.pcx", kWidth + 1, kHeight, 1, 1), 1);
    ASSERT_EQ(picture.frames[0].width, kWidth);
    ASSERT_EQ(picture.frames[0].height, kHeight);
    const std::uint16_t colour = static_cast<std::uint16_t>(((200 & 0xF8) + 8) >> 3 << 11 |
                                                            ((55 & 0xF8) + 8) >> 2 << 5 | ((100 & 0xF8) + 8) >> 3);
    device_.set_background(0.0f, 0.0f, 0.0f);
    for (int clip = 0; clip < 5; ++clip) {
        SCOPED_TRACE(clip);
        device_.clear_back_buffer();
        ASSERT_EQ(picture.draw(clip == 0 ? 11 : -clip, 30, 0), 1);
        const int left = clip == 0 ? 11 : 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = clip; x < kWidth; ++x) {
                const bool visible = p.pixels[static_cast<std::size_t>(y) * (kWidth + 1) + x] != 0;
                ASSERT_EQ(Pixel(left + x - clip, 30 + y), visible ? colour : 0) << "at " << x << ", " << y;
            }
        // Nothing past the row's end is touched.
        EXPECT_EQ(Pixel(left + kWidth - clip, 30), 0);
    }
}

TEST_F(Pictures, AnOddWidthGetsATransparentColumn)
{
    // The sheet must hold the frame at its even width: 3 x 3 holds a 4 x 2
    // frame's bytes, 3 x 2 does not.
    PcxPicture p = Picture(3, 2, 7);
    Write(dir_ / "tight.pcx", datakit::pcx_bytes(p));
    lib2d_picture picture;
    EXPECT_EQ(picture.load("tight.pcx", 3, 2, 1, 1), 0);
    p = Picture(3, 3, 7);
    Write(dir_ / "odd.pcx", datakit::pcx_bytes(p));
    ASSERT_EQ(picture.load("odd.pcx", 3, 2, 1, 1), 1);
    EXPECT_EQ(picture.frames[0].width, 3); // the fourth column is trimmed away
    device_.clear_back_buffer();
    const std::uint16_t before = Pixel(13, 0);
    ASSERT_EQ(picture.draw(10, 0, 0), 1);
    EXPECT_NE(Pixel(12, 0), before);
    EXPECT_EQ(Pixel(13, 0), before);
}

TEST_F(Pictures, LoadFailuresAreShownAndGiveZero)
{
    lib2d_picture picture;
    EXPECT_EQ(picture.load("gfx\\none.pcx", 10, 10, 1, 1), 0);
    // A sheet smaller than the grid asked for.
    Write(dir_ / "small.pcx", datakit::pcx_bytes(Picture(10, 10)));
    EXPECT_EQ(picture.load("small.pcx", 6, 10, 2, 2), 0);
    EXPECT_EQ(picture.load("small.pcx", 10, 10, 1, 2), 0);
    // Enough bytes, but the second cell's rows lie below the sheet.
    Write(dir_ / "wide.pcx", datakit::pcx_bytes(Picture(20, 10)));
    EXPECT_EQ(picture.load("wide.pcx", 10, 10, 1, 2), 0);
    // No display set up yet.
    render_device none;
    set_the_render_device(&none);
    EXPECT_EQ(picture.load("small.pcx", 10, 10, 1, 1), 0);
    set_the_render_device(&device_);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[0].caption, "Lib2d Error Message");
    EXPECT_EQ(boxes[0].text, "Cannot open sprite file! gfx\\none.pcx\r\n");
    EXPECT_EQ(boxes[1].text, "parameteres error! in small.pcx\r\n");
    EXPECT_EQ(boxes[2].text, "parameteres error! in small.pcx\r\n");
    EXPECT_EQ(boxes[3].text, "parameteres error! in wide.pcx\r\n");
    EXPECT_EQ(boxes[4].text, "Cannot open sprite file, you must create D3D before!\r\n");
    EXPECT_EQ(picture.count, 0);
}

TEST_F(Pictures, TheDemoLoadingPicturesLoad)
{
    std::string error;
    ASSERT_TRUE(datakit::write_demo_loading_pictures(dir_, error)) << error;
    lib2d_picture track, logo, mask, loading;
    EXPECT_EQ(track.load("gfx\\Loading\\Sugo.pcx", 640, 480, 1, 1), 1);
    EXPECT_EQ(logo.load("gfx\\Loading\\TvnLogo.pcx", 120, 90, 5, 35), 1);
    EXPECT_EQ(mask.load("gfx\\Loading\\Mask_00.pcx", 120, 90, 1, 1), 1);
    EXPECT_EQ(loading.load("gfx\\Loading\\loading.pcx", 640, 480, 1, 1), 1);
    for (int i = 0; i < 35; ++i)
        EXPECT_FALSE(logo.frames[static_cast<std::size_t>(i)].pixels.empty()) << i;
    EXPECT_EQ(track.frames[0].width, 640);
    EXPECT_EQ(track.frames[0].height, 480);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

TEST_F(Pictures, AThreePlaneSheetKeepsEveryPixel)
{
    // Black in a 24-bit sheet is a colour, not the transparent index: each
    // channel raised a step, it packs to 0x0841 and the frame is not trimmed.
    PcxPicture p = Picture(4, 2);
    p.planes = 3;
    p.pixels.assign(4 * 2 * 3, 0);
    p.pixels[3 * 4 + 4 + 3] = 255; // row 1, the green plane, the last column
    Write(dir_ / "rgb.pcx", datakit::pcx_bytes(p));
    lib2d_picture picture;
    ASSERT_EQ(picture.load("rgb.pcx", 4, 2, 1, 1), 1);
    EXPECT_EQ(picture.frames[0].width, 4);
    EXPECT_EQ(picture.frames[0].height, 2);
    ASSERT_EQ(picture.draw(20, 30, 0), 1);
    EXPECT_EQ(Pixel(20, 30), 0x0841);
    EXPECT_EQ(Pixel(23, 31), (8 >> 3) << 11 | (0xF8 >> 2) << 5 | (8 >> 3));
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}
