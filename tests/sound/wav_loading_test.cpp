#include <gtest/gtest.h>

#include <cstring>

#include "platform/file.h"
#include "tests/sound/sound_fixture.h"
#include "tools/datakit/mix_writer.h"

using namespace sound_test;

namespace {

// A sine of `hz` at the file's own rate as PCM bytes of its format.
std::vector<std::uint8_t> SinePcm(double hz, std::uint32_t rate, std::uint16_t bits, std::uint16_t channels,
                                  double seconds)
{
    const std::vector<std::int16_t> s = Sine(hz, rate, seconds, 8000.0, channels);
    if (bits == 16)
        return datakit::pcm16_bytes(s);
    std::vector<std::uint8_t> out(s.size());
    for (std::size_t i = 0; i < s.size(); ++i)
        out[i] = static_cast<std::uint8_t>(128 + s[i] / 256);
    return out;
}

void Write(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    ASSERT_TRUE(platform::write_whole_file(path, bytes));
}

void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

using WavLoading = SoundFixture;

TEST_F(WavLoading, FilesOfCommonToolsLoadAndPlayAtTheirOwnRate)
{
    struct Case {
        std::uint32_t rate;
        std::uint16_t bits, channels;
        datakit::WavLayout layout;
    };
    const Case cases[] = {
        {22050, 16, 1, {}},
        {11025, 8, 1, {}},
        {44100, 16, 2, {}},
        {16000, 8, 2, {.format_extra_word = true}},
        {22050, 16, 2, {.list_before_data = true, .fact_before_format = true}},
        {32000, 16, 1, {.format_extra_word = true, .list_before_data = true, .trailing_chunk = true}},
    };
    std::int32_t id = 0;
    for (const Case& c : cases) {
        // 441 Hz at any rate: the mix at 22050 Hz must hear 441 Hz.
        Write("tone.wav", datakit::wav_bytes(c.rate, c.bits, c.channels, SinePcm(441.0, c.rate, c.bits, c.channels, 0.5),
                                             c.layout));
        ASSERT_EQ(sound.AddSample("tone.wav", id, false, false), kSoundOk) << c.rate << " " << c.bits;
        const SoundSlot& slot = sound.Sample(sound.FindSample(id));
        EXPECT_EQ(slot.m_Format.rate, c.rate);
        EXPECT_EQ(slot.m_uDataSize, static_cast<std::uint32_t>(c.rate / 2) * c.bits / 8 * c.channels);
        ASSERT_EQ(sound.Play(id, 0, kSoundKeep, kSoundKeepF, kSoundKeep, kPlayLoop), kSoundOk);
        const std::vector<std::int16_t> pcm = Mix(0.5);
        EXPECT_NEAR(Pitch(pcm, 0), 441.0, 6.0) << c.rate << " " << c.bits << " " << c.channels;
        EXPECT_NEAR(Pitch(pcm, 1), 441.0, 6.0);
        sound.StopVoice(id, 0);
        ++id;
    }
}

TEST_F(WavLoading, DamagedFilesAreRefusedWithCodeOne)
{
    const std::vector<std::uint8_t> good = datakit::wav_bytes(22050, 16, 1, datakit::pcm16_bytes(Sine(441.0, 22050, 0.1)));
    const auto with = [&](auto change) {
        std::vector<std::uint8_t> b = good;
        change(b);
        return b;
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"not RIFF", with([](auto& b) { b[0] = 'X'; })},
        {"not WAVE", with([](auto& b) { b[8] = 'A'; })},
        {"header only", with([](auto& b) { b.resize(12); })},
        {"format cut short", with([](auto& b) { b.resize(30); })},
        {"format chunk of 14 bytes", with([](auto& b) { PutU32(b, 16, 14); })},
        {"compressed format", with([](auto& b) { b[20] = 2; })},
        {"24-bit", with([](auto& b) { b[34] = 24; b[32] = 3; })},
        {"three channels", with([](auto& b) { b[22] = 3; b[32] = 6; })},
        {"block align 0", with([](auto& b) { b[32] = 0; })},
        {"rate 0", with([](auto& b) { PutU32(b, 24, 0); })},
        {"no data chunk", with([](auto& b) { b[36] = 'x'; })},
        {"data of 0 bytes", with([](auto& b) { PutU32(b, 40, 0); b.resize(44); })},
        {"chunk size past the end", with([](auto& b) { PutU32(b, 16, 0xFFFFFFF0u); })},
    };
    for (const Case& c : cases) {
        Write("bad.wav", c.bytes);
        EXPECT_EQ(sound.AddSample("bad.wav", 1, false, false), kSoundFileError) << c.what;
        EXPECT_EQ(sound.FindSample(1), -1) << c.what;
    }
    EXPECT_EQ(sound.AddSample("no_such.wav", 1, false, false), kSoundFileError);
    EXPECT_EQ(sound.SampleCount(), 0);
}

TEST_F(WavLoading, DataLongerThanTheFileIsCutToWhatItHolds)
{
    std::vector<std::uint8_t> b = datakit::wav_bytes(22050, 16, 2, datakit::pcm16_bytes(Sine(441.0, 22050, 0.1, 8000, 2)));
    PutU32(b, 40, 1000000);
    b.push_back(0x55); // one stray byte: not a whole frame
    Write("long.wav", b);
    ASSERT_EQ(sound.AddSample("long.wav", 1, false, false), kSoundOk);
    EXPECT_EQ(sound.Sample(sound.FindSample(1)).m_uDataSize, 2205u * 4);
}

