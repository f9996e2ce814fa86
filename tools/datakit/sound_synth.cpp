#include "tools/datakit/sound_synth.h"

#include <algorithm>
#include <cmath>

namespace datakit::synth {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

std::size_t frames_of(double seconds)
{
    return static_cast<std::size_t>(std::max(0.0, seconds) * kRate + 0.5);
}

double note_hz(double midi)
{
    return 440.0 * std::exp2((midi - 69.0) / 12.0);
}

// A decaying envelope: instant attack (or `attack` seconds), exponential
// decay with time constant `decay`.
double pluck(double t, double attack, double decay)
{
    if (t < 0.0)
        return 0.0;
    const double rise = attack > 0.0 ? std::min(1.0, t / attack) : 1.0;
    return rise * std::exp(-t / decay);
}

// Slowly wandering value 0..1: smoothed noise.
class Wander {
public:
    Wander(std::uint32_t seed, double hz) : noise_(seed), coeff_(1.0 - std::exp(-kTwoPi * hz / kRate)) {}
    double next()
    {
        if (--hold_ <= 0) {
            target_ = noise_.uniform();
            hold_ = static_cast<int>(kRate / 20);
        }
        value_ += (target_ - value_) * coeff_;
        return value_;
    }

private:
    Noise noise_;
    double coeff_;
    double target_ = 0.5;
    double value_ = 0.5;
    int hold_ = 0;
};

// A voice of a few harmonics, saw-like with `brightness` (0 dull .. 1
// bright).
struct Timbre {
    Timbre(double brightness, int harmonics) : count(std::min(harmonics, 8))
    {
        for (int h = 1; h <= count; ++h)
            amp[h - 1] = std::pow(static_cast<double>(h), -2.0 + brightness);
    }
    double operator()(double phase) const
    {
        double v = 0.0;
        for (int h = 1; h <= count; ++h)
            v += std::sin(phase * h) * amp[h - 1];
        return v;
    }
    int count;
    double amp[8] = {};
};

} // namespace

float Noise::next()
{
    return uniform() * 2.0f - 1.0f;
}

float Noise::uniform()
{
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<float>(state_ >> 8) / 16777216.0f;
}

void filter(Signal& s, FilterKind kind, double hz, double q)
{
    hz = std::clamp(hz, 10.0, kRate * 0.45);
    const double w = kTwoPi * hz / kRate;
    const double alpha = std::sin(w) / (2.0 * q);
    const double c = std::cos(w);
    double b0 = 0, b1 = 0, b2 = 0;
    switch (kind) {
    case FilterKind::LowPass:
        b0 = (1 - c) / 2;
        b1 = 1 - c;
        b2 = (1 - c) / 2;
        break;
    case FilterKind::HighPass:
        b0 = (1 + c) / 2;
        b1 = -(1 + c);
        b2 = (1 + c) / 2;
        break;
    case FilterKind::BandPass:
        b0 = alpha;
        b1 = 0;
        b2 = -alpha;
        break;
    }
    const double a0 = 1 + alpha;
    const double a1 = -2 * c;
    const double a2 = 1 - alpha;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (float& v : s) {
        const double x = v;
        const double y = (b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2) / a0;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        v = static_cast<float>(y);
    }
}

void normalise(Signal& s, float peak)
{
    float most = 0.0f;
    for (const float v : s)
        most = std::max(most, std::fabs(v));
    if (most <= 0.0f)
        return;
    const float k = peak / most;
    for (float& v : s)
        v *= k;
}

void crossfade_loop(Signal& s, std::size_t overlap)
{
    if (overlap == 0 || s.size() <= 2 * overlap)
        return;
    const std::size_t n = s.size() - overlap;
    for (std::size_t i = 0; i < overlap; ++i) {
        const float t = static_cast<float>(i) / static_cast<float>(overlap);
        s[i] = s[i] * t + s[n + i] * (1.0f - t);
    }
    s.resize(n);
}

void mix_into(Signal& dst, const Signal& src, std::size_t at, float gain)
{
    if (dst.size() < at + src.size())
        dst.resize(at + src.size(), 0.0f);
    for (std::size_t i = 0; i < src.size(); ++i)
        dst[at + i] += src[i] * gain;
}

std::vector<std::int16_t> to_pcm16(const Signal& s)
{
    std::vector<std::int16_t> out(s.size());
    for (std::size_t i = 0; i < s.size(); ++i)
        out[i] = static_cast<std::int16_t>(std::lround(std::clamp(s[i], -1.0f, 1.0f) * 32767.0f));
    return out;
}

