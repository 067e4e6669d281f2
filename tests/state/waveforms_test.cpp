// Waveforms returned by a session: which ids, raw or processed, confidences, units and notes.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <tuple>

#include "state/session.h"

namespace {

using namespace quorvanta;

const WaveformMode kIncremental = waveform_mode::Incremental{}, kGlobal = waveform_mode::Global{};

Session session_returning(std::optional<std::vector<std::string>> waveforms) {
    return Session(SessionConfig{"m1", {}, std::move(waveforms), 30.0f, 40, 4, "face"});
}

// `count` frames at 30 fps from frame `first`, with a pulse-like "ppg_waveform", the same
// "respiratory_waveform" and an "spo2".
SessionInput frames(int first, int count) {
    SessionInput input;
    for (int i = first; i < first + count; ++i) {
        input.timestamp.push_back(i / 30.0);
        const float wave = std::sin(static_cast<float>(i) * 0.26f) + 0.01f * static_cast<float>(i);
        for (const auto& [id, value, confidence] :
             {std::tuple{"ppg_waveform", wave, 0.75f},
              {"respiratory_waveform", wave, 0.75f},
              {"spo2", 96.0f + static_cast<float>(i % 3), 0.5f}}) {
            input.signals[id].data.push_back(value);
            input.signals[id].confidence.push_back(confidence);
        }
    }
    return input;
}

TEST(Waveforms, ProcessedOnlyOnceEnoughHistoryExists) {
    // id, name, frames needed
    for (const auto& [id, name, needed] : {std::tuple{"ppg_waveform", "PPG", 150},
                                           std::tuple{"respiratory_waveform", "Resp", 300}}) {
        for (const int stored : {needed - 1, needed}) {
            SCOPED_TRACE(stored);
            const SessionInput input = frames(0, stored);
            Session session = session_returning(std::vector{std::string(id)});
            const WaveformResult wave = session.process(input, kGlobal).waveforms.at(id);
            const std::vector<float>& v = wave.data;
            EXPECT_EQ(wave.confidence, std::vector<float>(stored, 0.75f));
            EXPECT_EQ(wave.unit, "unitless");
            EXPECT_EQ(wave.note, std::string("Global estimate of ") + name +
                                     " Waveform with frame-wise confidence scores using m1.");
            EXPECT_EQ(v == input.signals.at(id).data, stored < needed);  // raw until needed
            if (stored < needed) continue;
            // Standardised: mean 0 and standard deviation 1, so the mean square is 1 too.
            const float n = static_cast<float>(stored);
            EXPECT_NEAR(std::accumulate(v.begin(), v.end(), 0.0f) / n, 0.0f, 1e-5f);
            EXPECT_NEAR(std::inner_product(v.begin(), v.end(), v.begin(), 0.0f) / n, 1.0f, 2e-4f);
        }
    }
}

TEST(Waveforms, ReturnsOnlyRequestedWaveformsWithData) {
    Session session = session_returning(std::vector<std::string>{"hr", "spo2", "ppg", "unknown"});
    const auto result = session.process(frames(0, 60), kIncremental);
    ASSERT_EQ(result.waveforms.size(), 1u);  // "ppg" names the PPG but no data came under "ppg"
    const WaveformResult& spo2 = result.waveforms.at("spo2");
    EXPECT_EQ(spo2.data, frames(0, 60).signals.at("spo2").data);
    EXPECT_EQ(spo2.unit, "%");
    EXPECT_EQ(spo2.note, "Latest estimate of SpO2 with frame-wise confidence scores using m1.");
    // Ten new frames, then none.
    EXPECT_EQ(session.process(frames(50, 20), kIncremental).waveforms.at("spo2").data.size(), 10u);
    EXPECT_TRUE(session.process(frames(50, 20), kIncremental).waveforms.empty());
    EXPECT_TRUE(session_returning(std::nullopt).process(frames(0, 60), kGlobal).waveforms.empty());
}

}  // namespace
