// SPDX-License-Identifier: Apache-2.0
// The history behind a session's lock and the operations that merge batches into it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "registry/registry.h"
#include "signal/spectrum.h"
#include "state/beat_blocks.h"
#include "state/series.h"
#include "types/records.h"

namespace quorvanta {

// Batch frames whose timestamp lies within this many seconds after the newest stored one are
// repeats of stored frames.
inline constexpr double kDuplicateTolerance = 0.005;

// A session keeps about a minute of history: fps_target frames per second for this long.
inline constexpr float kHistorySeconds = 60.0f;

// The pulse waveform the checks find beats in, whatever vitals the session has.
inline constexpr std::string_view kCheckedPulseSignal = "ppg_waveform";

struct SessionCore {
    SessionConfig config;
    std::deque<double> timestamps;                // one per stored frame, oldest first
    std::deque<std::array<float, 4>> face_boxes;  // one per stored frame
    std::deque<float> face_confidence;            // one per stored frame
    std::vector<std::string> vital_order;         // canonical ids, in evaluation order
    SpectrumWorkspace spectrum_workspace;         // scratch lent to the rate estimator
    std::optional<std::string> face_note;
    std::unordered_map<std::string, Series> signal_series;
    std::unordered_map<std::string, Series> confidence_series;
    std::unordered_map<std::string, VitalSpec> vital_specs;
    // The signal ids something of the session reads: its vitals' methods, the waveforms it
    // returns (as the configuration names them) and the checks. Only these have a history.
    std::unordered_set<std::string> read_signals;
    double last_emitted_timestamp = -1.0;
    std::uint64_t max_frames = 0;  // history cap: fps_target * 60 frames
    // The vitals of the last processed batch, by id, and whether it was processed in Global mode:
    // what an assessment checks.
    std::unordered_map<std::string, float> latest_values;
    bool latest_global = false;
    std::uint64_t dropped_frames =
        0;                   // frames pruned since the last clear: the first held frame's number
    BeatBlocks beat_blocks;  // the assessment's beats, kept between calls
};

// A fresh core: the configured vitals looked up (unknown ids ignored) and ordered by stage.
SessionCore make_session_core(SessionConfig config);

// The complaint about the first sequence whose length differs from the batch's timestamps.
std::optional<std::string> find_length_mismatch(const SessionInput& input);

// The newest stored timestamp that is finite. Batches are compared with it, so that one NaN or
// infinite timestamp from a camera glitch cannot make every later frame look like a repeat.
std::optional<double> newest_finite_timestamp(const SessionCore& core);

// Appends the batch's new frames (timestamps, the signals it reads, face) and returns how many
// leading batch frames were already held.
std::size_t merge_batch(SessionCore& core, const SessionInput& input);

// Drops the oldest frames beyond max_frames from every history.
void prune_history(SessionCore& core);

// Empties every history while keeping the configuration and the known signal ids.
void clear_history(SessionCore& core);

// Frames per second over a run of timestamps: (count - 1) / (newest - oldest) in f32, or
// `fallback` with fewer than two timestamps or a span that is not positive.
template <class Timestamps>
float frame_rate(const Timestamps& timestamps, float fallback) {
    if (timestamps.size() < 2) return fallback;
    const double span = timestamps.back() - timestamps.front();
    if (!(span > 0.0)) return fallback;
    return static_cast<float>(timestamps.size() - 1) / static_cast<float>(span);
}

}  // namespace quorvanta