Signal engine(double rpm, int cylinders, double character, double seconds, std::uint32_t seed)
{
    // A whole number of crank cycles (two revolutions) in the loop.
    const double cycle = kRate * 120.0 / rpm;
    const int cycles = std::max(2, static_cast<int>(std::lround(seconds * kRate / cycle)));
    const auto length = static_cast<std::size_t>(std::lround(cycles * cycle));
    const double fc = cycles * static_cast<double>(kRate) / static_cast<double>(length); // cycle frequency
    const std::size_t overlap = length / 8;
    Signal s(length + overlap, 0.0f);

    Noise phases(seed);
    const int top = static_cast<int>(7000.0 / fc);
    std::vector<double> amp(static_cast<std::size_t>(top) + 1, 0.0);
    std::vector<double> phase0(amp.size(), 0.0);
    for (int h = 1; h <= top; ++h) {
        // Multiples of the firing order carry the note; the others are the
        // engine's irregularity (a twin fires unevenly and has more of them).
        const bool firing = h % cylinders == 0;
        const double n = firing ? h / cylinders : h;
        const double tilt = 1.25 - 0.6 * character;
        amp[h] = (firing ? 1.0 : (cylinders == 2 ? 0.35 : 0.12)) / std::pow(n, tilt);
        if (h == 1 || h == 2)
            amp[h] += 0.25; // the crank's sub-harmonic rumble
        phase0[h] = phases.uniform() * kTwoPi;
    }
    // One crank cycle as a table, read at the cycle frequency.
    constexpr int kTable = 4096;
    std::vector<double> table(kTable + 1, 0.0);
    for (int h = 1; h <= top; ++h)
        for (int k = 0; k < kTable; ++k)
            table[k] += amp[h] * std::sin(kTwoPi * h * k / kTable + phase0[h]);
    table[kTable] = table[0];
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double cyclePos = std::fmod(fc * static_cast<double>(i) / kRate, 1.0) * kTable;
        const auto k = static_cast<int>(cyclePos);
        const double frac = cyclePos - k;
        s[i] = static_cast<float>(table[k] + (table[k + 1] - table[k]) * frac);
    }
    normalise(s, 0.6f);

    // Intake and exhaust roar: noise pulsing with each firing.
    Noise noise(seed + 17);
    Signal roar(s.size());
    for (float& v : roar)
        v = noise.next();
    filter(roar, FilterKind::LowPass, 500.0 + fc * cylinders * 5.0, 0.8);
    const double ff = fc * cylinders;
    for (std::size_t i = 0; i < roar.size(); ++i) {
        const double pulse = std::pow(0.5 + 0.5 * std::cos(kTwoPi * ff * static_cast<double>(i) / kRate), 3.0);
        roar[i] *= static_cast<float>(0.3 + 0.7 * pulse);
    }
    normalise(roar, 0.25f + 0.15f * static_cast<float>(character));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] += roar[i];
    crossfade_loop(s, overlap);
    normalise(s, 0.85f);
    return s;
}

Signal beep(double hz, double seconds)
{
    Signal s(frames_of(seconds));
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double env = std::min(1.0, t / 0.005) * std::min(1.0, (seconds - t) / 0.02);
        s[i] = static_cast<float>(env * (0.8 * std::sin(kTwoPi * hz * t) + 0.2 * std::sin(kTwoPi * 3 * hz * t)));
    }
    normalise(s, 0.7f);
    return s;
}

Signal chime(double seconds)
{
    Signal s(frames_of(seconds));
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double a = pluck(t, 0.002, 0.12) * std::sin(kTwoPi * note_hz(84) * t);
        const double b = pluck(t - 0.08, 0.002, 0.2) * std::sin(kTwoPi * note_hz(91) * t);
        s[i] = static_cast<float>(a + b);
    }
    normalise(s, 0.6f);
    return s;
}

Signal click(double hz, double seconds)
{
    Signal s(frames_of(seconds));
    Noise noise(7);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        s[i] = static_cast<float>(pluck(t, 0.0005, 0.012) * (std::sin(kTwoPi * hz * t) + 0.3 * noise.next()));
    }
    normalise(s, 0.6f);
    return s;
}

