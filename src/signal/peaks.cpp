// SPDX-License-Identifier: Apache-2.0
// Adaptive-threshold peak detection. Rates are per minute, fs in Hz, distances in samples.
//
// The working signal y is x or, when presmoothing, its moving average of length
// L = smoothing_window_length(max_rate / 60, fs), searched back in x within r = L / 2 (else 0).
// Running f32 sums S and Q of y and y^2 over the c samples of [i - h, i + h], cut to the signal:
//
//   h = min(n / 2, max(round(fs * ((60 / rate) * window_cycles) * 0.5), 2))
//   mean = S / c,  sd = sqrt(max(Q / c - mean^2, 0)),  rate = the hint, else min_rate
//
// Sample i in [1, n - 2] is a candidate when sd > 1e-6, y[i] - mean > sd * threshold,
// y[i] > y[i - 1] and y[i] >= y[i + 1]. It is placed at the first maximum of x within r samples
// and, when refining, moved by the parabola vertex offset through its neighbours when that is
// at most half a sample. A candidate less than
//
//   D = ceil(fs * ((60 / upper) * (1 - refractory_fraction))),
//   upper = min(hint + max_rate_change * (n / fs) * 0.5, max_rate), or max_rate without a hint,
//
// after the last accepted one replaces it only when higher and flanked in x by a higher sample.
// Peaks more than G = floor(fs * ((60 / min_rate) * 2.5)) apart start a new segment.
//
// Fewer than 3 samples, flat input or no qualifying maxima give no segments. The running sums
// never recover from a NaN, so nothing is found once the window reaches one.
#include "signal/peaks.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "signal/filters.h"
#include "signal/parabola.h"
#include "types/numeric.h"

namespace quorvanta {
namespace {

struct Moments {
    float mean;
    float sd;
};

// Running f32 sums of y and y^2 over [max(0, i - h), min(n - 1, i + h)] for every centre i, with
// h <= n / 2. They start as the sums over the window of centre 0; each step adds the entering
// sample, then subtracts the leaving one. A pass of its own, so that the sums stay in registers.
class SlidingWindow {
public:
    SlidingWindow(std::span<const float> y, std::size_t h)
        : h_(h), sum_(y.size()), squares_(y.size()) {
        float sum = 0.0f, squares = 0.0f;
        for (std::size_t k = 0; k <= h; ++k) {
            sum += y[k];
            squares += y[k] * y[k];
        }
        for (std::size_t i = 0; i < y.size(); ++i) {
            if (i > 0 && i + h < y.size()) {
                sum += y[i + h];
                squares += y[i + h] * y[i + h];
            }
            if (i > h) {
                sum -= y[i - 1 - h];
                squares -= y[i - 1 - h] * y[i - 1 - h];
            }
            sum_[i] = sum;
            squares_[i] = squares;
        }
    }

    // Mean and population standard deviation of the window centred on i.
    Moments at(std::size_t i) const {
        const std::size_t lo = i > h_ ? i - h_ : 0;
        const std::size_t hi = std::min(sum_.size() - 1, i + h_);
        const float count = static_cast<float>(hi - lo + 1);
        const float mean = sum_[i] / count;
        return {mean, std::sqrt(max_num(squares_[i] / count - mean * mean, 0.0f))};
    }

private:
    std::size_t h_;
    std::vector<float> sum_, squares_;
};

std::size_t statistics_half_window(const PeakDetectorConfig& config, std::size_t n) {
    const float rate = config.rate_hint.value_or(config.min_rate);
    const float h0 = config.fs * ((kSecondsPerMinute / rate) * config.window_cycles) * 0.5f;
    const auto rounded = saturating_cast<std::uint64_t>(round_half_away(h0));
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(n / 2, std::max<std::uint64_t>(rounded, 2)));
}

std::uint64_t refractory_distance(const PeakDetectorConfig& config, std::size_t n) {
    float upper = config.max_rate;
    if (config.rate_hint) {
        const float seconds = static_cast<float>(n) / config.fs;
        upper = min_num(*config.rate_hint + config.max_rate_change * seconds * 0.5f, upper);
    }
    const float period_fraction = (kSecondsPerMinute / upper) * (1.0f - config.refractory_fraction);
    return saturating_cast<std::uint64_t>(std::ceil(config.fs * period_fraction));
}

float segment_gap(const PeakDetectorConfig& config) {
    const float gap = std::floor(config.fs * ((kSecondsPerMinute / config.min_rate) * 2.5f));
    return static_cast<float>(saturating_cast<std::uint64_t>(gap));
}

bool is_local_max(std::span<const float> y, std::size_t i) {
    return y[i] > y[i - 1] && y[i] >= y[i + 1];
}

bool stands_out(float value, Moments m, float threshold) {
    return m.sd > 1e-6f && value - m.mean > m.sd * threshold;
}

// The first strict maximum of x within radius samples of i, starting from x[i] itself.
Peak locate(std::span<const float> x, std::size_t i, std::uint64_t radius) {
    std::size_t index = i;
    // Both bounds lie within x, so they fit its size type even where that is narrower.
    const auto lo = static_cast<std::size_t>(i > radius ? i - radius : 0);
    const auto hi = static_cast<std::size_t>(radius < x.size() - i ? i + radius + 1 : x.size());
    for (std::size_t k = lo; k < hi; ++k) {
        if (x[k] > x[index]) index = k;
    }
    return {index, static_cast<float>(index), x[index]};
}

// A candidate within the refractory distance wins over the previous peak only when it is higher
// and one of its own neighbours in x is higher as well.
bool replaces(const Peak& candidate, const Peak& previous, std::span<const float> x,
              std::size_t i) {
    return candidate.value > previous.value && max_num(x[i - 1], x[i + 1]) > previous.value;
}

std::vector<Peak> scan(std::span<const float> x, std::span<const float> y, std::uint64_t radius,
                       const PeakDetectorConfig& config) {
    const std::size_t n = x.size();
    const std::uint64_t refractory = refractory_distance(config, n);
    const SlidingWindow window(y, statistics_half_window(config, n));
    std::vector<Peak> peaks;
    std::size_t last = 0;  // working index of the last accepted candidate
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (!is_local_max(y, i)) continue;
        if (!stands_out(y[i], window.at(i), config.detection_threshold)) continue;
        Peak peak = locate(x, i, radius);
        if (config.refine) peak.position = refined_position(x, peak.index);
        if (!peaks.empty() && i - last < refractory) {
            if (!replaces(peak, peaks.back(), x, i)) continue;
            peaks.back() = peak;
        } else {
            peaks.push_back(peak);
        }
        last = i;
    }
    return peaks;
}

