// SPDX-License-Identifier: Apache-2.0
#include "signal/skin_pulse.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "signal/band_pass.h"
#include "signal/frame_timing.h"
#include "signal/trig.h"

namespace quorvanta {
namespace detail {
namespace {

constexpr double kWindowSeconds = 1.6;
constexpr std::size_t kShortestWindow = 3;
constexpr float kChromLowHz = 0.7f;
constexpr float kChromHighHz = 4.0f;
constexpr double kTwoPi = 6.283185307179586476925;

using Channels = std::array<std::span<const float>, 3>;  // red, green, blue
using Window = std::array<std::vector<double>, 3>;       // each channel over its window mean

bool valid_colour(const Channels& colour, std::size_t frame) {
    return std::all_of(colour.begin(), colour.end(), [frame](std::span<const float> channel) {
        return std::isfinite(channel[frame]) && channel[frame] > 0.0f;
    });
}

double mean_of(const std::vector<double>& values) {
    double sum = 0;
    for (const double v : values)
        sum += v;
    return sum / static_cast<double>(values.size());
}

double sd_of(const std::vector<double>& values) {
    const double mean = mean_of(values);
    double squares = 0;
    for (const double v : values)
        squares += (v - mean) * (v - mean);
    return std::sqrt(squares / static_cast<double>(values.size()));
}

// a / b, or 0 where b is 0: a flat projection carries no pulse to weigh.
double ratio(double a, double b) {
    return b > 0 ? a / b : 0.0;
}

Window normalised_window(const Channels& colour, std::size_t first, std::size_t length) {
    Window window;
    for (std::size_t k = 0; k < 3; ++k) {
        std::vector<double>& values = window[k];
        values.assign(colour[k].begin() + static_cast<std::ptrdiff_t>(first),
                      colour[k].begin() + static_cast<std::ptrdiff_t>(first + length));
        const double mean = mean_of(values);
        for (double& v : values)
            v /= mean;
    }
    return window;
}

// h = -(s1 + (sd(s1) / sd(s2)) s2), less its mean.
std::vector<double> pos_projection(const Window& c) {
    const std::size_t length = c[0].size();
    std::vector<double> s1(length), s2(length), h(length);
    for (std::size_t i = 0; i < length; ++i) {
        s1[i] = c[1][i] - c[2][i];
        s2[i] = (c[1][i] + c[2][i]) - 2.0 * c[0][i];
    }
    const double alpha = ratio(sd_of(s1), sd_of(s2));
    for (std::size_t i = 0; i < length; ++i)
        h[i] = -(s1[i] + alpha * s2[i]);
    const double mean = mean_of(h);
    for (double& v : h)
        v -= mean;
    return h;
}

std::vector<double> band_passed(const std::vector<double>& values, double fs) {
    const std::vector<float> narrow(values.begin(), values.end());
    const std::vector<float> filtered =
        band_pass(narrow, static_cast<float>(fs), kChromLowHz, kChromHighHz);
    return {filtered.begin(), filtered.end()};
}

// h = x - (sd(x) / sd(y)) y of the band-passed chrominances, weighted by a Hann window.
std::vector<double> chrom_projection(const Window& c, double fs) {
    const std::size_t length = c[0].size();
    std::vector<double> x(length), y(length), h(length);
    for (std::size_t i = 0; i < length; ++i) {
        x[i] = 3.0 * c[0][i] - 2.0 * c[1][i];
        y[i] = (1.5 * c[0][i] + c[1][i]) - 1.5 * c[2][i];
    }
    x = band_passed(x, fs);
    y = band_passed(y, fs);
    const double alpha = ratio(sd_of(x), sd_of(y));
    for (std::size_t i = 0; i < length; ++i) {
        const auto angle =
            static_cast<float>(kTwoPi * static_cast<double>(i) / static_cast<double>(length - 1));
        const double hann = 0.5 - 0.5 * static_cast<double>(cos_f32(angle));
        h[i] = (x[i] - alpha * y[i]) * hann;
    }
    return h;
}

struct WindowPlan {
    double fs = 0;
    std::size_t length = 0;
    std::size_t step = 0;
};

// The last window always ends at the last frame, so that every frame of a clean trace is covered.
std::vector<std::size_t> window_starts(std::size_t frames, const WindowPlan& plan) {
    std::vector<std::size_t> starts;
    for (std::size_t first = 0; first + plan.length <= frames; first += plan.step)
        starts.push_back(first);
    if (!starts.empty() && starts.back() + plan.length != frames)
        starts.push_back(frames - plan.length);
    return starts;
}

// The windows of `frames` frames timed by `timestamps`, or none where one would not fit (which
// also keeps absurd rates from reaching an integer conversion).
std::optional<WindowPlan> window_plan(std::span<const double> timestamps, std::size_t frames,
                                      PulseMethod method) {
    const auto interval = median_frame_interval(timestamps.first(frames));
    if (!interval || !(*interval > 0)) return std::nullopt;
    const double fs = 1.0 / *interval;
    const double frames_a_window = kWindowSeconds * fs;
    if (!(frames_a_window <= static_cast<double>(frames))) return std::nullopt;
    WindowPlan plan{fs, 0, 1};
    if (method == PulseMethod::Pos) {
        plan.length =
            std::max(kShortestWindow, static_cast<std::size_t>(std::lround(frames_a_window)));
    } else {
        plan.step =
            std::max<std::size_t>(2, static_cast<std::size_t>(std::lround(frames_a_window / 2.0)));
        plan.length = 2 * plan.step;
    }
    if (plan.length > frames) return std::nullopt;
    return plan;
}

// Every window of clean frames projected and added in.
struct Projected {
    explicit Projected(std::size_t frames)
        : pulse(frames, 0.0), added(frames, 0), covering(frames, 0) {}
    std::vector<double> pulse;
    std::vector<std::size_t> added;     // clean windows added into each frame
    std::vector<std::size_t> covering;  // windows over each frame, clean or not
};

Projected projected_windows(const Channels& colour, const WindowPlan& plan, PulseMethod method) {
    const std::size_t frames = colour[0].size();
    std::vector<std::size_t> invalid_before(frames + 1, 0);  // bad frames among the first i
    for (std::size_t i = 0; i < frames; ++i)
        invalid_before[i + 1] = invalid_before[i] + (valid_colour(colour, i) ? 0 : 1);
    Projected projected(frames);
    for (const std::size_t first : window_starts(frames, plan)) {
        for (std::size_t i = 0; i < plan.length; ++i)
            ++projected.covering[first + i];
        if (invalid_before[first + plan.length] != invalid_before[first]) continue;
        const Window window = normalised_window(colour, first, plan.length);
        const std::vector<double> h =
            method == PulseMethod::Pos ? pos_projection(window) : chrom_projection(window, plan.fs);
        for (std::size_t i = 0; i < plan.length; ++i) {
            projected.pulse[first + i] += h[i];
            ++projected.added[first + i];
        }
    }
    return projected;
}

}  // namespace
}  // namespace detail

std::optional<PulseMethod> pulse_method_named(std::string_view lowered_name) {
    if (lowered_name == "pos") return PulseMethod::Pos;
    if (lowered_name == "chrom") return PulseMethod::Chrom;
    return std::nullopt;
}

std::optional<std::string> colour_trace_mismatch(std::size_t red, std::size_t green,
                                                 std::size_t blue, std::size_t timestamps) {
    for (const auto& [name, length] : {std::pair{"green", green}, std::pair{"blue", blue},
                                       std::pair{"timestamps", timestamps}}) {
        if (length != red) {
            return "Length mismatch: " + std::string(name) + " has length " +
                   std::to_string(length) + ", expected " + std::to_string(red);
        }
    }
    return std::nullopt;
}

SignalInput extract_pulse(std::span<const float> red, std::span<const float> green,
                          std::span<const float> blue, std::span<const double> timestamps,
                          PulseMethod method) {
    using namespace detail;
    const std::size_t frames = std::min({red.size(), green.size(), blue.size(), timestamps.size()});
    const Channels colour{red.first(frames), green.first(frames), blue.first(frames)};
    const auto plan = window_plan(timestamps, frames, method);
    const Projected projected = plan ? projected_windows(colour, *plan, method) : Projected(frames);
    SignalInput result;
    result.data.assign(projected.pulse.begin(), projected.pulse.end());
    result.confidence.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const std::size_t covering = projected.covering[i];
        const double share =
            covering == 0 ? 0.0
                          : static_cast<double>(projected.added[i]) / static_cast<double>(covering);
        result.confidence[i] = static_cast<float>(share);
    }
    return result;
}

}  // namespace quorvanta
