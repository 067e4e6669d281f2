// SPDX-License-Identifier: Apache-2.0
#include "planning/buffer_planner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

using namespace quorvanta;
using enum InferenceMode;
using Strings = std::vector<std::string>;

constexpr Rect kBox{0, 0, 100, 100};
const BufferPlanner kPlanner(BufferConfig{16, 4, 150, 900, 19});

// A buffer over kBox created at `at`, of `count` frames (ready with state from 4), last seen at
// `seen`. The planner's calls are made at 100 s.
static BufferMetadata buf(const char* id, double at, std::uint32_t count = 40, double seen = 100) {
    return {id, kBox, count, at, seen};
}

TEST(BufferPlanner, BufferConfigFromSizes) {
    // 3 s s exceeds 32 bits from 37838 on: a wrapped product would give 24 frames, then saturate.
    // Only the low 32 bits of either size count: 2^32 + 40 and 2^32 + 4 act as 40 and 4.
    const std::tuple<std::uint64_t, std::uint64_t, BufferConfig> cases[] = {
        {40, 20, {20, 20, 150, 900, 19}}, {40, 4, {16, 4, 150, 900, 3}},
        {40, 0, {16, 0, 150, 900, 0}},    {0, 4, {16, 4, 150, 4294967295u, 3}},
        {200, 4, {16, 4, 36, 36, 3}},     {0x1'0000'0028, 0x1'0000'0004, {16, 4, 150, 900, 3}},
        {37837, 4, {16, 4, 0, 0, 3}},     {37838, 4, {16, 4, 0, 0, 3}},
        {65536, 4, {16, 4, 0, 0, 3}},
    };
    SessionConfig config;
    for (const auto& [input_size, n_inputs, expected] : cases) {
        SCOPED_TRACE(testing::Message() << "s " << input_size << " n " << n_inputs);
        std::tie(config.input_size, config.n_inputs) = std::tie(input_size, n_inputs);
        EXPECT_EQ(compute_buffer_config(config), expected);
    }
}

// The expected match is kept alive; without one (nullptr) the target is created.
TEST(BufferPlanner, EvaluateTarget) {
    const auto at = [](Rect roi) { return BufferMetadata{"a", roi, 1, 0, 100}; };
    const std::tuple<const char*, std::vector<BufferMetadata>, const char*> cases[] = {
        {"no buffers", {}, nullptr},
        {"IoU 0.6", {at({0, 0, 60, 100})}, "a"},
        {"IoU 0.59", {at({0, 0, 59, 100})}, nullptr},
        {"seen exactly 5 s ago", {buf("a", 0, 1, 95)}, "a"},
        {"seen 5.001 s ago", {buf("a", 0, 1, 94.999)}, nullptr},
        {"NaN last seen is fresh", {buf("a", 0, 1, NAN)}, "a"},
        {"tie keeps the earlier", {buf("a", 0), buf("b", 0)}, "a"},
        {"better later", {at({0, 0, 70, 100}), buf("b", 0)}, "b"},
        {"stale skipped", {buf("b", 0, 1, 0), at({500, 0, 9, 9})}, nullptr},
    };
    for (const auto& [name, buffers, kept] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(kPlanner.evaluate_target(kBox, 100, buffers),
                  (kept ? BufferAction{BufferActionType::KeepAlive, kept, std::nullopt}
                        : BufferAction{BufferActionType::Create, std::nullopt, kBox}));
    }
}

// One buffer of `count` frames: whether it is ready, and what a poll takes and keeps of it
// (take 0: not ready, so no command).
TEST(BufferPlanner, ReadinessAndFrameCounts) {
    const std::tuple<std::uint32_t, InferenceMode, bool, bool, std::uint32_t, std::uint32_t>
        cases[] = {
            {10, Stream, 0, 0, 0, 0},   {10, Stream, 1, 0, 10, 10},   {16, Stream, 0, 0, 16, 16},
            {3, Stream, 1, 1, 0, 0},    {15, File, 0, 1, 0, 0},       {100, File, 1, 0, 0, 0},
            {100, File, 1, 1, 100, 19}, {900, File, 1, 0, 900, 19},   {1000, File, 1, 0, 900, 19},
            {40, Stream, 1, 0, 40, 19}, {400, Stream, 1, 0, 150, 19}, {400, Stream, 1, 1, 400, 19},
        };
    for (const auto& [count, mode, state, flush, take, keep] : cases) {
        SCOPED_TRACE(testing::Message() << count << " " << (mode == File) << state << flush);
        EXPECT_EQ(kPlanner.is_ready(count, mode, state, flush), take > 0);
        const auto command = take ? std::optional(InferenceCommand{"a", take, keep}) : std::nullopt;
        EXPECT_EQ(kPlanner.poll(std::vector{buf("a", 0, count)}, 100, mode, state, flush),
                  (ExecutionPlan{command, {}}));
    }
}

// Each case: the buffer run (nullptr for none), taking 40 and keeping 19, and the drops.
TEST(BufferPlanner, PollChoiceAndDrops) {
    const std::tuple<const char*, std::vector<BufferMetadata>, const char*, Strings> cases[] = {
        {"empty", {}, nullptr, {}},
        {"all stale", {buf("a", 0, 40, 0), buf("b", 0, 1, 0)}, nullptr, {"a", "b"}},
        {"seen exactly 5 s ago", {buf("a", 0, 40, 95)}, "a", {}},
        {"seen 5.001 s ago", {buf("a", 0, 40, 94.999)}, nullptr, {"a"}},
        {"newest ready chosen", {buf("a", 10), buf("b", 12)}, "b", {"a"}},
        {"older unready dropped", {buf("o", 10, 1), buf("b", 12), buf("n", 14, 1)}, "b", {"o"}},
        {"equal times: earlier chosen", {buf("a", 12), buf("b", 12)}, "a", {}},
        {"stale, superseded", {buf("o", 10), buf("s", 20, 40, 0), buf("b", 12)}, "b", {"s", "o"}},
        {"id shared with a stale one", {buf("x", 0, 40, 0), buf("x", 5)}, nullptr, {"x"}},
        {"superseded id listed once", {buf("o", 1), buf("o", 2), buf("b", 9)}, "b", {"o"}},
        {"NaN older than any", {buf("n", NAN), buf("a", 5), buf("b", 7)}, "b", {"a"}},
        {"NaN supersedes none", {buf("n", NAN), buf("a", 5, 1)}, "n", {}},
    };
    for (const auto& [name, buffers, run, drops] : cases) {
        SCOPED_TRACE(name);
        const auto cmd = run ? std::optional(InferenceCommand{run, 40, 19}) : std::nullopt;
        EXPECT_EQ(kPlanner.poll(buffers, 100, Stream, true, false), (ExecutionPlan{cmd, drops}));
    }
}
