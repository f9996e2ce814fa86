#include "tools/datakit/demo_sounds.h"

#include <cmath>

#include "tools/datakit/bike_data_writer.h"
#include "tools/datakit/sound_synth.h"
#include "tools/datakit/wav_writer.h"

namespace datakit {

namespace {

using synth::Signal;

// One rev band of an engine set: the revs its sample was made at, and the
// band's edges in semitones from it (whole semitones, so the pitch the set
// gives at each edge is exactly the ratio of the revs).
struct EngineBand {
    const char* suffix;
    double reference;  // rpm of the recording
    int below;         // semitones from the reference down to the band's start
    int above;         // and up to its end
    int slot;
};

constexpr EngineBand kBands[] = {
    {"idle", 1200.0, -12, 12, 0},  // 600 .. 2400
    {"low", 3000.0, -6, 9, 1},     // 2121 .. 5045
    {"mid", 6000.0, -5, 7, 0},     // 4495 .. 8990
    {"high", 10000.0, -4, 7, 1},   // 7937 .. 14983 (the last band runs to 15000)
};

// The other bikes' engines play one sample of their set, at 2000 + 2 x revs
// Hz whatever the sample's own rate. Made at the revs that formula plays at
// the sample's own rate for 9000 rpm, it is heard at the bike's revs there
// and within about a semitone from 6000 to 15000 rpm.
constexpr double kOtherBikesRevs = 9000.0;
constexpr double kOtherBikesReference = synth::kRate * kOtherBikesRevs / (2000.0 + 2.0 * kOtherBikesRevs);
constexpr const char* kOtherBikesSuffix = "far";
// Its layer sits in a slot of its own with an empty range: the set itself
// never sounds it.
constexpr int kOtherBikesSlot = 4;

struct EngineCharacter {
    int cylinders;
    double brightness;
};

// The five demo models: two fours, a twin, a triple and a screaming four.
constexpr EngineCharacter kCharacters[kDemoBikeModels] = {{4, 0.5}, {4, 0.7}, {2, 0.3}, {3, 0.5}, {4, 0.9}};

int band_edge(const EngineBand& band, int semitones)
{
    return static_cast<int>(std::lround(band.reference * std::exp2(semitones / 12.0)));
}

Signal scaled(Signal s, float gain)
{
    for (float& v : s)
        v *= gain;
    return s;
}

bool write_signal(const std::filesystem::path& path, const Signal& s, std::string& error)
{
    return write_wav16(path, synth::kRate, 1, synth::to_pcm16(s), error);
}

bool write_effects(const std::filesystem::path& sfx, std::string& error)
{
    using namespace synth;
    const Signal effects[] = {
        scaled(beep(880.0, 0.35), 0.5f),  // Sema: the start lights, below the engines
        crowd(3.0, 0.3, 2),               // Cheer2
        crowd(3.0, 0.6, 3),               // Cheer3
        crowd(3.0, 0.9, 4),               // Cheer4
        thump(0.6, 90.0, 5),              // WallHit
        crash(1.0, 0.8, 6),               // Crash1
        crash(1.2, 0.6, 7),               // Crash2
        crash(1.5, 1.0, 8),               // Crash3
        scrape(1.0, 0.9, 9),              // Crash3l: metal sliding, looped
        scrape(1.0, 0.7, 10),             // MetalSkd
        hiss(1.0, 1200.0, 11),            // GrassSkd
        gravel(1.0, 180.0, 0.3, 12),      // SandGras
        tyre_squeal(1.0, 950.0, 13),      // Skid0
        gravel(1.0, 400.0, 0.5, 14),      // SandGrip
        thump(0.7, 60.0, 15),             // FCrash1: the rider's fall
        crash(0.9, 0.3, 16),              // FCrash2
        crash(1.1, 0.5, 17),              // FCrash3
        scrape(1.0, 0.2, 18),             // FCrash3l: a body sliding, looped
        hiss(1.0, 3000.0, 19),            // Sand
        chime(0.4),                       // PickUp
    };
    const std::vector<std::string>& names = demo_effect_names();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!write_signal(sfx / (names[i] + ".wav"), effects[i], error))
            return false;
    // Beside the race's set: a wind loop and a gear change's clunk.
    return write_signal(sfx / "Wind.wav", wind(4.0, 20), error) &&
           write_signal(sfx / "Shift.wav", thump(0.15, 180.0, 21), error);
}

bool write_engines(const std::filesystem::path& engines, std::string& error)
{
    TypedListWriter list;
    const std::vector<ManufacturerSpec> models = demo_manufacturers();
    for (std::size_t m = 0; m < models.size() && m < static_cast<std::size_t>(kDemoBikeModels); ++m) {
        const EngineCharacter& character = kCharacters[m];
        const auto write_engine = [&](const char* suffix, double rpm) {
            const Signal s = synth::engine(rpm, character.cylinders, character.brightness, 0.6,
                                           static_cast<std::uint32_t>(100 + 10 * m));
            return write_signal(engines / (models[m].model_name + "_" + suffix + ".wav"), s, error);
        };
        for (const EngineBand& band : kBands)
            if (!write_engine(band.suffix, band.reference))
                return false;
        if (!write_engine(kOtherBikesSuffix, kOtherBikesReference))
            return false;
        add_sound_set_list(list, models[m].model_name, demo_engine_layers(models[m].model_name));
    }
    return list.write(engines / "engines.dat", error);
}

bool write_music(const std::filesystem::path& music, std::string& error)
{
    using namespace synth;
    struct Piece {
        const char* name;
        Tune tune;
    };
    const Piece pieces[] = {
        {"menu_g01", Tune{96.0, 8, 57, true, {0, 5, 3, 4}, 0.35, 1}},
        {"Attract", Tune{120.0, 8, 55, false, {0, 4, 5, 3}, 0.6, 2}},
        {"Race_01", Tune{138.0, 8, 52, true, {0, 0, 5, 6}, 0.85, 3}},
        {"Race_02", Tune{144.0, 8, 50, true, {0, 3, 4, 4}, 0.9, 4}},
    };
    for (const Piece& p : pieces)
        if (!write_signal(music / (std::string(p.name) + ".wav"), synth::music(p.tune), error))
            return false;
    return write_signal(music / "Jingle_01.wav", fanfare(60, 3.0), error);
}

bool write_menu_sounds(const std::filesystem::path& menu, std::string& error)
{
    using namespace synth;
    return write_signal(menu / "Click.wav", click(1800.0, 0.06), error) &&
           write_signal(menu / "Select.wav", chime(0.3), error) &&
           write_signal(menu / "Back.wav", click(900.0, 0.08), error) &&
           write_signal(menu / "Dialog.wav", beep(660.0, 0.15), error);
}

} // namespace

