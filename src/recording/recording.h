// SPDX-License-Identifier: Apache-2.0
// A recording of per-frame model outputs, read from CSV or JSON.
//
// CSV (RFC 4180: fields may be quoted, quotes doubled inside them; ',' ';' or tab as separator,
// whichever the header uses): a header naming the columns, `timestamp` and any signal with an
// optional `<signal>_confidence` column, and optionally all of face_x, face_y, face_w, face_h and
// face_confidence; one row of numbers per frame, an empty cell a missing value (NaN). An unnamed
// first column is a table's index and is left out. Without a header, a single column of numbers
// is a pulse waveform.
//
// JSON: {"timestamp": [...], "signals": {"<id>": {"data": [...], "confidence": [...]}}, "face":
// {"coordinates": [[x, y, w, h], ...], "confidence": [...]}}, with "face" and each "confidence"
// optional; or a table with the CSV's column names, as an array of rows ([{"timestamp": 0,
// "ppg": 0.1}, ...]) or an object of columns ({"timestamp": [...], "ppg": [...]}, each column an
// array or an object of values by row), null a missing value. A missing confidence is 1.
//
// Signals are named by the registry's ids or aliases (`ppg` for `ppg_waveform`) and stored under
// the canonical id. Columns that name no signal are left out with one warning; a recording without
// any signal is an error. Frames whose timestamps go back are put in time order, with a warning.
// The reader resolves names through the registry of the core its user links.
#pragma once

#include <array>
#include <filesystem>
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

struct ReadOptions {
    TimeUnit time_unit = TimeUnit::Seconds;
    // Frames per second: a file without timestamps has its frames timed by their number at this
    // rate (ignored, with a warning, when the file has timestamps).
    std::optional<double> sample_rate;
    // Columns of other names read as a signal (its id or alias) or as the timestamps: pairs of
    // ("ppg_waveform", "PLETH") or ("timestamp", "Time [s]").
    std::vector<std::pair<std::string, std::string>> columns;
};

// Reads a recording (JSON when the file's first non-blank character is '{' or '[', CSV
// otherwise). Problems that still leave a usable recording, such as timestamps that do not
// increase or columns that name no signal, are appended to `warnings`.
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
