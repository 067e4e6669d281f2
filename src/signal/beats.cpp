// SPDX-License-Identifier: Apache-2.0
#include "signal/beats.h"

#include <utility>
#include <vector>

#include "signal/beat_detection.h"

namespace quorvanta {

Beats beats_record(std::span<const Beat> beats, std::vector<float> intervals) {
    Beats record;
    record.times.reserve(beats.size());
    record.status.reserve(beats.size());
    for (const Beat& b : beats) {
        record.times.push_back(b.time);
        record.status.push_back(b.status);
    }
    record.intervals = std::move(intervals);
    return record;
}

Beats find_beats(std::span<const float> pulse, float fs, std::span<const double> timestamps) {
    std::vector<double> times;
    for (const DetectedBeat& b : detect_beats(pulse, fs, timestamps))
        times.push_back(b.time);
    const std::vector<Beat> beats = correct_beats(times);
    return beats_record(beats, nn_intervals(beats).ms);
}

std::optional<std::string> timestamps_mismatch(std::size_t samples, std::size_t timestamps) {
    if (timestamps == 0 || timestamps == samples) return std::nullopt;
    return "Length mismatch: timestamps has length " + std::to_string(timestamps) + ", expected " +
           std::to_string(samples);
}

}  // namespace quorvanta
