// SPDX-License-Identifier: Apache-2.0
// The session pipeline: validation, merging, pruning, returned frames and face track, hostile
// rates. Poisoning is checked through each door, which also turns the fault into its own error.
#include "state/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "state/session_core.h"
#include "state/synthetic_recording.h"
#include "state/vitals.h"
#include "state/waveforms.h"

namespace {

using namespace quorvanta;
using quorvanta::testing::make_recording;
using quorvanta::testing::session_config;
using Windowed = waveform_mode::Windowed;

const WaveformMode kIncremental = waveform_mode::Incremental{};
const WaveformMode kGlobal = waveform_mode::Global{};

// `frames` frames at 30 fps starting at frame `first`, with one signal "ppg" of value i.
SessionInput batch(int first, int frames) {
    SessionInput input{
        std::nullopt, {{"ppg", {{}, std::vector<float>(std::size_t(frames), 0.5f)}}}, {}};
    for (int i = first; i < first + frames; ++i) {
        input.timestamp.push_back(i / 30.0);
        input.signals["ppg"].data.push_back(static_cast<float>(i));
    }
    return input;
}

// The number of frames the session holds, all of which Global mode returns.
std::size_t history(Session& session) {
    return session.process(SessionInput{}, kGlobal).timestamp.size();
}

TEST(Session, RejectsMismatchedLengthsWithoutTouchingTheHistory) {
    // Lengths of the face boxes, face confidences, ppg data and ppg confidences of 10 frames.
    const std::tuple<std::size_t, std::size_t, std::size_t, std::size_t, std::string> cases[] = {
        {9, 8, 10, 10, "Length mismatch: face.coordinates has length 9, expected 10"},
        {10, 11, 10, 10, "Length mismatch: face.confidence has length 11, expected 10"},
        {10, 10, 9, 10, "Length mismatch: signals[ppg].data has length 9, expected 10"},
        {10, 10, 10, 0, "Length mismatch: signals[ppg].confidence has length 0, expected 10"}};
    for (const auto& [boxes, scores, data, confidence, message] : cases) {
        SCOPED_TRACE(message);
        Session session(session_config({}, std::nullopt, 25.0f));
        SessionInput bad = batch(0, 10);
        bad.face = FaceInput{std::vector<std::vector<float>>(boxes), std::vector<float>(scores)};
        bad.signals["ppg"] = {std::vector<float>(data), std::vector<float>(confidence)};
        EXPECT_EQ(session.process(bad, kIncremental),
                  (SessionResult{{}, {}, {}, {}, 25.0f, message}));
        EXPECT_EQ(session.process(batch(0, 10), kIncremental).timestamp.size(), 10u);
    }
}

TEST(Session, MergesRepeatedFramesByTimestamp) {
    SessionCore core = make_session_core(session_config({}, std::vector<std::string>{"ppg"}));
    SessionInput first = batch(0, 10);
    first.face =
        FaceInput{std::vector<std::vector<float>>(10, {1, 2, 3}), std::vector<float>(10, 0.9f)};
    first.face->coordinates[9] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(merge_batch(core, first), 0u);

    SessionInput second = batch(4, 10);  // repeats frames 4..9
    second.signals["ppg"].data.assign(10, 12.0f);
    EXPECT_EQ(merge_batch(core, second), 6u);
    EXPECT_EQ(core.signal_series.at("ppg").values(),  // repeats average, new frames are taken
              (std::vector<float>{0, 1, 2, 3, 8, 8.5f, 9, 9.5f, 10, 10.5f, 12, 12, 12, 12}));
    EXPECT_EQ(core.face_boxes[0], (std::array<float, 4>{0, 0, 0, 0}));
    EXPECT_EQ(core.face_boxes[9], (std::array<float, 4>{1, 2, 3, 4}));
    EXPECT_EQ(core.face_confidence[13], 0.0f);  // the second batch had no face

    SessionInput later{std::nullopt, {}, {core.timestamps.back() + 0.005}};  // at the tolerance
    EXPECT_EQ(merge_batch(core, later), 1u);
    later.timestamp[0] = core.timestamps.back() + 0.0051;
    EXPECT_EQ(merge_batch(core, later), 0u);
    EXPECT_EQ(merge_batch(core, SessionInput{}), 0u);
    EXPECT_EQ(core.timestamps.size(), 15u);
}

TEST(Session, KeepsNoHistoryOfSignalsNothingReadsAndWarnsOfEachOnce) {
    const auto recording = make_recording(20, 30, 3);
    const SessionConfig config = session_config({"heart_rate", "respiratory_rate"}, std::nullopt);
    Session plain(config), extra(config);
    for (std::size_t first = 0; first < recording.timestamps.size(); first += 30) {
        SessionInput input = recording.batch(first, 30);
        const SessionResult expected = plain.process(input, kIncremental);
        for (const char* key : {"ppg", "resp_waveform", "temperature"})
            input.signals[key] = input.signals.begin()->second;
        EXPECT_EQ(extra.process(input, kIncremental), expected);
    }

    Session session(config);
    SessionInput keys;
    for (const char* key : {"ppg_waveform", "ppg", "ppg_wavefrom", "temperature"})
        keys.signals[key] = {};
    const std::string unread =
        "' is read by no vital, returned waveform or check of this "
        "session, which keeps none of it";
    EXPECT_EQ(session.input_warnings(keys),
              (std::vector<std::string>{
                  "signal 'ppg" + unread + "; did you mean 'ppg_waveform'?",
                  "signal 'ppg_wavefrom" + unread + "; did you mean 'ppg_waveform'?",
                  "signal 'temperature" + unread}));
    EXPECT_TRUE(session.input_warnings(keys).empty());  // once per key

    SessionInput many;
    for (int i = 0; i < 20; ++i)
        many.signals["key" + std::to_string(100 + i)] = {};
    const std::vector<std::string> named = session.input_warnings(many);
    ASSERT_EQ(named.size(), Session::kMaxNamedUnreadSignals - 3 + 1);
    EXPECT_EQ(named.back(), "more signals are read by nothing of this session; no more are named");
    EXPECT_TRUE(session.input_warnings(many).empty());
}

// Timestamps too far apart are warned of once per session, the interval measured across batches
// so that single-frame batches are judged too.
TEST(Session, WarnsOfTimestampsInASmallerUnit) {
    const auto frames = [](std::vector<double> timestamps) {
        SessionInput input;
        input.timestamp = std::move(timestamps);
        return input;
    };
    const std::string too_long = "timestamps: the median frame interval is ";
    const struct {
        const char* name;
        std::vector<std::vector<double>> batches;
        std::vector<std::string> warnings;  // of the last batch
    } cases[] = {
        {"seconds", {{0, 1 / 30.0, 2 / 30.0}, {3 / 30.0}}, {}},
        {"milliseconds",
         {{0, 33.3, 66.7, 100}},
         {too_long + "33.3 s, too long for any vital: the timestamps look like milliseconds; if "
                     "they are, divide them by 1000: the session takes seconds"}},
        {"microseconds one frame at a time",
         {{0}, {33333.3}},
         {too_long + "33333.3 s, too long for any vital: the timestamps look like microseconds; "
                     "if they are, divide them by 1000000: the session takes seconds"}},
        {"no smaller unit fits", {{0, 2e6}}, {too_long + "2000000.0 s, too long for any vital"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Session session(session_config());
        std::vector<std::string> warnings;
        for (const auto& timestamps : c.batches)
            warnings = session.input_warnings(frames(timestamps));
        EXPECT_EQ(warnings, c.warnings);
        EXPECT_TRUE(session.input_warnings(frames({1e9, 2e9})).empty() || c.warnings.empty());
    }
}

// Windows are counted in frames at the target rate; a Global call advances what counts as
// returned. Pruning is pinned by the hostile-rate test below.
TEST(Session, ChoosesTheReturnedFramesByMode) {
    const SessionResult result = Session(session_config()).process(batch(0, 100), Windowed{2});
    EXPECT_EQ(result.timestamp.size(), 60u);
    // The face track covers the same frames; frames given without a face have a zero box.
    EXPECT_EQ(result.face, (FaceResult{std::vector<std::vector<float>>(60, {0, 0, 0, 0}),
                                       std::vector<float>(60, 0.0f), std::nullopt}));
    Session session(session_config());
    EXPECT_FALSE(session.process(SessionInput{}, kIncremental).face.has_value());  // no history
    session.process(batch(10, 5), kGlobal);
    EXPECT_TRUE(session.process(batch(10, 5), kIncremental).timestamp.empty());
    session.reset();
    EXPECT_EQ(session.process(batch(0, 10), kIncremental).timestamp.size(), 10u);
    EXPECT_TRUE(session.process(batch(0, 10), kIncremental).timestamp.empty());  // no new frame
}

// Every vital and every recorded waveform, at `fps_target`.
SessionConfig everything(float fps_target) {
    std::vector<std::string> ids = quorvanta::testing::kEveryVital;
    ids.insert(ids.end(), {"ppg_waveform", "respiratory_waveform", "abp_waveform"});
    return session_config(ids, {{"ppg_waveform", "respiratory_waveform", "abp_waveform", "spo2"}},
                          fps_target);
}

// Frame rates and windows, hostile ones among them, on 70 s of model output in three batches: the
// history cap is a minute of frames at the target rate, 0 or unbounded as documented, the history
// holds what the cap allows, and every returned waveform covers exactly the returned frames. A
// Global session keeps everything. The session fuzzer checks that the vitals stay finite.
TEST(Session, HostileFrameRatesAndWindows) {
    const std::pair<float, std::uint64_t> rates[] = {{30, 1800}, {NAN, 0}, {INFINITY, UINT64_MAX},
                                                     {0, 0},     {-30, 0}, {1e30f, UINT64_MAX}};
    const WaveformMode modes[] = {kIncremental, Windowed{NAN}, Windowed{INFINITY}, Windowed{1e-45f},
                                  kGlobal};
    const auto recording = make_recording(70, 30, 11);
    for (const auto& [fps_target, max_frames] : rates) {
        EXPECT_EQ(make_session_core(everything(fps_target)).max_frames, max_frames) << fps_target;
        for (const WaveformMode& mode : modes) {
            SCOPED_TRACE(::testing::Message()
                         << "fps_target " << fps_target << ", mode #" << &mode - modes);
            Session session(everything(fps_target));
            SessionResult result;
            for (std::size_t first = 0; first < 2100; first += 700)
                result = session.process(recording.batch(first, 700), mode);
            const bool global = std::holds_alternative<waveform_mode::Global>(mode);
            const std::size_t kept = global ? 2100 : std::min<std::uint64_t>(2100, max_frames);
            EXPECT_EQ(history(session), kept);
            EXPECT_LE(result.timestamp.size(), kept);
            for (const auto& [id, waveform] : result.waveforms) {
                EXPECT_EQ(waveform.data.size(), result.timestamp.size()) << id;
                EXPECT_EQ(waveform.confidence.size(), result.timestamp.size()) << id;
            }
        }
    }
}

// Timestamps that make the measured rate absurd, all in one batch analysed whole: a rate without
// a usable bin width computes no spectrum, a huge finite one stays within the 2^20-point cap, and
// the waveforms, processed at that rate or returned raw, keep one sample per frame.
TEST(Session, HostileTimestamps) {
    const std::tuple<const char*, double, std::size_t> cases[] = {
        {"1e-300 s apart: infinite rate", 1e-300, 0},
        {"1e-9 s apart: rate 1e9", 1e-9, 1u << 19},
        {"1e300 s apart: rate 0", 1e300, 0},
        {"30 fps", 1.0 / 30, 2048}};
    const auto recording = make_recording(70, 30, 11);
    for (const auto& [name, spacing, bins] : cases) {
        SCOPED_TRACE(name);
        SessionInput input = recording.batch(0, 2100);
        for (std::size_t i = 0; i < input.timestamp.size(); ++i)
            input.timestamp[i] = double(i) * spacing;
        SessionCore core = make_session_core(everything(30));
        merge_batch(core, input);
        estimate_vitals(core, true);
        EXPECT_EQ(core.spectrum_workspace.power.size(), bins);
        const auto waveforms = build_waveforms(core, 0, true);
        EXPECT_EQ(waveforms.size(), 4u);
        for (const auto& [id, waveform] : waveforms)
            EXPECT_EQ(waveform.data.size(), 2100u) << id;
    }
    // A non-finite newest timestamp is stored but does not block the frames that follow it: the
    // next batch's frames 9.. are new against the newest finite one (frame 8). Incremental mode
    // returns from the first frame after frame 8, which +inf is.
    const std::pair<double, std::size_t> glitches[] = {{NAN, 9}, {INFINITY, 10}, {-INFINITY, 9}};
    for (const auto& [glitch, returned] : glitches) {
        SCOPED_TRACE(glitch);
        Session session(session_config());
        SessionInput glitched = batch(0, 10);
        glitched.timestamp.back() = glitch;
        EXPECT_EQ(session.process(glitched, kIncremental).timestamp.size(), 10u);
        EXPECT_EQ(session.process(batch(8, 10), kIncremental).timestamp.size(), returned);
        EXPECT_EQ(history(session), 19u);
    }
}

}  // namespace
