// SPDX-License-Identifier: Apache-2.0
// detect_beats, in four steps; every length below is rounded to whole samples (at least 1).
//   1. Working rate. Signals sampled above 128 Hz are averaged over blocks of k = ceil(fs / 128)
//      samples, so that every later cost is bounded by the number of samples, not by fs; the
//      working rate is w = fs / k.
//   2. Candidates (Elgendi et al., PLoS ONE 2013): f = band_pass(x, w, 0.5, 8 Hz), none at all when
//      its root mean square is not above 1e-5 of the largest |x| (a flat signal); y = max(f, 0)^2;
//      the centred moving averages P of y over 0.111 s and B over 0.667 s; blocks where
//      P > B + 0.02 mean(y) that last at least 0.111 s each give one candidate, the sample where f
//      is highest in the block. A candidate lower than 0.8 of the last one kept (heights of the
//      parabolas through their samples) and nearer to it than 0.8 of the gap that follows it is
//      a dicrotic wave, which would otherwise count as a beat, and is left out.
//   3. Timing. The template T is the mean of f over [c - 0.25 s, c + 0.35 s) around every candidate
//      c whose window, widened by the search of 0.12 s each way, lies inside the signal. Each such
//      candidate is moved to the lag l in [-0.12 s, 0.12 s] that maximises
//        r(l) = sum_j (f[c + l + j] - m_l) T[j],  m_l the mean of that stretch of f,
//      and then by the vertex of the parabola through r(l - 1), r(l), r(l + 1): the whole beat's
//      shape times it, not its three highest samples, which noise moves by a large fraction of a
//      sample at camera frame rates. Its similarity is the Pearson correlation of that stretch of
//      f with T, its amplitude f[c]. A best lag at the edge of the search, a candidate near the
//      ends, or fewer than 3 full windows: the vertex of the parabola through f around c, and a
//      NaN similarity.
//   4. Seconds. A working position q is the position (q + 1/2) k - 1/2 of the input, placed in time
//      by linear interpolation between the timestamps around it (past the last one, from the last
//      one at fs), or at position / fs without timestamps; a beat that cannot be placed (a
//      non-finite timestamp) is left out, and the others are put in time order.
// All signal arithmetic is f32 with sums in index order; times are f64.
#include "signal/beat_detection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <optional>

#include "signal/band_pass.h"
#include "signal/block_means.h"
#include "signal/parabola.h"
#include "types/numeric.h"

