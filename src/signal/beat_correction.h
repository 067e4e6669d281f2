// SPDX-License-Identifier: Apache-2.0
// Correction of the beat series of a pulse waveform: missed, extra and ectopic beats.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "types/records.h"

namespace quorvanta {

struct Beat {
    double time = 0;  // seconds
    BeatStatus status = BeatStatus::Normal;
    bool operator==(const Beat&) const = default;
};

// The beats at `times` (seconds, ascending), classified and corrected by the method of Lipponen
// and Tarvainen (J. Med. Eng. Technol. 2019): every detected beat, each with its status, and the
// inserted ones, in time order.
std::vector<Beat> correct_beats(std::span<const double> times);

// The intervals (ms) between successive beats that are not rejected, where they lie within
// 300 to 2000 ms and within 20% of the median of the 11 intervals around them: the
// normal-to-normal intervals of heart-rate variability, in runs of successive intervals (a run
// ends where an interval is left out). `run_ends` holds the index one past each run's last
// interval.
struct NnIntervals {
    std::vector<float> ms;
    std::vector<std::size_t> run_ends;
};
NnIntervals nn_intervals(std::span<const Beat> beats);

}  // namespace quorvanta