Signal crowd(double seconds, double excitement, std::uint32_t seed)
{
    const std::size_t overlap = frames_of(0.5);
    Signal s(frames_of(seconds) + overlap, 0.0f);
    // Groups of voices: band-passed noise at speech formants, each swelling
    // and falling on its own.
    const double formants[] = {450.0, 800.0, 1200.0, 1900.0, 2600.0};
    for (int g = 0; g < 5; ++g) {
        Noise noise(seed + 31 * g);
        Signal band(s.size());
        for (float& v : band)
            v = noise.next();
        filter(band, FilterKind::BandPass, formants[g], 2.0);
        Wander swell(seed + 97 * g, 1.5 + g * 0.7);
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] += band[i] * static_cast<float>(0.3 + excitement * swell.next());
    }
    // Whistles and shouts rising out of an excited crowd.
    Noise pick(seed + 5);
    const int whistles = static_cast<int>(excitement * seconds * 1.5);
    for (int w = 0; w < whistles; ++w) {
        const double start = pick.uniform() * (seconds - 0.6);
        const double hz = 1800.0 + 900.0 * pick.uniform();
        Signal whistle(frames_of(0.5));
        for (std::size_t i = 0; i < whistle.size(); ++i) {
            const double t = static_cast<double>(i) / kRate;
            whistle[i] = static_cast<float>(std::sin(kTwoPi * (hz + 400.0 * t) * t) * std::sin(kPi * t / 0.5));
        }
        mix_into(s, whistle, frames_of(start), 0.15f);
    }
    crossfade_loop(s, overlap);
    normalise(s, 0.6f);
    return s;
}

Signal wind(double seconds, std::uint32_t seed)
{
    const std::size_t overlap = frames_of(0.5);
    Signal s(frames_of(seconds) + overlap);
    Noise noise(seed);
    for (float& v : s)
        v = noise.next();
    filter(s, FilterKind::LowPass, 700.0, 0.7);
    Wander gust(seed + 3, 0.8);
    for (float& v : s)
        v *= static_cast<float>(0.4 + 0.8 * gust.next());
    filter(s, FilterKind::HighPass, 80.0, 0.7);
    crossfade_loop(s, overlap);
    normalise(s, 0.5f);
    return s;
}

Signal thump(double seconds, double hz, std::uint32_t seed)
{
    Signal s(frames_of(seconds));
    Noise noise(seed);
    Signal burst(s.size());
    for (float& v : burst)
        v = noise.next();
    filter(burst, FilterKind::LowPass, 1500.0, 0.7);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double body = pluck(t, 0.002, 0.12) * std::sin(kTwoPi * hz * (1.0 - 0.3 * t) * t);
        s[i] = static_cast<float>(body + burst[i] * pluck(t, 0.001, 0.05));
    }
    normalise(s, 0.85f);
    return s;
}

Signal crash(double seconds, double metal, std::uint32_t seed)
{
    Signal s = thump(seconds, 70.0, seed);
    Noise noise(seed + 11);
    Signal debris(s.size());
    for (float& v : debris)
        v = noise.next();
    filter(debris, FilterKind::HighPass, 900.0, 0.7);
    // Parts hitting the ground after the first blow: a few more bursts.
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        double env = pluck(t, 0.002, 0.25);
        for (int k = 1; k <= 3; ++k)
            env += 0.5 * pluck(t - k * seconds * 0.18, 0.002, 0.08);
        s[i] += static_cast<float>(0.7 * debris[i] * env);
    }
    // Metal rings at inharmonic partials.
    const double partials[] = {1130.0, 2470.0, 3710.0, 5230.0};
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        double ring = 0.0;
        for (int p = 0; p < 4; ++p)
            ring += std::sin(kTwoPi * partials[p] * (1.0 + 0.02 * seed) * t) * pluck(t, 0.001, 0.35 / (p + 1));
        s[i] += static_cast<float>(metal * 0.4 * ring);
    }
    normalise(s, 0.9f);
    return s;
}

Signal scrape(double seconds, double brightness, std::uint32_t seed)
{
    const std::size_t overlap = frames_of(0.2);
    Signal s(frames_of(seconds) + overlap);
    Noise noise(seed);
    for (float& v : s)
        v = noise.next();
    filter(s, FilterKind::BandPass, 1200.0 + 3000.0 * brightness, 1.5);
    Signal grind(s.size());
    for (float& v : grind)
        v = noise.next();
    filter(grind, FilterKind::LowPass, 400.0, 0.7);
    Wander jitter(seed + 1, 12.0);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double squeal = brightness * 0.2 * std::sin(kTwoPi * (2900.0 + 200.0 * std::sin(kTwoPi * 3.0 * t)) * t);
        s[i] = static_cast<float>((s[i] + 0.8 * grind[i] + squeal) * (0.5 + jitter.next()));
    }
    crossfade_loop(s, overlap);
    normalise(s, 0.7f);
    return s;
}