PeakSegments split_at_gaps(const std::vector<Peak>& peaks, float gap) {
    PeakSegments segments;
    for (std::size_t k = 0; k < peaks.size(); ++k) {
        if (k == 0 || !(peaks[k].position - peaks[k - 1].position <= gap)) segments.emplace_back();
        segments.back().push_back(peaks[k]);
    }
    return segments;
}

}  // namespace

PeakSegments detect_peaks(std::span<const float> signal, const PeakDetectorConfig& config) {
    if (signal.size() < 3) return {};
    std::vector<float> smoothed;
    std::span<const float> working = signal;
    std::uint64_t radius = 0;
    if (config.presmooth) {
        const std::uint64_t length =
            smoothing_window_length(config.max_rate / kSecondsPerMinute, config.fs);
        smoothed = moving_average(signal, length);
        working = smoothed;
        radius = length / 2;
    }
    return split_at_gaps(scan(signal, working, radius, config), segment_gap(config));
}

float refined_position(std::span<const float> x, std::size_t index) {
    const float position = static_cast<float>(index);
    if (index == 0 || index + 1 >= x.size()) return position;
    const float delta = parabola_vertex(x[index - 1], x[index], x[index + 1], 1e-6f).value_or(0.0f);
    return std::fabs(delta) <= 0.5f ? position + delta : position;
}

PeakDetectorConfig beat_detector(std::optional<float> rate_hint, float fs, float min_rate,
                                 float max_rate) {
    return {.rate_hint = rate_hint,
            .fs = fs,
            .min_rate = min_rate,
            .max_rate = max_rate,
            .detection_threshold = 0.45f,
            .window_cycles = 2.5f,
            .max_rate_change = 1.0f,
            .refractory_fraction = 0.25f,
            .refine = true,
            .presmooth = true};
}

PeakDetectorConfig pulse_peak_detector(std::optional<float> rate_hint, float fs, float min_rate,
                                       float max_rate, float refractory_fraction, bool refine) {
    return {.rate_hint = rate_hint,
            .fs = fs,
            .min_rate = min_rate,
            .max_rate = max_rate,
            .detection_threshold = 1.0f,
            .window_cycles = 2.5f,
            .max_rate_change = 1.0f,
            .refractory_fraction = refractory_fraction,
            .refine = refine,
            .presmooth = false};
}

PeakDetectorConfig breath_detector(std::optional<float> rate_hint, float fs, float min_rate,
                                   float max_rate) {
    return {.rate_hint = rate_hint,
            .fs = fs,
            .min_rate = min_rate,
            .max_rate = max_rate,
            .detection_threshold = 1.2f,
            .window_cycles = 1.5f,
            .max_rate_change = 0.25f,
            .refractory_fraction = 0.25f,
            .refine = true,
            .presmooth = true};
}

}  // namespace quorvanta
