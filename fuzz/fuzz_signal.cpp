// SPDX-License-Identifier: Apache-2.0
// The signal routines with arbitrary arrays (NaN and infinities included) and arbitrary parameters:
// one signal per input, then a few routines on it. Signals are capped at kMaxSamples so that a run
// stays fast; parameters are not capped at all, so an absurd rate or resolution must not make a
// routine allocate without bound (libFuzzer's -malloc_limit_mb and -rss_limit_mb catch that).
//
// Besides "no crash and no undefined behaviour", each routine is checked for the promises that
// hold for every input: filters keep the length; a window length is 1, odd and below 2^19, or the
// whole signal; a cutoff not above 1e-5 Hz detrends to zeros; a spectrum has one power per
// frequency over a power-of-two transform of at least the signal's length; rates and confidences
// are never NaN and rate confidences lie in 0..1; peaks lie inside the signal in non-empty
// segments, carry the signal's value at their index, sit within half a sample of it and are at
// most one per two samples; HRV values are finite with a confidence of at most 1; I:E ratios are
// finite and not negative, and mean peak heights are finite where the samples are below 1e30; beats
// each have a status, are in time order, with normal-to-normal intervals of 300 to 2000 ms; a pulse
// extracted from skin colour has one finite value per frame, 0 where no window reached, with a
// confidence in 0..1.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "hostile_values.h"
#include "signal/beats.h"
#include "signal/filters.h"
#include "signal/hrv.h"
#include "signal/peak_measures.h"
#include "signal/peaks.h"
#include "signal/rate.h"
#include "signal/region_motion.h"
#include "signal/skin_pulse.h"

namespace {

using namespace quorvanta;
using fuzz::hostile;
using fuzz::require;

constexpr std::size_t kMaxSamples = 4096;
constexpr std::size_t kTypicalSamples = 600;
constexpr int kMaxOperations = 8;
constexpr float kTypicalFs = 30.0f;
// Bins of the longest transform that parameters alone may ask for (2^20 points).
constexpr std::size_t kMaxTransformBins = std::size_t{1} << 19;

class Operations {
public:
    explicit Operations(FuzzedDataProvider& data) : data_(data), signal_(make_signal()) {}

    void run() {
        for (int i = 0; i < kMaxOperations && data_.remaining_bytes() > 0; ++i) {
            switch (data_.ConsumeIntegralInRange(0, 10)) {
                case 0:
                    filters();
                    break;
                case 1:
                    detrend();
                    break;
                case 2:
                    spectrum();
                    break;
                case 3:
                    rate();
                    break;
                case 4:
                    peaks();
                    break;
                case 5:
                    hrv();
                    break;
                case 6:
                    peak_measures();
                    break;
                case 7:
                    beats();
                    break;
                case 8:
                    skin_pulse();
                    break;
                case 9:
                    region_motion();
                    break;
                default:
                    signal_ = make_signal();
                    break;
            }
        }
    }

private:
    // A pulse-like wave at 72 per minute with a few odd samples, or samples of any value at all.
    std::vector<float> make_signal() {
        std::vector<float> samples(fuzz::hostile_count(data_, kTypicalSamples, kMaxSamples));
        const bool arbitrary = data_.ConsumeIntegralInRange(0, 3) == 3;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const float t = static_cast<float>(i) / kTypicalFs;
            const float typical = std::sin(7.539822f * t) + 0.3f * std::sin(15.079645f * t);
            samples[i] = arbitrary ? hostile(data_, typical) : typical;
        }
        const int odd_ones = data_.ConsumeIntegralInRange(0, 3);
        for (int k = 0; k < odd_ones && !samples.empty(); ++k) {
            float& sample =
                samples[data_.ConsumeIntegralInRange<std::size_t>(0, samples.size() - 1)];
            sample = hostile(data_, sample);
        }
        return samples;
    }

    std::optional<float> rate_hint() {
        if (data_.ConsumeBool()) return std::nullopt;
        return hostile(data_, 72.0f);
    }

    void require_same_length(const std::vector<float>& out) const {
        require(out.size() == signal_.size(), "a filter keeps the signal's length");
    }

    void filters() {
        require_same_length(standardize(signal_));
        const std::uint64_t window =
            smoothing_window_length(hostile(data_, 3.0f), hostile(data_, kTypicalFs));
        require(window == std::numeric_limits<std::uint64_t>::max() ||
                    (window % 2 == 1 && window < std::uint64_t{1} << 19),
                "a window length is 1, odd and below 2^19, or the whole signal");
        require_same_length(
            moving_average(signal_, fuzz::hostile_integer<std::uint64_t>(data_, window)));
    }

