// SPDX-License-Identifier: Apache-2.0
// What the analysis shows: the last batch's vitals as a table (with the truth when known), one
// row per batch, and the whole analysis as JSON.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis.h"
#include "truth.h"

namespace quorvanta::cli {

// The vitals of the last batch in catalogue order, each with the truth averaged over the history
// its estimate summarises (the estimator's window, or all of it in Global mode), when `truth` has
// the vital; then the configured vitals without an estimate, each with why.
struct VitalRow {
    std::string id;
    VitalResult result;
    std::optional<double> truth;
    std::optional<VitalCheck> check;
    std::optional<std::string> missing;  // why the last batch has no estimate
};
std::vector<VitalRow> final_vitals(const Recording& recording, const Analysis& analysis,
                                   const Truth* truth);

// The time of a batch's newest frame (its result may return no frame at all).
double batch_time(const Recording& recording, const BatchSummary& batch);

// The seconds of history an estimate of `vital` summarises in this analysis: the estimator's
// window, or the whole history (infinity) in Global mode. The truth is averaged over it.
double truth_window(const Analysis& analysis, const std::string& vital);

// Prints rows of cells with each column padded to its widest cell, two spaces apart.
void print_aligned(std::ostream& out, const std::vector<std::vector<std::string>>& rows);

// A number with a fixed count of decimals.
std::string fixed(double value, int decimals);

void print_vitals_table(std::ostream& out, const std::vector<VitalRow>& rows, bool with_truth);
void print_timeline(std::ostream& out, const Recording& recording, const Analysis& analysis);

// One recording of a run of many: its length, and per vital the median of the estimates its
// batches gave and how many batches gave one.
struct VitalSummary {
    std::uint8_t vital = 0;  // index into vital_ids()
    double median = 0;
    std::size_t estimated = 0;
};
struct RecordingSummary {
    std::string file;
    std::size_t frames = 0;
    std::optional<double> seconds;  // from the first to the last finite timestamp
    std::size_t batches = 0;
    std::vector<VitalSummary> vitals;  // in catalogue order
};
RecordingSummary summarize(const std::filesystem::path& file, const Recording& recording,
                           const Analysis& analysis);

// One row per recording: file, frames, duration, batches, then for every vital that any
// recording has, its median and the share of batches with an estimate.
void print_recordings_table(std::ostream& out, const std::vector<RecordingSummary>& recordings);

struct JsonContent {
    bool waveforms = false;
    bool face = false;
};

// Writes the analysis as one JSON object, keys in alphabetical order and indented by two spaces
// as nlohmann::json::dump(2) would, one member at a time, so that a long recording never needs
// the whole document in memory.
void write_analysis_json(std::ostream& out, const Recording& recording, const Analysis& analysis,
                         const std::vector<VitalRow>& final_rows, JsonContent content);

}  // namespace quorvanta::cli
