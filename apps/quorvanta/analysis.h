// SPDX-License-Identifier: Apache-2.0
// Streams a recording through a Session the way a live host does: frames go into inference
// buffers matched to the face by the BufferPlanner, the planner is polled at a fixed cadence of
// recording time, and each inference's frames (with the planner's overlap) form one batch.
//
// Of each batch's result the analysis keeps only what the command reports: the batch's frames and
// vitals, and, when asked, the returned waveforms and face track gathered frame by frame. Memory
// therefore grows with the recording, not with the results, which in Global mode hold the whole
// history every time.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "frame_series.h"
#include "recording/recording.h"
#include "text_table.h"
#include "types/records.h"

namespace quorvanta::cli {

struct AnalysisOptions {
    std::uint64_t input_size = 40;  // model input edge in pixels
    std::uint64_t n_inputs = 4;     // frames per inference
    InferenceMode mode = InferenceMode::Stream;
    WaveformMode waveform_mode = waveform_mode::Incremental{};
    double poll_interval = 1.0;   // seconds of recording time between planner polls
    std::optional<float> fps;     // frame rate fed to the model; measured when absent
    bool keep_waveforms = false;  // gather the returned waveforms over the whole analysis
    bool keep_face = false;       // gather the returned face track over the whole analysis
};

// The stretch of a recording between its first and last finite timestamps.
struct TimeSpan {
    std::size_t first_frame = 0;
    std::size_t last_frame = 0;
    double first = 0;
    double last = 0;

    double seconds() const { return last - first; }
    std::size_t frames() const { return last_frame - first_frame + 1; }
};
std::optional<TimeSpan> time_span(const Recording& recording);

// What the session's checks (Session::assess) said of a vital after its batch.
struct VitalCheck {
    float checked_value = 0;
    float quality = 0;
    std::uint8_t reasons = 0;  // bit i: kQualityReasonNames[i]

    std::vector<std::string> reason_names() const;
    std::string reasons_text() const;  // the names, comma-separated
};

// One vital of a batch's result. Its texts are indexes into Analysis::texts.
struct BatchVital {
    std::uint8_t vital = 0;  // index into vital_ids()
    float value = 0;
    float confidence = 0;
    std::uint32_t unit = 0;
    std::uint32_t note = 0;
    std::optional<VitalCheck> check;
};

// One batch: its frames and what its result said.
struct BatchSummary {
    std::size_t first_frame = 0;  // recording frame indexes
    std::size_t last_frame = 0;
    std::size_t frames = 0;
    float fps = 0;
    std::uint32_t message = 0;       // index into Analysis::texts
    std::vector<BatchVital> vitals;  // in catalogue order

    const BatchVital* find(const std::string& vital) const;
};

struct WaveformSample {
    float value = 0;
    float confidence = 0;
};

// A returned waveform over the whole analysis: each returned frame's latest value.
struct GatheredWaveform {
    FrameSeries<WaveformSample> frames;
    std::size_t unprocessed = 0;  // leading frames whose latest value the session returned raw,
                                  // before it held enough history to process the waveform
    std::string unit;
    std::string note;
};

// The beats of the pulse waveform over the whole analysis: each assessment's beats replace those
// gathered from its first beat on (less 0.3 s, closer than any two heartbeats), so that every
// beat is as the last assessment that held it saw it.
struct GatheredBeats {
    std::vector<double> times;  // seconds, ascending
    std::vector<BeatStatus> status;

    void merge(const Beats& latest);
};

struct FaceSample {
    std::array<float, 4> box{};  // x, y, width, height
    float confidence = 0;
};

struct Analysis {
    SessionConfig config;
    BufferConfig buffers;
    InferenceMode mode = InferenceMode::Stream;
    WaveformMode waveform_mode;
    std::vector<BatchSummary> batches;
    TextTable texts;
    std::map<std::string, GatheredWaveform> waveforms;  // with keep_waveforms
    std::optional<FrameSeries<FaceSample>> face;        // with keep_face, once a result has one
    GatheredBeats beats;
    std::size_t dropped_frames = 0;  // frames of buffers the planner dropped unprocessed

    VitalResult vital_result(const BatchVital& vital) const;
};

// Called after each frame with the frames handled so far and the total.
using Progress = std::function<void(std::size_t done, std::size_t total)>;

Analysis analyze(const Recording& recording, const AnalysisOptions& options,
                 const Progress& progress);

// The session configuration for a recording: its signals, every vital they can yield, and its
// waveforms returned.
SessionConfig session_config_for(const Recording& recording, const AnalysisOptions& options);

// Frames per second measured between the recording's first and last finite timestamps, or 30
// when they give none.
float measured_fps(const Recording& recording);

}  // namespace quorvanta::cli