Signal tyre_squeal(double seconds, double hz, std::uint32_t seed)
{
    // Whole periods of the vibrato in the loop.
    const double vibrato = 6.0;
    const double loop = std::max(1.0, std::round(seconds * vibrato)) / vibrato;
    const std::size_t overlap = frames_of(0.1);
    Signal s(frames_of(loop) + overlap);
    Noise noise(seed);
    Signal rough(s.size());
    for (float& v : rough)
        v = noise.next();
    filter(rough, FilterKind::BandPass, hz * 2.0, 3.0);
    double phase = 0.0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        phase += kTwoPi * hz * (1.0 + 0.03 * std::sin(kTwoPi * vibrato * t)) / kRate;
        const double v = std::sin(phase) + 0.45 * std::sin(2.0 * phase) + 0.25 * std::sin(3.0 * phase);
        s[i] = static_cast<float>(v * (0.8 + 0.2 * std::sin(kTwoPi * 2.0 * vibrato * t)) + 1.5 * rough[i]);
    }
    crossfade_loop(s, overlap);
    normalise(s, 0.7f);
    return s;
}

Signal gravel(double seconds, double grain_rate, double brightness, std::uint32_t seed)
{
    const std::size_t overlap = frames_of(0.2);
    Signal s(frames_of(seconds) + overlap, 0.0f);
    Noise noise(seed);
    // Stones: short noise grains at random moments.
    const int grains = static_cast<int>(grain_rate * seconds);
    Signal grain(frames_of(0.012));
    for (int g = 0; g < grains; ++g) {
        for (std::size_t i = 0; i < grain.size(); ++i)
            grain[i] = noise.next() * static_cast<float>(pluck(static_cast<double>(i) / kRate, 0.0005, 0.003));
        mix_into(s, grain, static_cast<std::size_t>(noise.uniform() * static_cast<float>(s.size() - grain.size())),
                 0.3f + 0.7f * noise.uniform());
    }
    filter(s, FilterKind::BandPass, 800.0 + 2500.0 * brightness, 0.9);
    crossfade_loop(s, overlap);
    normalise(s, 0.7f);
    return s;
}

Signal hiss(double seconds, double hz, std::uint32_t seed)
{
    const std::size_t overlap = frames_of(0.2);
    Signal s(frames_of(seconds) + overlap);
    Noise noise(seed);
    for (float& v : s)
        v = noise.next();
    filter(s, FilterKind::BandPass, hz, 0.8);
    Wander flutter(seed + 2, 8.0);
    for (float& v : s)
        v *= static_cast<float>(0.5 + flutter.next());
    crossfade_loop(s, overlap);
    normalise(s, 0.6f);
    return s;
}