namespace quorvanta {
namespace detail {
namespace {

constexpr float kMinFs = 10.0f;
constexpr float kMinSeconds = 2.0f;
constexpr float kMaxWorkingFs = 128.0f;
constexpr float kLowHz = 0.5f;
constexpr float kHighHz = 8.0f;
constexpr float kPeakWindowSeconds = 0.111f;
constexpr float kBeatWindowSeconds = 0.667f;
constexpr float kThresholdShareOfMean = 0.02f;
constexpr float kTemplateBeforeSeconds = 0.25f;
constexpr float kTemplateAfterSeconds = 0.35f;
constexpr float kSearchSeconds = 0.12f;
// The search at the highest working rate, in samples: round(0.12 x 128).
constexpr std::size_t kMaxSearchSamples = 15;
constexpr std::size_t kMinTemplateBeats = 3;
constexpr float kMinParabolaDenominator = 1e-12f;
constexpr float kDicroticShare = 0.8f;
constexpr float kEarlyShare = 0.8f;
// A band-passed signal this much smaller than the input holds nothing but rounding: no beats.
constexpr float kMinPulseShare = 1e-5f;

std::size_t samples_in(float seconds, float fs) {
    return std::max<std::size_t>(1, saturating_cast<std::size_t>(round_half_away(seconds * fs)));
}

// The centred mean over `window` samples (an even window counts as window + 1), cut at the ends,
// from running sums in f64: one pass, whatever the window.
std::vector<float> running_mean(std::span<const float> x, std::size_t window) {
    std::vector<double> sums(x.size() + 1, 0.0);
    for (std::size_t i = 0; i < x.size(); ++i)
        sums[i + 1] = sums[i] + static_cast<double>(x[i]);
    const std::size_t half = window / 2;
    std::vector<float> means(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const std::size_t first = i >= half ? i - half : 0;
        const std::size_t end = std::min(x.size(), i + half + 1);
        means[i] = static_cast<float>((sums[end] - sums[first]) / static_cast<double>(end - first));
    }
    return means;
}

float root_mean_square(std::span<const float> x) {
    float squares = 0.0f;
    for (const float v : x)
        squares += v * v;
    return std::sqrt(squares / static_cast<float>(x.size()));
}

float largest_magnitude(std::span<const float> x) {
    float largest = 0.0f;
    for (const float v : x)
        largest = max_num(largest, std::fabs(v));
    return largest;
}

// The height of the parabola's vertex through f[i - 1], f[i], f[i + 1] (f[i] at the ends): a
// narrow peak sampled at camera rates loses much of its height to the sampling phase.
float peak_height(std::span<const float> f, std::size_t i) {
    if (i == 0 || i + 1 >= f.size()) return f[i];
    const float curvature = f[i - 1] - 2 * f[i] + f[i + 1];
    if (!(curvature < 0)) return f[i];
    const float slope = f[i - 1] - f[i + 1];
    return f[i] - slope * slope / (8 * curvature);
}

// Whether candidate i comes early after the last kept one: nearer to it than 0.8 of the gap that
// follows (to the next candidate, or for the last one the gap before the last one kept).
bool early(std::span<const std::size_t> found, std::size_t i, std::span<const std::size_t> kept) {
    const std::size_t a = kept.back(), b = found[i];
    std::size_t gap = 0;
    if (i + 1 < found.size()) {
        gap = found[i + 1] - b;
    } else if (kept.size() >= 2) {
        gap = a - kept[kept.size() - 2];
    }
    return static_cast<float>(b - a) < kEarlyShare * static_cast<float>(gap);
}

// The candidates without dicrotic waves: a candidate lower than 0.8 of the last one kept (their
// peak heights) that comes early after it follows its beat as a dicrotic wave does. Beats that
// alternate in height (pulsus alternans) come evenly spaced and stay.
std::vector<std::size_t> without_dicrotic_waves(std::span<const float> f,
                                                std::span<const std::size_t> found) {
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (!kept.empty() && early(found, i, kept) &&
            peak_height(f, found[i]) < kDicroticShare * peak_height(f, kept.back())) {
            continue;
        }
        kept.push_back(found[i]);
    }
    return kept;
}

std::vector<std::size_t> candidates(std::span<const float> f, float fs) {
    std::vector<float> energy(f.size());
    std::transform(f.begin(), f.end(), energy.begin(),
                   [](float x) { return x > 0 ? x * x : 0.0f; });
    const std::size_t peak_window = samples_in(kPeakWindowSeconds, fs);
    const std::vector<float> peak = running_mean(energy, peak_window);
    const std::vector<float> beat = running_mean(energy, samples_in(kBeatWindowSeconds, fs));
    const float offset = kThresholdShareOfMean * mean(energy);
    std::vector<std::size_t> found;
    std::size_t i = 0;
    while (i < f.size()) {
        if (!(peak[i] > beat[i] + offset)) {
            ++i;
            continue;
        }
        const std::size_t first = i;
        while (i < f.size() && peak[i] > beat[i] + offset)
            ++i;
        if (i - first < peak_window) continue;
        const auto highest = std::max_element(f.begin() + static_cast<std::ptrdiff_t>(first),
                                              f.begin() + static_cast<std::ptrdiff_t>(i));
        found.push_back(static_cast<std::size_t>(highest - f.begin()));
    }
    return without_dicrotic_waves(f, found);
}

// The vertex offset of the parabola through v[i - 1], v[i], v[i + 1], or 0.
float vertex_offset(std::span<const float> v, std::size_t i) {
    if (i == 0 || i + 1 >= v.size()) return 0.0f;
    const std::optional<float> delta =
        parabola_vertex(v[i - 1], v[i], v[i + 1], kMinParabolaDenominator);
    return delta && std::fabs(*delta) <= 0.5f ? *delta : 0.0f;
}

struct TemplateWindow {
    std::size_t before = 0;
    std::size_t after = 0;
    std::size_t search = 0;

