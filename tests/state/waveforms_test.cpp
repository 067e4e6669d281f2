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
    SignalInput& resp = input.signals["respiratory_waveform"];
    SignalInput& spo2 = input.signals["spo2"];
    for (int i = first; i < first + count; ++i) {
        input.timestamp.push_back(i / 30.0);
        const float wave = std::sin(static_cast<float>(i) * 0.26f) + 0.01f * static_cast<float>(i);
        for (SignalInput* signal : {&ppg, &resp}) {
            signal->data.push_back(wave);
            signal->confidence.push_back(0.75f);
        }
        spo2.data.push_back(96.0f + static_cast<float>(i % 3));
        spo2.confidence.push_back(0.5f);
    }
    return input;
}

TEST(Waveforms, ProcessedOnlyOnceEnoughHistoryExists) {
    struct Case {
        std::string id;
        int stored;
        bool processed;
    };
    const Case cases[] = {{"ppg_waveform", 149, false},
                          {"ppg_waveform", 150, true},
                          {"respiratory_waveform", 299, false},
                          {"respiratory_waveform", 300, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id + " " + std::to_string(c.stored));
        Session session = session_returning(std::vector<std::string>{c.id});
        const SessionInput input = frames(0, c.stored);
        const SessionResult result = session.process(input, kGlobal);
        const WaveformResult& wave = result.waveforms.at(c.id);
        ASSERT_EQ(wave.data.size(), static_cast<std::size_t>(c.stored));
        if (!c.processed) {
            EXPECT_EQ(wave.data, input.signals.at(c.id).data);
        } else {
            const float n = static_cast<float>(c.stored);
            const float mean = std::accumulate(wave.data.begin(), wave.data.end(), 0.0f) / n;
            float squares = 0;
            for (float v : wave.data)
                squares += (v - mean) * (v - mean);
            EXPECT_NEAR(mean, 0.0f, 1e-5f);
            EXPECT_NEAR(std::sqrt(squares / n), 1.0f, 1e-4f);
        }
        EXPECT_EQ(wave.confidence, std::vector<float>(c.stored, 0.75f));
        EXPECT_EQ(wave.unit, "unitless");
    }
    Session session = session_returning(std::vector<std::string>{"ppg_waveform"});
    EXPECT_EQ(session.process(frames(0, 10), kGlobal).waveforms.at("ppg_waveform").note,
              "Global estimate of PPG Waveform with frame-wise confidence scores using m1.");
}

TEST(Waveforms, ReturnsOnlyRequestedWaveformsWithData) {
    Session session = session_returning(std::vector<std::string>{"hr", "spo2", "ppg", "unknown"});
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
