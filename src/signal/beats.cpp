// SPDX-License-Identifier: Apache-2.0
#include "signal/beats.h"

#include <vector>

#include "signal/beat_detection.h"

namespace quorvanta {

Beats beats_record(std::span<const Beat> beats) {
    Beats record;
    record.times.reserve(beats.size());
    record.status.reserve(beats.size());
    for (const Beat& b : beats) {
        record.times.push_back(b.time);
        record.status.push_back(b.status);
    }
    record.intervals = nn_intervals(beats).ms;
    return record;
}

Beats find_beats(std::span<const float> pulse, float fs, std::span<const double> timestamps) {
    std::vector<double> times;
    for (const DetectedBeat& b : detect_beats(pulse, fs, timestamps))
        times.push_back(b.time);
    return beats_record(correct_beats(times));
}

std::optional<std::string> timestamps_mismatch(std::size_t samples, std::size_t timestamps) {
    if (timestamps == 0 || timestamps == samples) return std::nullopt;
    return "Length mismatch: timestamps has length " + std::to_string(timestamps) + ", expected " +
           std::to_string(samples);
}

}  // namespace quorvanta
