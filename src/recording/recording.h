// SPDX-License-Identifier: Apache-2.0
// A recording of per-frame model outputs, read from CSV or JSON.
//
// CSV (RFC 4180: fields may be quoted, quotes doubled inside them; ',' ';' or tab as separator,
// whichever the header uses): a header naming the columns, `timestamp` and any signal with an
// optional `<signal>_confidence` column, and optionally all of face_x, face_y, face_w, face_h and
// face_confidence; one row of numbers per frame. JSON: {"timestamp": [...], "signals": {"<id>":
// {"data": [...], "confidence": [...]}}, "face": {"coordinates": [[x, y, w, h], ...],
// "confidence": [...]}}, with "face" and each "confidence" optional. A missing confidence is 1.
//
// Signals are named by the registry's ids or aliases (`ppg` for `ppg_waveform`) and stored under
// the canonical id. Columns that name no signal are left out with one warning; a recording without
// any signal is an error. The reader resolves names through the registry of the core its user
// links.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
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

struct ReadOptions {
    TimeUnit time_unit = TimeUnit::Seconds;
};

// Reads a recording (JSON when the file's first non-blank character is '{', CSV otherwise).
// Problems that still leave a usable recording, such as timestamps that do not increase or
// columns that name no signal, are appended to `warnings`.
Recording read_recording(const std::filesystem::path& file, std::vector<std::string>& warnings,
                         const ReadOptions& options = {});

// The same from the `text` of a file named `file` (which the messages name), for hosts that have
// the text already, such as a web page given a dropped file.
Recording parse_recording(const std::string& text, const std::filesystem::path& file,
                          std::vector<std::string>& warnings, const ReadOptions& options = {});

// The ids of the signals the library reads (its estimators' inputs and its waveforms), in the
// order the catalogue first names them.
std::vector<std::string> signal_ids();

}  // namespace quorvanta
