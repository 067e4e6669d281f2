// SPDX-License-Identifier: Apache-2.0
// What a recording holds once read, the reader's options and its error: the types the reader's
// parts share.
#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quorvanta {

struct RecordedSignal {
    std::string id;
    std::vector<float> data;
    std::vector<float> confidence;
};

struct FaceTrack {
    std::vector<std::array<float, 4>> boxes;  // x, y, width, height per frame
    std::vector<float> confidence;
};

struct Recording {
    std::vector<double> timestamps;       // seconds
    std::vector<RecordedSignal> signals;  // in the order of the file
    std::optional<FaceTrack> face;

    std::size_t frames() const { return timestamps.size(); }
};

// Input that cannot be read; the message names the file and, where it applies, the line and
// column ("FILE:LINE:COLUMN: what").
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The unit of a file's timestamps; they are read into seconds.
enum class TimeUnit { Seconds, Milliseconds, Microseconds };

constexpr double units_per_second(TimeUnit unit) {
    switch (unit) {
        case TimeUnit::Milliseconds:
            return 1e3;
        case TimeUnit::Microseconds:
            return 1e6;
        case TimeUnit::Seconds:
            break;
    }
    return 1.0;
}

struct ReadOptions {
    TimeUnit time_unit = TimeUnit::Seconds;
    // Frames per second: a file without timestamps has its frames timed by their number at this
    // rate (ignored, with a warning, when the file has timestamps).
    std::optional<double> sample_rate;
    // Columns of other names read as a signal (its id or alias) or as the timestamps: pairs of
    // ("ppg_waveform", "PLETH") or ("timestamp", "Time [s]").
    std::vector<std::pair<std::string, std::string>> columns;
    // Frames per second to resample the recording to (recording/resample.h), if any.
    std::optional<double> resample_rate;
};

}  // namespace quorvanta