Signal music(const Tune& tune)
{
    static constexpr int kMinor[7] = {0, 2, 3, 5, 7, 8, 10};
    static constexpr int kMajor[7] = {0, 2, 4, 5, 7, 9, 11};
    const int* scale = tune.minor ? kMinor : kMajor;
    const auto degree_note = [&](int degree) {
        const int octave = degree >= 0 ? degree / 7 : (degree - 6) / 7;
        return tune.tonic + 12 * octave + scale[degree - 7 * octave];
    };

    const double beat = 60.0 / tune.bpm;
    const double bar = 4.0 * beat;
    const std::size_t length = frames_of(tune.bars * bar);
    Signal s(length + frames_of(2.0), 0.0f);
    Noise noise(tune.seed);
    const auto at = [&](double t) { return frames_of(t); };

    // Drums.
    Signal kick(frames_of(0.3));
    for (std::size_t i = 0; i < kick.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        kick[i] = static_cast<float>(pluck(t, 0.001, 0.08) * std::sin(kTwoPi * (50.0 + 90.0 * std::exp(-t / 0.03)) * t));
    }
    Signal snare(frames_of(0.2));
    for (std::size_t i = 0; i < snare.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        snare[i] = static_cast<float>(pluck(t, 0.001, 0.05) * (0.7 * noise.next() + 0.4 * std::sin(kTwoPi * 190.0 * t)));
    }
    Signal hat(frames_of(0.05));
    for (std::size_t i = 0; i < hat.size(); ++i)
        hat[i] = noise.next() * static_cast<float>(pluck(static_cast<double>(i) / kRate, 0.0005, 0.012));
    filter(hat, FilterKind::HighPass, 7000.0, 0.7);

    for (int b = 0; b < tune.bars; ++b) {
        const double t0 = b * bar;
        const int chord = tune.chords.empty() ? 0 : tune.chords[static_cast<std::size_t>(b) % tune.chords.size()];
        for (int q = 0; q < 4; ++q) {
            if (q % 2 == 0 || tune.energy > 0.6)
                mix_into(s, kick, at(t0 + q * beat), 0.9f);
            if (q % 2 == 1)
                mix_into(s, snare, at(t0 + q * beat), 0.5f);
        }
        const int hats = tune.energy > 0.7 ? 16 : 8;
        for (int h = 0; h < hats; ++h)
            mix_into(s, hat, at(t0 + h * bar / hats), h % 2 ? 0.12f : 0.2f);

        // Pad: the chord held through the bar.
        static const Timbre kPad(0.3, 5);
        Signal pad(at(bar));
        for (int n = 0; n < 3; ++n) {
            const double hz = note_hz(degree_note(chord + 2 * n));
            for (std::size_t i = 0; i < pad.size(); ++i) {
                const double t = static_cast<double>(i) / kRate;
                const double env = std::min(1.0, t / 0.25) * std::min(1.0, (bar - t) / 0.2);
                pad[i] += static_cast<float>(env * kPad(kTwoPi * hz * t) * 0.3);
            }
        }
        filter(pad, FilterKind::LowPass, 1800.0, 0.7);
        mix_into(s, pad, at(t0), 0.35f);

        // Bass on the root, an octave down.
        const double root = note_hz(degree_note(chord) - 12);
        const int steps = tune.energy > 0.5 ? 8 : 4;
        for (int k = 0; k < steps; ++k) {
            Signal note(at(bar / steps));
            const double hz = k % 4 == 3 && tune.energy > 0.5 ? root * 1.5 : root;
            for (std::size_t i = 0; i < note.size(); ++i) {
                const double t = static_cast<double>(i) / kRate;
                note[i] = static_cast<float>(pluck(t, 0.003, 0.18) *
                                             (std::sin(kTwoPi * hz * t) + 0.35 * std::sin(kTwoPi * 2 * hz * t)));
            }
            mix_into(s, note, at(t0 + k * bar / steps), 0.55f);
        }

        // Melody in eighths, an octave up, on chord tones and their neighbours.
        for (int k = 0; k < 8; ++k) {
            if (noise.uniform() > 0.35 + 0.5 * tune.energy)
                continue;
            const int step = static_cast<int>(noise.uniform() * 5.0f) - 1;
            const double hz = note_hz(degree_note(chord + (k % 3) * 2 + step) + 12);
            const double len = beat * (noise.uniform() < 0.3 ? 1.0 : 0.5);
            static const Timbre kLead(0.5, 4);
            Signal note(at(len + 0.3));
            for (std::size_t i = 0; i < note.size(); ++i) {
                const double t = static_cast<double>(i) / kRate;
                const double vib = 1.0 + 0.004 * std::sin(kTwoPi * 5.5 * t);
                note[i] = static_cast<float>(pluck(t, 0.01, len * 0.8) * kLead(kTwoPi * hz * vib * t));
            }
            mix_into(s, note, at(t0 + k * beat / 2), 0.3f);
        }
    }
    // What rings on past the last bar goes into the first, so the loop
    // joins without a click.
    for (std::size_t i = length; i < s.size(); ++i)
        s[i - length] += s[i];
    s.resize(length);
    normalise(s, 0.8f);
    return s;
}

Signal fanfare(int tonic, double seconds)
{
    const Timbre brass(0.7, 6);
    Signal s(frames_of(seconds), 0.0f);
    const int arpeggio[] = {0, 4, 7, 12};
    for (int k = 0; k < 4; ++k) {
        Signal note(frames_of(0.4));
        const double hz = note_hz(tonic + arpeggio[k]);
        for (std::size_t i = 0; i < note.size(); ++i) {
            const double t = static_cast<double>(i) / kRate;
            note[i] = static_cast<float>(pluck(t, 0.01, 0.25) * brass(kTwoPi * hz * t));
        }
        mix_into(s, note, frames_of(k * 0.15), 0.5f);
    }
    for (const int n : {0, 4, 7, 12}) {
        const double hz = note_hz(tonic + n);
        const double start = 0.6;
        for (std::size_t i = frames_of(start); i < s.size(); ++i) {
            const double t = static_cast<double>(i) / kRate - start;
            const double env = std::min(1.0, t / 0.05) * std::max(0.0, 1.0 - t / (seconds - start));
            s[i] += static_cast<float>(0.25 * env * brass(kTwoPi * hz * t));
        }
    }
    filter(s, FilterKind::LowPass, 4000.0, 0.7);
    normalise(s, 0.8f);
    return s;
}

} // namespace datakit::synth