    bool fits(std::size_t c, std::size_t n) const {
        return c >= before + search && c + after + search <= n;
    }
};

std::vector<float> beat_template(std::span<const float> f, std::span<const std::size_t> found,
                                 const TemplateWindow& window) {
    std::vector<float> sum(window.before + window.after, 0.0f);
    std::size_t count = 0;
    for (const std::size_t c : found) {
        if (!window.fits(c, f.size())) continue;
        for (std::size_t j = 0; j < sum.size(); ++j)
            sum[j] += f[c - window.before + j];
        ++count;
    }
    if (count < kMinTemplateBeats) return {};
    for (float& x : sum)
        x /= static_cast<float>(count);
    return sum;
}

// The template's correlation with f starting at `first`, the stretch's mean removed.
float correlation(std::span<const float> f, std::size_t first, std::span<const float> shape) {
    const float stretch_mean = mean(f.subspan(first, shape.size()));
    float sum = 0.0f;
    for (std::size_t j = 0; j < shape.size(); ++j)
        sum += (f[first + j] - stretch_mean) * shape[j];
    return sum;
}

// The Pearson correlation of the template with f starting at `first`.
float similarity(std::span<const float> f, std::size_t first, std::span<const float> shape) {
    const float stretch_mean = mean(f.subspan(first, shape.size()));
    const float shape_mean = mean(shape);
    float product = 0.0f, stretch_squares = 0.0f, shape_squares = 0.0f;
    for (std::size_t j = 0; j < shape.size(); ++j) {
        const float a = f[first + j] - stretch_mean;
        const float b = shape[j] - shape_mean;
        product += a * b;
        stretch_squares += a * a;
        shape_squares += b * b;
    }
    return product / std::sqrt(stretch_squares * shape_squares);
}

struct Aligned {
    float position;  // working samples
    float similarity;
};

// The candidate aligned to the template, or nothing when it cannot be.
std::optional<Aligned> aligned(std::span<const float> f, std::size_t c,
                               std::span<const float> shape, const TemplateWindow& window) {
    if (shape.empty() || !window.fits(c, f.size())) return std::nullopt;
    const std::size_t first = c - window.before - window.search;
    std::array<float, 2 * kMaxSearchSamples + 1> lags{};
    const std::span<float> r(lags.data(), 2 * window.search + 1);
    for (std::size_t l = 0; l < r.size(); ++l)
        r[l] = correlation(f, first + l, shape);
    const auto best = static_cast<std::size_t>(std::max_element(r.begin(), r.end()) - r.begin());
    if (best == 0 || best + 1 == r.size()) return std::nullopt;
    return Aligned{
        static_cast<float>(c + best) - static_cast<float>(window.search) + vertex_offset(r, best),
        similarity(f, first + best, shape)};
}

double seconds_at(double position, std::span<const double> timestamps, float fs) {
    if (timestamps.empty() || !(position >= 0)) return position / static_cast<double>(fs);
    const auto k = saturating_cast<std::size_t>(std::floor(position));
    const double fraction = position - static_cast<double>(k);
    if (k + 1 < timestamps.size())
        return timestamps[k] + (timestamps[k + 1] - timestamps[k]) * fraction;
    const std::size_t last = timestamps.size() - 1;
    return timestamps[last] + (position - static_cast<double>(last)) / static_cast<double>(fs);
}

}  // namespace
}  // namespace detail

std::vector<DetectedBeat> detect_beats(std::span<const float> signal, float fs,
                                       std::span<const double> timestamps) {
    using namespace detail;
    if (!std::isfinite(fs) || !(fs >= kMinFs) ||
        static_cast<float>(signal.size()) < kMinSeconds * fs) {
        return {};
    }
    const std::size_t k =
        std::max<std::size_t>(1, saturating_cast<std::size_t>(std::ceil(fs / kMaxWorkingFs)));
    const float working_fs = fs / static_cast<float>(k);
    const std::vector<float> working = block_means(signal, k);
    const std::vector<float> f = band_pass(working, working_fs, kLowHz, kHighHz);
    if (!(root_mean_square(f) > kMinPulseShare * largest_magnitude(working))) return {};
    const std::vector<std::size_t> found = candidates(f, working_fs);
    const TemplateWindow window{
        samples_in(kTemplateBeforeSeconds, working_fs),
        samples_in(kTemplateAfterSeconds, working_fs),
        std::min(samples_in(kSearchSeconds, working_fs), kMaxSearchSamples)};
    const std::vector<float> shape = beat_template(f, found, window);
    const std::span<const double> placed =
        timestamps.size() == signal.size() ? timestamps : std::span<const double>{};
    std::vector<DetectedBeat> beats;
    beats.reserve(found.size());
    for (const std::size_t c : found) {
        const Aligned at = aligned(f, c, shape, window)
                               .value_or(Aligned{static_cast<float>(c) + vertex_offset(f, c), NAN});
        const double position =
            (static_cast<double>(at.position) + 0.5) * static_cast<double>(k) - 0.5;
        const double time = seconds_at(position, placed, fs);
        if (std::isfinite(time)) beats.push_back({time, at.similarity, f[c]});
    }
    std::stable_sort(beats.begin(), beats.end(),
                     [](const DetectedBeat& a, const DetectedBeat& b) { return a.time < b.time; });
    return beats;
}

}  // namespace quorvanta
