// SPDX-License-Identifier: Apache-2.0
// Shared by the state tests: a session configuration, and synthetic model output with known truth:
// a pulse train at about 72 per minute with respiratory sinus arrhythmia and beat-to-beat jitter, a
// 15 per minute respiration, arterial pressure, per-frame SpO2 and blood pressures, camera-like
// noise and one second of motion artefact with low confidence.
#pragma once

#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "types/records.h"

namespace quorvanta::testing {

// A session of model "m1" at `fps_target`, for inputs of 40 frames taken 4 at a time.
inline SessionConfig session_config(std::vector<std::string> vitals = {},
                                    std::optional<std::vector<std::string>> waveforms = {},
                                    float fps_target = 30) {
    return {"m1", std::move(vitals), std::move(waveforms), fps_target, 40, 4, "face"};
}

// Every vital with a scalar estimate.
inline const std::vector<std::string> kEveryVital = {
    "heart_rate", "respiratory_rate", "spo2",         "hrv_sdnn", "hrv_rmssd", "hrv_lfhf",
    "hrv_pnn50",  "hrv_sd1sd2",       "stress_index", "ie_ratio", "sbp",       "dbp",
    "map",        "pulse_pressure"};

struct SyntheticRecording {
    std::vector<double> timestamps;
    std::vector<float> ppg, ppg_confidence, resp, abp, spo2, sbp, dbp;
    std::vector<double> beats;  // true beat times, seconds
    double artefact_start = 0;  // one second of artefact starts here

    // The batch of frames [first, first + count), clipped to the recording.
    SessionInput batch(std::size_t first, std::size_t count) const {
        const std::size_t end = std::min(first + count, timestamps.size());
        const auto slice = [&](const std::vector<float>& v) {
            return std::vector<float>(v.data() + first, v.data() + end);
        };
        const auto flat = [&](float c) { return std::vector<float>(end - first, c); };
        SessionInput input{std::nullopt, {}, {timestamps.data() + first, timestamps.data() + end}};
        input.signals["ppg_waveform"] = {slice(ppg), slice(ppg_confidence)};
        input.signals["respiratory_waveform"] = {slice(resp), flat(0.9f)};
        input.signals["abp_waveform"] = {slice(abp), flat(0.9f)};
        for (const auto& [id, values] : {std::pair{"spo2", &spo2}, {"sbp", &sbp}, {"dbp", &dbp}})
            input.signals[id] = {slice(*values), flat(0.8f)};
        return input;
    }

    // Intervals (ms) between true beats after `from` seconds, skipping those near the artefact.
    std::vector<float> clean_intervals(double from) const {
        std::vector<float> intervals;
        for (std::size_t k = 1; k < beats.size(); ++k) {
            const bool near_artefact =
                beats[k] > artefact_start - 0.5 && beats[k - 1] < artefact_start + 1.5;
            if (beats[k - 1] >= from && !near_artefact)
                intervals.push_back(static_cast<float>((beats[k] - beats[k - 1]) * 1e3));
        }
        return intervals;
    }
};

inline SyntheticRecording make_recording(double seconds, double fps, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_real_distribution<double> jitter(-0.04, 0.04);
    SyntheticRecording rec;
    rec.artefact_start = seconds / 2;
    for (double t = 0.3; t < seconds + 1;
         t += 60.0 / 72.0 + 0.03 * std::sin(2 * M_PI * 0.25 * t) + jitter(random))
        rec.beats.push_back(t);
    const auto put = [](std::vector<float>& to, double v) { to.push_back(static_cast<float>(v)); };
    for (int i = 0; i < static_cast<int>(seconds * fps); ++i) {
        const double t = rec.timestamps.emplace_back(i / fps);
        double shape = 0;  // a pulse per beat: only the beats around t contribute
        for (const double beat : rec.beats)
            shape += std::exp(-std::pow((t - beat) / 0.08, 2)) +
                     0.4 * std::exp(-std::pow((t - beat - 0.25) / 0.1, 2));
        const bool artefact = t >= rec.artefact_start && t < rec.artefact_start + 1;
        put(rec.ppg, artefact ? 3 * noise(random) : shape + 0.03 * noise(random));
        put(rec.ppg_confidence, artefact ? 0.2 : 0.9);
        put(rec.resp, std::sin(2 * M_PI * 0.25 * t) + 0.02 * noise(random));
        put(rec.abp, 80 + 40 * shape / 1.05 + 0.3 * noise(random));
        put(rec.spo2, 97 + 0.3 * noise(random));
        put(rec.sbp, 120 + noise(random));
        put(rec.dbp, 80 + noise(random));
    }
    return rec;
}

}  // namespace quorvanta::testing
