// Synthetic model output with known truth: a pulse train at about 72 per minute with respiratory
// sinus arrhythmia and beat-to-beat jitter, a 15 per minute respiration, arterial pressure,
// per-frame SpO2 and blood pressures, camera-like noise and one second of motion artefact with
// low confidence.
#pragma once

#include <cmath>
#include <random>
#include <vector>

#include "types/records.h"

namespace quorvanta::testing {

struct SyntheticRecording {
    std::vector<double> timestamps;
    std::vector<float> ppg, ppg_confidence, resp, abp, spo2, sbp, dbp;
    std::vector<double> beats;  // true beat times, seconds
    double artefact_start = 0;  // one second of artefact starts here

    // The batch of frames [first, first + count), clipped to the recording.
    SessionInput batch(std::size_t first, std::size_t count) const {
        const std::size_t end = std::min(first + count, timestamps.size());
        const auto slice = [&](const std::vector<float>& v) {
            return std::vector<float>(v.begin() + first, v.begin() + end);
        };
        SessionInput input;
        input.timestamp.assign(timestamps.begin() + first, timestamps.begin() + end);
        input.signals["ppg_waveform"] = {slice(ppg), slice(ppg_confidence)};
        input.signals["respiratory_waveform"] = {slice(resp),
                                                 std::vector<float>(end - first, 0.9f)};
        input.signals["abp_waveform"] = {slice(abp), std::vector<float>(end - first, 0.9f)};
        for (const auto& [id, values] : {std::pair{"spo2", &spo2}, {"sbp", &sbp}, {"dbp", &dbp}}) {
            input.signals[id] = {slice(*values), std::vector<float>(end - first, 0.8f)};
        }
        return input;
    }

    // Intervals (ms) between true beats after `from` seconds, skipping those near the artefact.
    std::vector<double> clean_intervals(double from) const {
        std::vector<double> intervals;
        for (std::size_t k = 1; k < beats.size(); ++k) {
            const bool near_artefact =
                beats[k] > artefact_start - 0.5 && beats[k - 1] < artefact_start + 1.5;
            if (beats[k - 1] >= from && !near_artefact) {
                intervals.push_back((beats[k] - beats[k - 1]) * 1000.0);
            }
        }
        return intervals;
    }
};

inline double pulse_shape(double dt) {
    return std::exp(-std::pow(dt / 0.08, 2)) + 0.4 * std::exp(-std::pow((dt - 0.25) / 0.1, 2));
}

inline SyntheticRecording make_recording(double seconds, double fps, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_real_distribution<double> jitter(-0.04, 0.04);
    SyntheticRecording rec;
    rec.artefact_start = seconds / 2;
    for (double t = 0.3; t < seconds + 1;) {
        rec.beats.push_back(t);
        t += 60.0 / 72.0 + 0.03 * std::sin(2 * M_PI * 0.25 * t) + jitter(random);
    }
    std::size_t next_beat = 0;
    for (int i = 0; i < static_cast<int>(seconds * fps); ++i) {
        const double t = i / fps;
        while (next_beat + 1 < rec.beats.size() && rec.beats[next_beat + 1] <= t)
            ++next_beat;
        double shape = 0;
        for (std::size_t k = next_beat == 0 ? 0 : next_beat - 1;
             k < next_beat + 2 && k < rec.beats.size(); ++k) {
            shape += pulse_shape(t - rec.beats[k]);
        }
        const bool artefact = t >= rec.artefact_start && t < rec.artefact_start + 1;
        rec.timestamps.push_back(t);
        rec.ppg.push_back(
            static_cast<float>(artefact ? 3 * noise(random) : shape + 0.03 * noise(random)));
        rec.ppg_confidence.push_back(artefact ? 0.2f : 0.9f);
        rec.resp.push_back(
            static_cast<float>(std::sin(2 * M_PI * 0.25 * t) + 0.02 * noise(random)));
        rec.abp.push_back(static_cast<float>(80 + 40 * shape / 1.05 + 0.3 * noise(random)));
        rec.spo2.push_back(static_cast<float>(97 + 0.3 * noise(random)));
        rec.sbp.push_back(static_cast<float>(120 + noise(random)));
        rec.dbp.push_back(static_cast<float>(80 + noise(random)));
    }
    return rec;
}

}  // namespace quorvanta::testing