const std::vector<std::string>& demo_effect_names()
{
    static const std::vector<std::string> names = {
        "Sema",    "Cheer2",   "Cheer3",  "Cheer4",  "WallHit", "Crash1",  "Crash2",
        "Crash3",  "Crash3l",  "MetalSkd", "GrassSkd", "SandGras", "Skid0", "SandGrip",
        "FCrash1", "FCrash2",  "FCrash3", "FCrash3l", "Sand",    "PickUp",
    };
    return names;
}

std::vector<SoundLayerSpec> demo_engine_layers(const std::string& model)
{
    std::vector<SoundLayerSpec> layers;
    const int count = static_cast<int>(std::size(kBands));
    for (int b = 0; b < count; ++b) {
        const EngineBand& band = kBands[b];
        SoundLayerSpec l;
        l.name = model + "_" + band.suffix;
        l.slot = band.slot;
        l.low = band_edge(band, band.below);
        l.high = b + 1 == count ? 15000 : band_edge(band, band.above);
        l.pitch_low = band.below;
        l.pitch_high = band.above;
        // Full level between the neighbours' edges: each band fades in
        // while the one below fades out.
        l.full_from = b == 0 ? l.low + 100 : band_edge(kBands[b - 1], kBands[b - 1].above);
        l.full_to = b + 1 == count ? 15000 : band_edge(kBands[b + 1], kBands[b + 1].below) +
                                                 (band_edge(band, band.above) -
                                                  band_edge(kBands[b + 1], kBands[b + 1].below)) / 2;
        l.volume_low = 0.0f;
        l.volume_high = 0.9f;
        layers.push_back(l);
    }
    SoundLayerSpec far;
    far.name = model + "_" + kOtherBikesSuffix;
    far.slot = kOtherBikesSlot;
    far.enabled = true;
    layers.push_back(far);
    return layers;
}

bool write_demo_sounds(const std::filesystem::path& root, std::string& error)
{
    return write_effects(root / "Sfx", error) && write_engines(root / "Sfx" / "engines", error) &&
           write_music(root / "Sfx" / "Music", error) && write_menu_sounds(root / "Sfx" / "Menu", error);
}

} // namespace datakit
