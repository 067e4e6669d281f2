// SPDX-License-Identifier: Apache-2.0
// The documentation of the library's functions and of its objects' operations, written once: the
// C interface's metadata carries those it exports, and the Python module shows them all in
// help().
#pragma once

#include <string_view>

namespace quorvanta::docs {

inline constexpr std::string_view kCalculateRoi =
    "Derives the region of interest to crop from a detected face box. The box is first "
    "brought into the default detector's framing, then each side moves by the method's "
    "fraction of the face's size; when both container dimensions are given the region is "
    "clipped to them, and force_even rounds it to whole pixels with even width and height.";

inline constexpr std::string_view kComputeBufferConfig =
    "Sizes the inference buffers for the model's input size and frames per inference: the "
    "frames a buffer needs before inference with and without carried state, the most "
    "frames one inference takes in stream and in file mode, and the frames kept as overlap.";

inline constexpr std::string_view kComputeIou =
    "Returns the intersection over union of two rectangles: 0 when they do not overlap, 1 "
    "when they coincide.";

inline constexpr std::string_view kGetVitalInfo =
    "Looks up the display name, short name, unit, colour and emoji of a vital sign by its "
    "identifier or one of its aliases; returns nothing for an identifier the registry does "
    "not know.";

inline constexpr std::string_view kIsContained =
    "Tells whether the part of inner that lies inside outer spans at least min_overlap_pct "
    "of inner's width and of its height; min_overlap_pct is a fraction (0.8 means 80 per "
    "cent).";

inline constexpr std::string_view kSessionNew =
    "Creates a new stateful session using the provided configuration. Vital identifiers "
    "that the registry does not know are ignored.";

inline constexpr std::string_view kSessionProcess =
    "Processes a new batch of inputs, updating the session's internal state, and returns "
    "the calculated vital signs and waveforms. The mode selects the frames returned and "
    "whether the history is pruned; a batch whose per-frame lengths disagree changes "
    "nothing and is reported in the result's message.";

inline constexpr std::string_view kSessionAssess =
    "Checks the vitals of the last processed batch against the session's history: for each "
    "one a quality from 0 to 1 measured on the signal itself, the reasons behind a low one, "
    "and the value the checks stand behind; and the beats of the pulse waveform. Changes "
    "nothing.";

inline constexpr std::string_view kSessionReset =
    "Resets the internal state of the session, clearing all historical buffers.";

inline constexpr std::string_view kBufferPlannerNew =
    "Creates a buffer planner that applies the given buffer limits, usually those of "
    "compute_buffer_config.";

inline constexpr std::string_view kBufferPlannerEvaluateTarget =
    "Matches a newly detected region against the active buffers: KeepAlive with the id of "
    "the fresh buffer that overlaps it best when their intersection over union is at least "
    "0.6, otherwise Create with the region for a new buffer.";

inline constexpr std::string_view kBufferPlannerIsReady =
    "Tells whether a buffer holding count frames may run inference: it needs the minimum "
    "for the engine's state and, in file mode without flush, a full file_max frames.";

inline constexpr std::string_view kBufferPlannerPoll =
    "Plans the next inference: picks the most recently created ready buffer, says how many "
    "frames to take from it and keep as overlap, and lists the stale and superseded "
    "buffers to drop.";

inline constexpr std::string_view kEstimateHeartRate =
    "Estimates the heart rate of a pulse signal sampled at fs Hz: the periodogram's strongest "
    "rate between 40 and 220 per minute, with its confidence, as (rate, confidence).";

inline constexpr std::string_view kEstimateHrvMetric =
    "Estimates one heart-rate-variability metric of a pulse signal sampled at fs Hz (sdnn, "
    "rmssd, lfhf, pnn50, sd1sd2 or si, case-insensitive) from its peaks, weighing the "
    "per-sample confidence, as (value, confidence); rate_hint guides the peak search.";

inline constexpr std::string_view kFindPeaks =
    "Finds the peaks of a signal sampled at fs Hz whose rate lies between min_rate and max_rate "
    "per minute, and returns their positions in samples; refine places each between samples by "
    "a parabola.";

inline constexpr std::string_view kFindBeats =
    "Finds the beats of a pulse waveform (PPG or arterial pressure) sampled at fs Hz, timed to a "
    "fraction of a sample and placed by timestamps (one per sample) when given, with each "
    "beat's status after the correction of missed, extra and ectopic beats and the "
    "normal-to-normal intervals in ms.";

inline constexpr std::string_view kExtractPulse =
    "Extracts a pulse waveform and its confidence per frame, as a session takes a signal, from "
    "the mean red, green and blue of a region of skin per frame and the frames' timestamps in "
    "seconds, by the plane orthogonal to the skin (method 'pos', Wang et al. 2017) or by "
    "chrominance (method 'chrom', de Haan and Jeanne 2013); the waveform rises with the blood "
    "volume, as a finger PPG does.";

inline constexpr std::string_view kExtractRespiration =
    "Extracts a respiration waveform and its confidence per frame, as a session takes a signal, "
    "from the vertical motion of a region: each frame's row profile (the mean brightness of each "
    "of the region's rows, top first; frames one after another in frame_rows) is matched with "
    "the reference profile, and the waveform is how far the frame's content rose, in rows; the "
    "confidence is how alike the matched profiles are.";

inline constexpr std::string_view kReadRecording =
    "Reads a recording of per-frame model outputs (a CSV or JSON file's path, or a pandas "
    "DataFrame) as the quorvanta command does, into a dict of NumPy arrays (timestamp, signals, "
    "face), the reader's warnings and batches of batch_frames frames ready for "
    "Session.process. fs times a file without timestamps, columns maps other column names to "
    "signals or to the timestamps, time_unit is the timestamps' unit, resample a frame rate to "
    "resample to; a file that cannot be read raises ValueError with the command's message.";

}  // namespace quorvanta::docs
