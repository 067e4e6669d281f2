// SPDX-License-Identifier: Apache-2.0
// What the analysis shows: the last batch's vitals as a table (with the truth when known), one
// row per batch, and the whole analysis as JSON.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis.h"
#include "truth.h"

namespace quorvanta::cli {

// The vitals of the last batch in catalogue order, each with the truth averaged over the history
// its estimate summarises (the estimator's window, or all of it in Global mode), when `truth` has
// the vital.
struct VitalRow {
    std::string id;
    VitalResult result;
    std::optional<double> truth;
};
std::vector<VitalRow> final_vitals(const Recording& recording, const Analysis& analysis,
                                   const Truth* truth);

// The time of a batch's newest frame (its result may return no frame at all).
double batch_time(const Recording& recording, const BatchSummary& batch);

// The seconds of history an estimate of `vital` summarises, outside Global mode.
double estimator_window(const std::string& vital);

// Prints rows of cells with each column padded to its widest cell, two spaces apart.
void print_aligned(std::ostream& out, const std::vector<std::vector<std::string>>& rows);

// A number with a fixed count of decimals.
std::string fixed(double value, int decimals);

void print_vitals_table(std::ostream& out, const std::vector<VitalRow>& rows, bool with_truth);
void print_timeline(std::ostream& out, const Recording& recording, const Analysis& analysis);

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
