// SPDX-License-Identifier: Apache-2.0
// Per-frame values gathered over a whole analysis from results that each return a tail of the
// session's history (only the new frames, a trailing window, or everything): each frame keeps
// the value of the last result that returned it. Merging costs the size of the result, so memory
// and time stay linear in the recording whatever the waveform mode.
#pragma once

#include <cstddef>
#include <vector>

namespace quorvanta::cli {

template <class Sample>
struct FrameSeries {
    std::vector<double> timestamps;
    std::vector<Sample> samples;

    std::size_t size() const { return timestamps.size(); }

    // Replaces the gathered frames from the oldest one not before `times[0]` on with the first
    // `count` returned frames, sample i being `sample_at(i)`. Returns the number of frames kept
    // from before.
    template <class SampleAt>
    std::size_t merge(const std::vector<double>& times, std::size_t count, SampleAt sample_at) {
        std::size_t kept = timestamps.size();
        while (count != 0 && kept != 0 && timestamps[kept - 1] >= times[0])
            --kept;
        timestamps.resize(kept);
        samples.resize(kept);
        for (std::size_t i = 0; i < count; ++i) {
            timestamps.push_back(times[i]);
            samples.push_back(sample_at(i));
        }
        return kept;
    }
};

}  // namespace quorvanta::cli
