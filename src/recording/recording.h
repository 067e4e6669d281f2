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

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "recording/names.h"
#include "recording/recording_types.h"

namespace quorvanta {

// Reads a recording (JSON when the file's first non-blank character is '{' or '[', CSV
// otherwise). Problems that still leave a usable recording, such as timestamps that do not
// increase or columns that name no signal, are appended to `warnings`.
Recording read_recording(const std::filesystem::path& file, std::vector<std::string>& warnings,
                         const ReadOptions& options = {});

// The same from the `text` of a file named `file` (which the messages name), for hosts that have
// the text already, such as a web page given a dropped file.
Recording parse_recording(const std::string& text, const std::filesystem::path& file,
                          std::vector<std::string>& warnings, const ReadOptions& options = {});

// For hosts that read a recording without the command, which refuses such a file: a warning
// "FILE: the median frame interval is 33.0 s, too long for any vital: the timestamps look like
// milliseconds; if they are, " followed by `set_unit(symbol)`, how the host is told the unit
// ("pass time_unit='ms'"), when the recording's frames are too far apart for any vital.
void warn_of_long_frame_interval(const std::filesystem::path& file, const Recording& recording,
                                 TimeUnit unit, std::string (*set_unit)(std::string_view symbol),
                                 std::vector<std::string>& warnings);

}  // namespace quorvanta
