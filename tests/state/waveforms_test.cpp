// Waveforms returned by a session: which ids, raw or processed, confidences, units and notes.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "state/session.h"

namespace quorvanta {
namespace {

const WaveformMode kIncremental = waveform_mode::Incremental{};
const WaveformMode kGlobal = waveform_mode::Global{};

Session session_returning(std::optional<std::vector<std::string>> waveforms) {
    return Session(SessionConfig{"m1", {}, std::move(waveforms), 30.0f, 40, 4, "face"});
}

// `count` frames at 30 fps from frame `first`, with a pulse-like "ppg_waveform" and an "spo2".
SessionInput frames(int first, int count) {
    SessionInput input;
    SignalInput& ppg = input.signals["ppg_waveform"];
    SignalInput& spo2 = input.signals["spo2"];
    for (int i = first; i < first + count; ++i) {
        input.timestamp.push_back(i / 30.0);
        ppg.data.push_back(std::sin(static_cast<float>(i) * 0.26f) + 0.01f * static_cast<float>(i));
        ppg.confidence.push_back(0.75f);
        spo2.data.push_back(96.0f + static_cast<float>(i % 3));
        spo2.confidence.push_back(0.5f);
    }
    return input;
}

TEST(Waveforms, ProcessedOnlyOnceEnoughHistoryExists) {
    for (const int stored : {120, 150}) {
        SCOPED_TRACE(stored);
        Session session = session_returning(std::vector<std::string>{"ppg_waveform"});
        const SessionInput input = frames(0, stored);
        const auto result = session.process(input, kGlobal);
        const WaveformResult& ppg = result.waveforms.at("ppg_waveform");
        ASSERT_EQ(ppg.data.size(), static_cast<std::size_t>(stored));
        if (stored < 150) {
            EXPECT_EQ(ppg.data, input.signals.at("ppg_waveform").data);
        } else {
            const float mean = std::accumulate(ppg.data.begin(), ppg.data.end(), 0.0f) / stored;
            float squares = 0;
            for (float v : ppg.data)
                squares += (v - mean) * (v - mean);
            EXPECT_NEAR(mean, 0.0f, 1e-5f);
            EXPECT_NEAR(std::sqrt(squares / stored), 1.0f, 1e-4f);
        }
        EXPECT_EQ(ppg.confidence, std::vector<float>(stored, 0.75f));
        EXPECT_EQ(ppg.unit, "unitless");
        EXPECT_EQ(ppg.note,
                  "Global estimate of PPG Waveform with frame-wise confidence scores using m1.");
    }
}

TEST(Waveforms, ReturnsOnlyRequestedWaveformsWithData) {
    Session session = session_returning(
        std::vector<std::string>{"hr", "spo2", "respiratory_waveform", "ppg", "unknown"});
    auto result = session.process(frames(0, 60), kIncremental);
    ASSERT_EQ(result.waveforms.size(), 1u);  // "ppg" names the PPG but no data came under "ppg"
    const WaveformResult& spo2 = result.waveforms.at("spo2");
    EXPECT_EQ(spo2.data, frames(0, 60).signals.at("spo2").data);
    EXPECT_EQ(spo2.unit, "%");
    EXPECT_EQ(spo2.note, "Latest estimate of SpO2 with frame-wise confidence scores using m1.");

    result = session.process(frames(50, 20), kIncremental);  // ten new frames
    EXPECT_EQ(result.waveforms.at("spo2").data.size(), 10u);
    EXPECT_TRUE(session.process(frames(50, 20), kIncremental).waveforms.empty());
    EXPECT_TRUE(session_returning(std::nullopt).process(frames(0, 60), kGlobal).waveforms.empty());
}

}  // namespace
}  // namespace quorvanta