    void detrend() {
        const float cutoff = hostile(data_, 0.5f);
        const std::vector<float> out = detrend_signal(signal_, hostile(data_, kTypicalFs), cutoff);
        require_same_length(out);
        require(cutoff > 1e-5f || std::ranges::all_of(out, [](float v) { return v == 0.0f; }),
                "a cutoff not above 1e-5 Hz detrends to zeros");
    }

    void spectrum() {
        const bool window = data_.ConsumeBool();
        const float fs = hostile(data_, kTypicalFs);
        const float resolution = hostile(data_, 0.005f);
        compute_spectrum(signal_, workspace_, window, fs, resolution);
        require(workspace_.frequencies.size() == workspace_.power.size(),
                "a spectrum has one power per frequency");
        const std::size_t bins = workspace_.power.size();
        require(bins <= std::max(kMaxTransformBins, std::bit_ceil(signal_.size()) / 2),
                "a spectrum is no longer than the cap or the signal demands");
        require(bins == 0 || (std::has_single_bit(bins) && 2 * bins >= signal_.size()),
                "a transform is a power of two of at least the signal's length");
    }

    void rate() {
        RateMethod method;
        method.kind = data_.ConsumeBool() ? MethodKind::PeakDetection : MethodKind::Periodogram;
        method.selector = data_.ConsumeIntegral<std::uint8_t>();
        method.param = hostile(data_, method.kind == MethodKind::Periodogram ? 0.005f : 0.25f);
        const std::optional<float> hint = rate_hint();
        SpectrumWorkspace* workspace = data_.ConsumeBool() ? &workspace_ : nullptr;
        const float fs = hostile(data_, kTypicalFs);
        const float min_rate = hostile(data_, 40.0f);
        const float max_rate = hostile(data_, 220.0f);
        const RateEstimate estimate =
            estimate_rate(signal_, method, hint, workspace, fs, min_rate, max_rate);
        require(!std::isnan(estimate.rate), "a rate is never NaN");
        require(estimate.confidence >= 0.0f && estimate.confidence <= 1.0f,
                "a rate's confidence lies in 0..1");
    }

    PeakDetectorConfig peak_config() {
        PeakDetectorConfig config;
        config.rate_hint = rate_hint();
        config.fs = hostile(data_, kTypicalFs);
        config.min_rate = hostile(data_, 40.0f);
        config.max_rate = hostile(data_, 220.0f);
        config.detection_threshold = hostile(data_, 0.45f);
        config.window_cycles = hostile(data_, 2.5f);
        config.max_rate_change = hostile(data_, 1.0f);
        config.refractory_fraction = hostile(data_, 0.25f);
        config.refine = data_.ConsumeBool();
        config.presmooth = data_.ConsumeBool();
        return config;
    }

    void peaks() {
        std::size_t found = 0;
        for (const std::vector<Peak>& segment : detect_peaks(signal_, peak_config())) {
            require(!segment.empty(), "a peak segment is not empty");
            found += segment.size();
            for (const Peak& peak : segment) {
                require(peak.index < signal_.size(), "a peak lies inside the signal");
                require(std::bit_cast<std::uint32_t>(peak.value) ==
                            std::bit_cast<std::uint32_t>(signal_[peak.index]),
                        "a peak carries the signal's value at its index");
                require(std::fabs(peak.position - static_cast<float>(peak.index)) <= 0.5f,
                        "a peak sits within half a sample of its index");
            }
        }
        require(found <= signal_.size() / 2, "peaks are at most one per two samples");
    }

    void beats() {
        const std::vector<double> times = timestamps();
        const std::span<const double> placed = times.size() == signal_.size()
                                                   ? std::span<const double>(times)
                                                   : std::span<const double>{};
        const Beats found = find_beats(signal_, hostile(data_, kTypicalFs), placed);
        require(found.status.size() == found.times.size(), "each beat has a status");
        require(found.intervals.size() < std::max<std::size_t>(found.times.size(), 1),
                "fewer intervals than beats");
        require(
            std::ranges::all_of(found.intervals, [](float ms) { return ms >= 300 && ms <= 2000; }),
            "normal-to-normal intervals lie within 300 to 2000 ms");
        require(std::ranges::is_sorted(
                    found.times,
                    [](double a, double b) { return a < b || (!std::isnan(a) && std::isnan(b)); }),
                "beats are in time order");
    }

