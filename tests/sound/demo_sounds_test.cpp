#include <gtest/gtest.h>

#include "app/mixer.h"
#include "sound/wav_file.h"
#include "tests/sound/sound_fixture.h"
#include "tools/datakit/bike_data_writer.h"
#include "tools/datakit/demo_sounds.h"

using namespace sound_test;

namespace {

// The demo sounds, made once for the whole suite.
const std::filesystem::path& DemoFolder()
{
    static const std::filesystem::path folder = [] {
        const std::filesystem::path dir = torvane_test::make_temp_dir("demo_sounds");
        std::string error;
        EXPECT_TRUE(datakit::write_demo_sounds(dir, error)) << error;
        return dir;
    }();
    return folder;
}

// Rising zero crossings per second of the left channel.
double Crossings(const std::vector<std::int16_t>& pcm)
{
    return Pitch(pcm, 0);
}

} // namespace

class DemoSounds : public SoundFixture {
protected:
    DemoSounds() : demo_(DemoFolder()) {}
    torvane_test::ScopedCwd demo_;
};

TEST_F(DemoSounds, TheRaceLoadsEveryEffectAndEngineSetAsItNamesThem)
{
    const std::vector<std::string>& names = datakit::demo_effect_names();
    ASSERT_EQ(names.size(), 20u);
    for (int id = 0; id < 20; ++id)
        EXPECT_EQ(sound.AddSample(("Sfx\\" + names[static_cast<std::size_t>(id)] + ".wav").c_str(), id, id != 0, false),
                  kSoundOk)
            << names[static_cast<std::size_t>(id)];
    int next = 20;
    for (const datakit::ManufacturerSpec& model : datakit::demo_manufacturers()) {
        const int layers = sound.LoadWav("sfx\\engines\\engines.dat", model.model_name.c_str(), "sfx\\engines\\", next);
        EXPECT_EQ(layers, 4) << model.model_name;
        next += layers;
    }
    EXPECT_EQ(sound.SampleCount(), 40);
    for (const char* music : {"sfx\\music\\menu_g01.wav", "Sfx\\Music\\Attract.wav", "Sfx\\Music\\Race_01.wav",
                              "Sfx\\Music\\Race_02.wav", "Sfx\\Music\\Jingle_01.wav"}) {
        EXPECT_EQ(sound.OpenStream(music, 0), kSoundOk) << music;
        // Long enough to need refilling, except the jingle.
        if (std::string(music).find("Jingle") == std::string::npos) {
            EXPECT_GT(sound.Stream(0).m_uDataSize, 4 * sound.Stream(0).m_uBufferSize) << music;
        }
    }
    sound.StopStream(0);
}

TEST_F(DemoSounds, EngineLayersCoverTheRevsAndRiseWithThem)
{
    for (const datakit::ManufacturerSpec& model : datakit::demo_manufacturers()) {
        const std::vector<datakit::SoundLayerSpec> layers = datakit::demo_engine_layers(model.model_name);
        // Every rev from 1000 to 14999 has a layer at full or fading level,
        // and the next band has begun before one ends.
        for (std::size_t i = 1; i < layers.size(); ++i) {
            EXPECT_LT(layers[i].low, layers[i - 1].high) << model.model_name << " " << i;
            EXPECT_NE(layers[i].slot, layers[i - 1].slot);
            EXPECT_LE(layers[i - 1].full_to, layers[i].full_from);
        }
        EXPECT_LE(layers.front().low, 1000);
        EXPECT_GE(layers.back().high, 15000);
    }
    int next = 20;
    for (const datakit::ManufacturerSpec& model : datakit::demo_manufacturers())
        next += sound.LoadWav("sfx\\engines\\engines.dat", model.model_name.c_str(), "sfx\\engines\\", next);
    // Inside each band the mixed engine's rate of crossings grows with the revs.
    const float pairs[][2] = {{1000.0f, 2000.0f}, {2600.0f, 4500.0f}, {5200.0f, 8000.0f}, {9200.0f, 14000.0f}};
    for (int set = 0; set < sound.SetCount(); ++set) {
        for (const auto& pair : pairs) {
            sound.PlaySoundSet(set, pair[0], 0.02f, 1.0f);
            const double low = Crossings(Mix(0.5));
            sound.PlaySoundSet(set, pair[1], 0.02f, 1.0f);
            const double high = Crossings(Mix(0.5));
            EXPECT_GT(high, low * 1.2) << "set " << set << " at " << pair[0] << " and " << pair[1];
        }
        sound.PlaySoundSet(set, -1.0f, 0.0f, 1.0f);
    }
}

TEST_F(DemoSounds, LoopsJoinWithoutAClick)
{
    for (const char* name : {"Sfx\\engines\\Vortan_mid.wav", "Sfx\\Skid0.wav", "Sfx\\Cheer3.wav", "Sfx\\Crash3l.wav",
                             "Sfx\\Music\\Race_01.wav"}) {
        mixer file;
        ASSERT_TRUE(OpenSoundFile(name, file)) << name;
        WavInfo wav;
        ASSERT_TRUE(ReadWavHeader(file, wav)) << name;
        std::vector<std::int16_t> s(wav.data_size / 2);
        file.seekfile(static_cast<int>(wav.data_start), 0);
        ASSERT_EQ(file.read(s.data(), static_cast<int>(wav.data_size)), static_cast<int>(wav.data_size));
        int largest = 0;
        for (std::size_t i = 1; i < s.size(); ++i)
            largest = std::max(largest, std::abs(s[i] - s[i - 1]));
        EXPECT_LE(std::abs(s.front() - s.back()), largest) << name;
    }
}
