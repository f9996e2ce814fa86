#pragma once

#include <cstdint>
#include <vector>

// Sound synthesis for the demo data: engines, effects and music made from
// oscillators, filtered noise and envelopes. Everything is deterministic
// (its own noise generator), so the demo data is the same on every build.
namespace datakit::synth {

inline constexpr std::uint32_t kRate = 22050;

using Signal = std::vector<float>; // mono, nominally -1..1

// White noise from a fixed seed.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
    float next(); // -1..1
    float uniform(); // 0..1

private:
    std::uint32_t state_;
};

// A two-pole resonant filter (band-pass, low-pass or high-pass) run over a
// signal in place.
enum class FilterKind { LowPass, HighPass, BandPass };
void filter(Signal& s, FilterKind kind, double hz, double q);

// Scales the signal so that its largest magnitude is `peak`.
void normalise(Signal& s, float peak);

// Makes a loop seamless: the last `overlap` frames fade into the start,
// which they replace; the result is `overlap` frames shorter.
void crossfade_loop(Signal& s, std::size_t overlap);

// Adds `src` into `dst` from frame `at` with a gain (growing `dst` as
// needed).
void mix_into(Signal& dst, const Signal& src, std::size_t at, float gain);

// 16-bit samples of a signal (clipped).
std::vector<std::int16_t> to_pcm16(const Signal& s);

// An engine at `rpm` with `cylinders` cylinders firing evenly over two
// revolutions (a twin fires unevenly): harmonics of the firing frequency,
// the crank's sub-harmonic, and intake roar pulsing with the firing. About
// `seconds` long, exactly a whole number of crank cycles, so it loops
// seamlessly at any pitch. `character` (0..1) tilts the harmonics brighter.
Signal engine(double rpm, int cylinders, double character, double seconds, std::uint32_t seed);

// Effects.
Signal beep(double hz, double seconds);                 // start-light tone
Signal chime(double seconds);                           // a rising two-tone pick-up
Signal click(double hz, double seconds);                // a menu click
Signal crowd(double seconds, double excitement, std::uint32_t seed); // loop
Signal wind(double seconds, std::uint32_t seed);        // loop
Signal thump(double seconds, double hz, std::uint32_t seed);        // a heavy impact
Signal crash(double seconds, double metal, std::uint32_t seed);     // an impact with metal ringing
Signal scrape(double seconds, double brightness, std::uint32_t seed); // loop: metal or body sliding
Signal tyre_squeal(double seconds, double hz, std::uint32_t seed);    // loop
Signal gravel(double seconds, double grain_rate, double brightness, std::uint32_t seed); // loop
Signal hiss(double seconds, double hz, std::uint32_t seed);            // loop: sand or grass

// A piece of music: `bars` bars of 4/4 at `bpm`, in a key (MIDI note of the
// tonic), over a chord progression of scale degrees, with drums, bass, pad
// and a melody; a whole number of bars, so it loops at its end. `energy`
// 0..1 picks sparse or busy parts.
struct Tune {
    double bpm = 120.0;
    int bars = 8;
    int tonic = 57;             // A3
    bool minor = true;
    std::vector<int> chords;    // scale degree (0..6) per bar, repeated
    double energy = 0.5;
    std::uint32_t seed = 1;
};
Signal music(const Tune& tune);

// A short finishing fanfare (not looping).
Signal fanfare(int tonic, double seconds);

} // namespace datakit::synth
