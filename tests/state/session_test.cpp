// The session pipeline: validation, merging, pruning, returned frames, face track, poisoning.
#include "state/session.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "state/session_core.h"

namespace quorvanta {
namespace {

const WaveformMode kIncremental = waveform_mode::Incremental{};
const WaveformMode kGlobal = waveform_mode::Global{};

SessionConfig config(float fps_target = 30.0f, std::string model = "m1") {
    return SessionConfig{model, {}, std::nullopt, fps_target, 40, 4, "face"};
}

// `frames` frames starting at frame `first`, 1/fps apart, with one signal "ppg" of value i.
SessionInput batch(int first, int frames, float fps = 30.0f) {
    SessionInput input;
    SignalInput& ppg = input.signals["ppg"];
    for (int i = first; i < first + frames; ++i) {
        input.timestamp.push_back(i / static_cast<double>(fps));
        ppg.data.push_back(static_cast<float>(i));
        ppg.confidence.push_back(0.5f);
    }
    return input;
}

TEST(Session, RejectsMismatchedLengthsWithoutTouchingTheHistory) {
    struct Case {
        const char* message;
        void (*spoil)(SessionInput&);
    };
    const Case cases[] = {
        {"Length mismatch: face.coordinates has length 9, expected 10",
         [](SessionInput& in) {
             in.face = FaceInput{std::vector<std::vector<float>>(9), std::vector<float>(8)};
         }},
        {"Length mismatch: face.confidence has length 11, expected 10",
         [](SessionInput& in) {
             in.face = FaceInput{std::vector<std::vector<float>>(10), std::vector<float>(11)};
         }},
        {"Length mismatch: signals[ppg].data has length 9, expected 10",
         [](SessionInput& in) { in.signals["ppg"].data.pop_back(); }},
        {"Length mismatch: signals[ppg].confidence has length 0, expected 10",
         [](SessionInput& in) { in.signals["ppg"].confidence.clear(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Session session(config(25.0f));
        SessionInput bad = batch(0, 10);
        c.spoil(bad);
        const SessionResult rejected = session.process(bad, kIncremental);
        EXPECT_EQ(rejected.message, c.message);
        EXPECT_TRUE(rejected.timestamp.empty());
        EXPECT_FALSE(rejected.face.has_value());
        EXPECT_EQ(rejected.fps, 25.0f);
        EXPECT_EQ(session.process(batch(0, 10), kIncremental).timestamp.size(), 10u);
    }
}

TEST(Session, OrdersVitalsByStageAndIgnoresUnknownIds) {
    SessionConfig ordered = config();
    ordered.supported_vitals = {"hrv_sdnn", "map", "unknown", "hr", "pp", "ppg", "heart_rate"};
    EXPECT_EQ(make_session_core(ordered).vital_order,
              (std::vector<std::string>{"heart_rate", "ppg_waveform", "heart_rate", "hrv_sdnn",
                                        "map", "pulse_pressure"}));
}

TEST(Session, MergesRepeatedFramesByTimestamp) {
    SessionCore core = make_session_core(config());
    SessionInput first = batch(0, 10);
    first.face =
        FaceInput{std::vector<std::vector<float>>(10, {1, 2, 3}), std::vector<float>(10, 0.9f)};
    first.face->coordinates[9] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(merge_batch(core, first), 0u);

    SessionInput second = batch(4, 10);  // repeats frames 4..9
    for (float& v : second.signals["ppg"].data)
        v *= 3;
    EXPECT_EQ(merge_batch(core, second), 6u);
    EXPECT_EQ(core.timestamps.size(), 14u);
    const std::vector<float> ppg = core.signal_series.at("ppg").values();
    EXPECT_EQ(ppg[4], 8.0f);    // (4 + 12) / 2
    EXPECT_EQ(ppg[10], 30.0f);  // a new frame
    EXPECT_EQ(core.face_boxes[0], (std::array<float, 4>{0, 0, 0, 0}));
    EXPECT_EQ(core.face_boxes[9], (std::array<float, 4>{1, 2, 3, 4}));
    EXPECT_EQ(core.face_confidence[13], 0.0f);  // the second batch had no face

    SessionInput later = batch(20, 1);
    later.timestamp[0] = core.timestamps.back() + 0.005;  // a repeat at exactly the tolerance
    EXPECT_EQ(merge_batch(core, later), 1u);
    later.timestamp[0] = core.timestamps.back() + 0.0051;
    EXPECT_EQ(merge_batch(core, later), 0u);
    EXPECT_EQ(merge_batch(core, SessionInput{}), 0u);
    EXPECT_EQ(core.timestamps.size(), 15u);
}

TEST(Session, PrunesToOneMinuteExceptInGlobalMode) {
    struct Case {
        float fps_target;
        const WaveformMode& mode;
        std::size_t expected;
    };
    for (const Case& c :
         {Case{30, kIncremental, 1800}, Case{30, kGlobal, 2000}, Case{0, kIncremental, 0}}) {
        Session session(config(c.fps_target));
        SessionResult result;
        for (int first = 0; first < 2000; first += 100)
            result = session.process(batch(first, 100), c.mode);
        const SessionResult all = session.process(SessionInput{}, kGlobal);
        EXPECT_EQ(all.timestamp.size(), c.expected);
    }
}

TEST(Session, ChoosesTheReturnedFramesByMode) {
    struct Case {
        WaveformMode mode;
        int stored;
        std::size_t returned;
    };
    const Case cases[] = {
        {waveform_mode::Windowed{2.0f}, 100, 60},
        {waveform_mode::Windowed{2.0f}, 40, 40},
        {waveform_mode::Windowed{-1.0f}, 40, 0},
        {waveform_mode::Windowed{1e30f}, 40, 40},
        {kGlobal, 40, 40},
        {kIncremental, 40, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        Session session(config());
        EXPECT_EQ(session.process(batch(0, c.stored), c.mode).timestamp.size(), c.returned);
    }

    Session session(config());
    session.process(batch(0, 10), kIncremental);
    const SessionResult repeat = session.process(batch(0, 10), kIncremental);
    EXPECT_TRUE(repeat.timestamp.empty());
    EXPECT_EQ(repeat.fps, 30.0f);
    session.process(batch(10, 5), kGlobal);  // advances what counts as returned
    EXPECT_TRUE(session.process(batch(10, 5), kIncremental).timestamp.empty());
    session.reset();
    EXPECT_EQ(session.process(batch(0, 10), kIncremental).timestamp.size(), 10u);
}

TEST(Session, MeasuresFpsOverTheReturnedFrames) {
    struct Case {
        std::vector<double> timestamps;
        float fps;
    };
    const Case cases[] = {{{0.0, 0.1, 0.2, 0.3}, 10.0f}, {{5.0}, 30.0f}, {{}, 30.0f}};
    for (const Case& c : cases) {
        Session session(config());
        SessionInput input;
        input.timestamp = c.timestamps;
        EXPECT_EQ(session.process(input, kIncremental).fps, c.fps);
    }
    Session session(config());
    SessionInput same;
    same.timestamp = {1.0, 1.0, 1.0};  // later frames are appended even when they go back
    EXPECT_EQ(session.process(same, kIncremental).fps, 30.0f);
}

TEST(Session, ReturnsTheFaceTrackAndTheAdvisory) {
    Session session(config());
    const SessionResult empty = session.process(SessionInput{}, kIncremental);
    EXPECT_FALSE(empty.face.has_value());
    EXPECT_EQ(empty.message.size(), 207u);
    EXPECT_EQ(empty.message, kAdvisoryMessage);

    const SessionResult result = session.process(batch(0, 3), kIncremental);
    ASSERT_TRUE(result.face.has_value());
    EXPECT_EQ(result.face->coordinates, (std::vector<std::vector<float>>(3, {0, 0, 0, 0})));
    EXPECT_EQ(result.face->confidence, (std::vector<float>(3, 0.0f)));
    EXPECT_FALSE(result.face->note.has_value());
}

#ifdef QUORVANTA_FAULT_INJECTION
TEST(Session, AFaultPoisonsTheSession) {
    Session session(config(30.0f, "quorvanta-test-fault"));
    EXPECT_THROW(session.process(batch(0, 10), kIncremental), std::runtime_error);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            attempt == 0 ? session.reset() : (void)session.process(SessionInput{}, kGlobal);
            ADD_FAILURE() << "a poisoned session went on working";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Failed to lock Session core: PoisonError { .. }");
        }
    }
}
#endif

}  // namespace
}  // namespace quorvanta
