// SPDX-License-Identifier: Apache-2.0
// A recording of per-frame model outputs, read from CSV or JSON.
//
// CSV: a header naming the columns, `timestamp` (seconds) first, then any signal id with an
// optional `<id>_confidence` column, and optionally all of face_x, face_y, face_w, face_h and
// face_confidence; one row of numbers per frame. JSON: {"timestamp": [...], "signals": {"<id>":
// {"data": [...], "confidence": [...]}}, "face": {"coordinates": [[x, y, w, h], ...],
// "confidence": [...]}}, with "face" and each "confidence" optional. A missing confidence is 1.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvanta::cli {

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
    std::vector<double> timestamps;
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

// Reads a recording (JSON when the file's first non-blank character is '{', CSV otherwise).
// Problems that still leave a usable recording, such as timestamps that do not increase, are
// appended to `warnings`.
Recording read_recording(const std::filesystem::path& file, std::vector<std::string>& warnings);

// The same from the `text` of a file named `file` (which the messages name), for hosts that have
// the text already, such as a web page given a dropped file.
Recording parse_recording(const std::string& text, const std::filesystem::path& file,
                          std::vector<std::string>& warnings);

}  // namespace quorvanta::cli
