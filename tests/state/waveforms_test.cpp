// SPDX-License-Identifier: Apache-2.0
// Waveforms returned by a session: which ids, raw or processed, confidences, units and notes.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <tuple>

#include "state/session.h"
#include "state/synthetic_recording.h"

namespace {

using namespace quorvanta;

const WaveformMode kIncremental = waveform_mode::Incremental{}, kGlobal = waveform_mode::Global{};
// Twenty seconds: the motion artefact starts at frame 300, after every batch used here.
const auto kRecording = quorvanta::testing::make_recording(20, 30, 5);

Session session_returning(std::optional<std::vector<std::string>> waveforms) {
    return Session(quorvanta::testing::session_config({}, std::move(waveforms)));
}

TEST(Waveforms, ProcessedOnlyOnceEnoughHistoryExists) {
    // id, name, frames needed
    for (const auto& [id, name, needed] :
         {std::tuple{"ppg_waveform", "PPG", std::size_t{150}},
          std::tuple{"respiratory_waveform", "Resp", std::size_t{300}}}) {
        for (const std::size_t stored : {needed - 1, needed}) {
            SCOPED_TRACE(stored);
            const SessionInput input = kRecording.batch(0, stored);
            const WaveformResult wave =
                session_returning({{id}}).process(input, kGlobal).waveforms.at(id);
            const std::vector<float>& v = wave.data;
            EXPECT_EQ(wave.confidence, std::vector<float>(stored, 0.9f));
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
    Session session = session_returning({{"hr", "spo2", "ppg", "unknown"}});
    const SessionInput first = kRecording.batch(0, 60);
    const auto result = session.process(first, kIncremental);
    ASSERT_EQ(result.waveforms.size(), 1u);  // "ppg" names the PPG but no data came under "ppg"
    const WaveformResult& spo2 = result.waveforms.at("spo2");
    EXPECT_EQ(spo2.data, first.signals.at("spo2").data);
    EXPECT_EQ(spo2.unit, "%");
    EXPECT_EQ(spo2.note, "Latest estimate of SpO2 with frame-wise confidence scores using m1.");
    // Ten new frames, then none.
    const SessionInput second = kRecording.batch(50, 20);
    EXPECT_EQ(session.process(second, kIncremental).waveforms.at("spo2").data.size(), 10u);
    EXPECT_TRUE(session.process(second, kIncremental).waveforms.empty());
    EXPECT_TRUE(session_returning(std::nullopt).process(first, kGlobal).waveforms.empty());
}

}  // namespace