TEST_F(WavLoading, IdsAndCapacity)
{
    WriteWav("a.wav", Sine(441.0, 22050, 0.01));
    WriteWav("b.wav", Sine(882.0, 22050, 0.02));
    ASSERT_EQ(sound.AddSample("a.wav", 5, false, false), kSoundOk);
    EXPECT_EQ(sound.AddSample("b.wav", 5, false, false), kSoundBadId);
    EXPECT_EQ(sound.Sample(sound.FindSample(5)).m_uDataSize, 220u * 2); // the first stays
    EXPECT_EQ(sound.AddSample("a.wav", -1, false, false), kSoundBadId);
    for (int id = 100; id < 163; ++id)
        ASSERT_EQ(sound.AddSample("a.wav", id, false, false), kSoundOk) << id;
    EXPECT_EQ(sound.AddSample("a.wav", 300, false, false), kSoundTooManySamples);
    // A buffer the output refuses.
    sound.FreeSample(100);
    platform::fail_next(platform::Fault::AudioBufferCreate);
    EXPECT_EQ(sound.AddSample("a.wav", 100, false, false), kSoundBufferError);
    platform::fail_next(platform::Fault::AudioBufferLock);
    EXPECT_EQ(sound.AddSample("a.wav", 100, false, false), kSoundCannotPlay);
    EXPECT_EQ(sound.AddSample("a.wav", 100, false, false), kSoundOk);
}

TEST_F(WavLoading, ASampleMissingOnDiskIsReadFromItsFoldersArchive)
{
    datakit::MixWriter archive;
    ASSERT_TRUE(archive.add("Crash1.wav", datakit::wav_bytes(22050, 16, 1, datakit::pcm16_bytes(Sine(441.0, 22050, 0.1))),
                            datakit::MixStorage::Compressed, false));
    std::string error;
    std::filesystem::create_directories("Sfx");
    ASSERT_TRUE(archive.write("Sfx/Sfx.mix", error)) << error;
    ASSERT_EQ(sound.AddSample("Sfx\\Crash1.wav", 5, true, false), kSoundOk);
    EXPECT_EQ(sound.Sample(sound.FindSample(5)).m_uDataSize, 2205u * 2);
}

namespace {

// A hand-written file of the extensible format: mono, 16-bit, 22050 Hz, PCM
// as the sub-format, then `data_bytes` bytes of sound. Byte offsets: the tag
// at 20, the bits at 34, the extra size at 36, the valid bits at 38, the
// sub-format's identifier at 44..59, the data chunk at 60.
std::vector<std::uint8_t> ExtensibleWav(const std::vector<std::uint8_t>& data)
{
    const auto size = static_cast<std::uint32_t>(data.size());
    std::vector<std::uint8_t> b = {
        'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E',
        'f', 'm', 't', ' ', 40, 0, 0, 0,
        0xFE, 0xFF,             // extensible
        1, 0,                   // one channel
        0x22, 0x56, 0, 0,       // 22050 Hz
        0x44, 0xAC, 0, 0,       // 44100 bytes a second
        2, 0,                   // block align
        16, 0,                  // bits
        22, 0,                  // extra size
        16, 0,                  // valid bits
        4, 0, 0, 0,             // channel mask: front centre
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, // PCM
        0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71,
        'd', 'a', 't', 'a', 0, 0, 0, 0,
    };
    PutU32(b, 4, static_cast<std::uint32_t>(b.size()) - 8 + size);
    PutU32(b, 64, size);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

} // namespace

TEST_F(WavLoading, TheExtensibleFormatWithPcmDataLoadsOtherSubFormatsAreRefused)
{
    const std::vector<std::uint8_t> pcm = datakit::pcm16_bytes(Sine(441.0, 22050, 0.5));
    Write("ext.wav", ExtensibleWav(pcm));
    ASSERT_EQ(sound.AddSample("ext.wav", 1, false, false), kSoundOk);
    const SoundSlot& slot = sound.Sample(sound.FindSample(1));
    EXPECT_EQ(slot.m_Format.rate, 22050u);
    EXPECT_EQ(slot.m_Format.bits, 16);
    EXPECT_EQ(slot.m_uDataSize, pcm.size());
    ASSERT_EQ(sound.Play(1, 0, kSoundKeep, kSoundKeepF, kSoundKeep, kPlayLoop), kSoundOk);
    EXPECT_NEAR(Pitch(Mix(0.5), 0), 441.0, 6.0);
    sound.StopVoice(1, 0);
    // Fewer valid bits than the container holds play as the container.
    std::vector<std::uint8_t> twelve = ExtensibleWav(pcm);
    twelve[38] = 12;
    Write("ext12.wav", twelve);
    EXPECT_EQ(sound.AddSample("ext12.wav", 2, false, false), kSoundOk);
    // The same as a stream.
    EXPECT_EQ(sound.OpenStream("ext.wav", 0), kSoundOk);
    sound.StopStream(0);

    const auto with = [&](auto change) {
        std::vector<std::uint8_t> b = ExtensibleWav(pcm);
        change(b);
        return b;
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"float sub-format", with([](auto& b) { b[44] = 3; })},
        {"another identifier's tail", with([](auto& b) { b[59] = 0x72; })},
        {"extra size below 22", with([](auto& b) { b[36] = 20; })},
        {"more valid bits than the container", with([](auto& b) { b[38] = 24; })},
        {"format chunk of 18 bytes", with([](auto& b) {
             PutU32(b, 16, 18);
             b.erase(b.begin() + 38, b.begin() + 60);
         })},
        {"file ends inside the extension", with([](auto& b) { b.resize(50); })},
    };
    for (const Case& c : cases) {
        Write("bad.wav", c.bytes);
        EXPECT_EQ(sound.AddSample("bad.wav", 3, false, false), kSoundFileError) << c.what;
        EXPECT_EQ(sound.OpenStream("bad.wav", 1), kSoundFileError) << c.what;
    }
}
