// SPDX-License-Identifier: Apache-2.0
// What the analysis shows: the last result's vitals as a table (with the truth when known), one
// row per batch, the whole analysis as JSON, and the waveforms gathered over all batches.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis.h"
#include "truth.h"

namespace quorvanta::cli {

// A waveform over the whole analysis: each returned frame's latest value.
struct CollectedWaveform {
    std::vector<double> timestamps;
    std::vector<float> data;
    std::vector<float> confidence;
    std::string unit;
    std::string note;
};
std::map<std::string, CollectedWaveform> collect_waveforms(const Analysis& analysis);

// The vitals of the last result in catalogue order, each with the truth averaged over the history
// its estimate summarises (the estimator's window, or all of it in Global mode), when `truth` has
// the vital.
struct VitalRow {
    std::string id;
    VitalResult result;
    std::optional<double> truth;
};
std::vector<VitalRow> final_vitals(const Recording& recording, const Analysis& analysis,
                                   const Truth* truth);

// The time of the last batch's newest frame (its result may return no frame at all).
double last_batch_time(const Recording& recording, const Analysis& analysis);

// The seconds of history an estimate of `vital` summarises, outside Global mode.
double estimator_window(const std::string& vital);

// Prints rows of cells with each column padded to its widest cell, two spaces apart.
void print_aligned(std::ostream& out, const std::vector<std::vector<std::string>>& rows);

void print_vitals_table(std::ostream& out, const std::vector<VitalRow>& rows, bool with_truth);
void print_timeline(std::ostream& out, const Recording& recording, const Analysis& analysis);

struct JsonContent {
    bool waveforms = false;
    bool face = false;
};
nlohmann::json analysis_json(const Recording& recording, const Analysis& analysis,
                             const std::vector<VitalRow>& final_rows, JsonContent content);

}  // namespace quorvanta::cli
