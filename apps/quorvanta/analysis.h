// SPDX-License-Identifier: Apache-2.0
// Streams a recording through a Session the way a live host does: frames go into inference
// buffers matched to the face by the BufferPlanner, the planner is polled at a fixed cadence of
// recording time, and each inference's frames (with the planner's overlap) form one batch.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "recording.h"
#include "types/records.h"

namespace quorvanta::cli {

struct AnalysisOptions {
    std::uint64_t input_size = 40;  // model input edge in pixels
    std::uint64_t n_inputs = 4;     // frames per inference
    InferenceMode mode = InferenceMode::Stream;
    WaveformMode waveform_mode = waveform_mode::Incremental{};
    double poll_interval = 1.0;  // seconds of recording time between planner polls
    std::optional<float> fps;    // frame rate fed to the model; measured when absent
};

struct Batch {
    std::vector<std::size_t> frames;  // recording frame indexes, in order
    SessionResult result;
};

struct Analysis {
    SessionConfig config;
    BufferConfig buffers;
    InferenceMode mode = InferenceMode::Stream;
    WaveformMode waveform_mode;
    std::vector<Batch> batches;
    std::size_t dropped_frames = 0;  // frames of buffers the planner dropped unprocessed
};

// Called after each frame with the frames handled so far and the total.
using Progress = std::function<void(std::size_t done, std::size_t total)>;

Analysis analyze(const Recording& recording, const AnalysisOptions& options,
                 const Progress& progress);

// The session configuration for a recording: its signals, every vital they can yield, and its
// waveforms returned.
SessionConfig session_config_for(const Recording& recording, const AnalysisOptions& options);

}  // namespace quorvanta::cli
