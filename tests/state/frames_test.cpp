#include "state/frames.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <tuple>
#include <vector>

namespace quorvanta {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kNow = 100.0;
constexpr Rect kBox{0, 0, 100, 100};
const BufferPlanner kPlanner(BufferConfig{16, 4, 150, 900, 19});

// A buffer of `count` frames (ready with state from 4) seen at `last_seen`.
BufferMetadata buffer(const char* id, double created_at, std::uint32_t count = 40,
                      double last_seen = kNow, Rect roi = kBox) {
    return {id, roi, count, created_at, last_seen};
}

TEST(Frames, BufferConfigFromSizes) {
    constexpr std::uint64_t k2to32 = std::uint64_t{1} << 32;
    constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
    const std::tuple<const char*, std::uint64_t, std::uint64_t, BufferConfig> cases[] = {
        {"s 40 n 20", 40, 20, {20, 20, 150, 900, 19}},
        {"n 4 still needs 16 without state", 40, 4, {16, 4, 150, 900, 3}},
        {"n 0 keeps no overlap", 40, 0, {16, 0, 150, 900, 0}},
        {"s 0 saturates", 0, 4, {16, 4, 150, kMax, 3}},
        {"s 200", 200, 4, {16, 4, 36, 36, 3}},
        {"low 32 bits only", k2to32 + 40, k2to32 + 4, {16, 4, 150, 900, 3}},
        {"s 37838 would wrap to 24 frames", 37838, 4, {16, 4, 0, 0, 3}},
        {"s 65536 would wrap to 0 and saturate", 65536, 4, {16, 4, 0, 0, 3}},
    };
    for (const auto& [name, input_size, n_inputs, expected] : cases) {
        SCOPED_TRACE(name);
        SessionConfig config;
        config.input_size = input_size;
        config.n_inputs = n_inputs;
        EXPECT_EQ(compute_buffer_config(config), expected);
    }
}

TEST(Frames, EvaluateTarget) {
    const auto keep = [](const char* id) {
        return BufferAction{BufferActionType::KeepAlive, id, std::nullopt};
    };
    const BufferAction create{BufferActionType::Create, std::nullopt, kBox};
    const Rect far{500, 500, 100, 100};
    const std::tuple<const char*, double, std::vector<BufferMetadata>, BufferAction> cases[] = {
        {"no buffers", kNow, {}, create},
        {"IoU 0.6", kNow, {buffer("a", 0, 1, kNow, {0, 0, 60, 100})}, keep("a")},
        {"IoU 0.59", kNow, {buffer("a", 0, 1, kNow, {0, 0, 59, 100})}, create},
        {"seen exactly 5 s ago", kNow + 5.0, {buffer("a", 0)}, keep("a")},
        {"seen 5.001 s ago", kNow + 5.001, {buffer("a", 0)}, create},
        {"NaN last seen is fresh", kNow, {buffer("a", 0, 1, kNaN)}, keep("a")},
        {"tie keeps the earlier", kNow, {buffer("a", 0), buffer("b", 0)}, keep("a")},
        {"better later buffer",
         kNow,
         {buffer("a", 0, 1, kNow, {0, 0, 70, 100}), buffer("b", 0)},
         keep("b")},
        {"stale match skipped, fresh one too far",
         kNow,
         {buffer("a", 0, 1, 0.0), buffer("b", 0, 1, kNow, far)},
         create},
    };
    for (const auto& [name, timestamp, buffers, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(kPlanner.evaluate_target(kBox, timestamp, buffers), expected);
    }
}

TEST(Frames, Readiness) {
    using enum InferenceMode;
    const std::tuple<std::uint32_t, InferenceMode, bool, bool, bool> cases[] = {
        {10, Stream, false, false, false}, {10, Stream, true, false, true},
        {100, File, true, false, false},   {100, File, true, true, true},
        {900, File, true, false, true},    {3, Stream, true, true, false},
        {16, Stream, false, false, true},  {15, File, false, true, false},
    };
    for (const auto& [count, mode, has_state, flush, expected] : cases) {
        SCOPED_TRACE(testing::Message() << count << (mode == File ? " File" : " Stream")
                                        << " state " << has_state << " flush " << flush);
        EXPECT_EQ(kPlanner.is_ready(count, mode, has_state, flush), expected);
    }
}

TEST(Frames, PollFrameCounts) {
    using enum InferenceMode;
    const std::tuple<std::uint32_t, InferenceMode, bool, std::uint32_t, std::uint32_t> cases[] = {
        {40, Stream, false, 40, 19},  {10, Stream, false, 10, 10},  {400, Stream, false, 150, 19},
        {400, Stream, true, 400, 19}, {1000, File, false, 900, 19}, {400, File, true, 400, 19},
    };
    for (const auto& [count, mode, flush, take, keep] : cases) {
        SCOPED_TRACE(testing::Message() << count << " flush " << flush);
        const ExecutionPlan expected{InferenceCommand{"a", take, keep}, {}};
        EXPECT_EQ(kPlanner.poll(std::vector{buffer("a", 0, count)}, kNow, mode, true, flush),
                  expected);
    }
}

TEST(Frames, PollChoiceAndDrops) {
    const auto run = [](const char* id, std::vector<std::string> drop) {
        return ExecutionPlan{InferenceCommand{id, 40, 19}, std::move(drop)};
    };
    const std::tuple<const char*, std::vector<BufferMetadata>, ExecutionPlan> cases[] = {
        {"empty", {}, {}},
        {"all stale", {buffer("a", 0, 40, 0.0), buffer("b", 0, 1, 0.0)}, {{}, {"a", "b"}}},
        {"seen exactly 5 s ago", {buffer("a", 0, 40, kNow - 5.0)}, run("a", {})},
        {"seen 5.001 s ago", {buffer("a", 0, 40, kNow - 5.001)}, {{}, {"a"}}},
        {"newest ready chosen", {buffer("a", 10), buffer("b", 12)}, run("b", {"a"})},
        {"older unready dropped, newer kept",
         {buffer("old", 10, 1), buffer("b", 12), buffer("new", 14, 1)},
         run("b", {"old"})},
        {"equal times: earlier chosen", {buffer("a", 12), buffer("b", 12)}, run("a", {})},
        {"stale first, then superseded",
         {buffer("old", 10), buffer("s", 20, 40, 0.0), buffer("b", 12)},
         run("b", {"s", "old"})},
        {"id shared with a stale buffer", {buffer("x", 0, 40, 0.0), buffer("x", 5)}, {{}, {"x"}}},
        {"superseded id listed once",
         {buffer("o", 1), buffer("o", 2), buffer("b", 9)},
         run("b", {"o"})},
        {"NaN is older than any time",
         {buffer("n", kNaN), buffer("a", 5), buffer("b", 7)},
         run("b", {"a"})},
        {"NaN choice supersedes none", {buffer("n", kNaN), buffer("a", 5, 1)}, run("n", {})},
    };
    for (const auto& [name, buffers, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(kPlanner.poll(buffers, kNow, InferenceMode::Stream, true, false), expected);
    }
}

}  // namespace
}  // namespace quorvanta