    // The signal as a skin colour's three channels, each made odd in places or shifted to any
    // level, with timestamps of any rate.
    void skin_pulse() {
        std::array<std::vector<float>, 3> channels;
        for (std::vector<float>& channel : channels) {
            const float level = hostile(data_, 0.5f);
            for (const float sample : signal_)
                channel.push_back(level + 0.01f * sample);
        }
        const std::vector<double> times = timestamps();
        const auto method = data_.ConsumeBool() ? PulseMethod::Pos : PulseMethod::Chrom;
        const SignalInput pulse =
            extract_pulse(channels[0], channels[1], channels[2], times, method);
        require(pulse.data.size() == std::min(signal_.size(), times.size()) &&
                    pulse.confidence.size() == pulse.data.size(),
                "a pulse has one value and one confidence per frame");
        for (std::size_t i = 0; i < pulse.data.size(); ++i) {
            require(pulse.confidence[i] >= 0.0f && pulse.confidence[i] <= 1.0f,
                    "a pulse's confidence lies in 0..1");
            require(std::isfinite(pulse.data[i]), "a pulse is finite");
            require(pulse.confidence[i] > 0.0f || pulse.data[i] == 0.0f,
                    "a frame no window reached is 0");
        }
    }

    // The signal cut into row profiles of any length, the first one the reference.
    void region_motion() {
        const std::size_t rows = data_.ConsumeIntegralInRange<std::size_t>(0, 64);
        const std::size_t whole = rows == 0 ? 0 : signal_.size() / rows * rows;
        const std::span<const float> profiles(signal_.data(), whole);
        const auto reference = profiles.first(std::min(rows, whole));
        const SignalInput rise = extract_respiration(reference, profiles);
        require(rise.data.size() == (reference.empty() ? 0 : whole / rows) &&
                    rise.confidence.size() == rise.data.size(),
                "a rise for each whole profile");
        for (std::size_t i = 0; i < rise.data.size(); ++i) {
            require(rise.confidence[i] >= 0.0f && rise.confidence[i] <= 1.0f,
                    "a rise's confidence lies in 0..1");
            require(std::isnan(rise.data[i]) ? rise.confidence[i] == 0.0f
                                             : std::abs(rise.data[i]) <= float(rows) / 8 + 1,
                    "a rise is missing or within the lags searched");
        }
    }

    // Timestamps at the typical rate, fewer or more of them than samples, any of them odd.
    std::vector<double> timestamps() {
        std::vector<double> times(fuzz::hostile_count(data_, signal_.size(), kMaxSamples));
        const double start = hostile(data_, 0.0);
        const double step = hostile(data_, 1.0 / kTypicalFs);
        for (std::size_t i = 0; i < times.size(); ++i)
            times[i] = start + static_cast<double>(i) * step;
        const int odd_ones = data_.ConsumeIntegralInRange(0, 3);
        for (int k = 0; k < odd_ones && !times.empty(); ++k) {
            double& time = times[data_.ConsumeIntegralInRange<std::size_t>(0, times.size() - 1)];
            time = hostile(data_, time);
        }
        return times;
    }

    std::vector<float> confidences() {
        std::vector<float> values(fuzz::hostile_count(data_, signal_.size(), kMaxSamples), 0.9f);
        if (data_.ConsumeBool()) {
            for (float& value : values)
                value = hostile(data_, 0.9f);
        }
        return values;
    }

    void hrv() {
        const auto metric = hrv_metric_from_selector(data_.ConsumeIntegral<std::uint8_t>());
        const std::vector<double> times = timestamps();
        const std::vector<float> confidence = confidences();
        const std::optional<float> hint = rate_hint();
        const float fs = hostile(data_, kTypicalFs);
        const float min_rate = hostile(data_, 40.0f);
        const float max_rate = hostile(data_, 220.0f);
        const HrvEstimate estimate =
            estimate_hrv(signal_, metric, times, confidence, hint, fs, min_rate, max_rate);
        require(std::isfinite(estimate.value), "an HRV value is finite");
        require(estimate.confidence <= 1.0f, "an HRV confidence is a number of at most 1");
    }

    void peak_measures() {
        const std::vector<float> confidence = confidences();
        const float fs = hostile(data_, kTypicalFs);
        const float min_rate = hostile(data_, 3.0f);
        const float max_rate = hostile(data_, 60.0f);
        const PeakMeasure ie = ie_ratio(signal_, confidence, rate_hint(), fs, min_rate, max_rate);
        require(std::isfinite(ie.value) && ie.value >= 0.0f,
                "an I:E ratio is finite, not negative");
        const PeakMeasure height =
            extremum_mean(signal_, confidence, data_.ConsumeBool(), fs, min_rate, max_rate);
        const bool bounded =
            std::ranges::all_of(signal_, [](float v) { return std::fabs(v) < 1e30f; });
        require(!bounded || std::isfinite(height.value), "a mean peak height is finite");
    }

    FuzzedDataProvider& data_;
    std::vector<float> signal_;
    SpectrumWorkspace workspace_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    Operations(provider).run();
    return 0;
}
