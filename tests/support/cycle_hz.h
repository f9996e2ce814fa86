#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace torvane_test {

// The frequency of the crank cycle (two revolutions) heard in the left
// channel of an interleaved stereo mix at `rate` Hz: the lag of the
// strongest normalised autocorrelation between 0.8 and 1.25 times the
// expected cycle, refined between its neighbours by a parabola. The firing
// harmonics repeat within the cycle at a quarter, a third or a half of it,
// none of which falls inside that window. 0 when the mix is too short to
// hold the window's longest lag twice.
inline double CycleHz(const std::vector<std::int16_t>& pcm, double expectedHz, double rate = 22050.0)
{
    const std::size_t frames = pcm.size() / 2;
    const double expectedLag = rate / expectedHz;
    const auto first = static_cast<std::size_t>(expectedLag * 0.8);
    const auto last = static_cast<std::size_t>(expectedLag * 1.25) + 1;
    if (first < 2 || frames < 2 * (last + 2))
        return 0.0;
    const std::size_t span = frames - last - 1;
    std::vector<double> r(last + 2, 0.0);
    for (std::size_t lag = first - 1; lag <= last + 1; ++lag) {
        double xy = 0.0, xx = 0.0, yy = 0.0;
        for (std::size_t i = 0; i < span; ++i) {
            const double x = pcm[2 * i], y = pcm[2 * (i + lag)];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        r[lag] = xx > 0.0 && yy > 0.0 ? xy / std::sqrt(xx * yy) : 0.0;
    }
    std::size_t best = first;
    for (std::size_t lag = first; lag <= last; ++lag)
        if (r[lag] > r[best])
            best = lag;
    const double a = r[best - 1], b = r[best], c = r[best + 1];
    const double denominator = a - 2.0 * b + c;
    const double offset = denominator < 0.0 ? 0.5 * (a - c) / denominator : 0.0;
    return rate / (static_cast<double>(best) + offset);
}

} // namespace torvane_test
