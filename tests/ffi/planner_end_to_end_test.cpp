// The buffer configuration and BufferPlanner exports of the built library, called with
// hand-encoded buffers as a host would.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ffi/host.h"
#include "quorvanta_core.h"

namespace {

using namespace host;

const Bytes kBox = rect(0, 0, 100, 100);

Bytes u32s(std::initializer_list<std::uint32_t> values) {
    Bytes out;
    for (std::uint32_t v : values)
        put_u32(out, v);
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes text(const std::string& value) {
    Bytes out;
    put_text(out, value);
    return out;
}

// A sequence<BufferMetadata> of buffers of 40 frames over kBox, last seen at 20 s,
// each given as its id and creation time.
Bytes buffers(std::initializer_list<std::pair<std::string, double>> entries) {
    Bytes out = u32s({static_cast<std::uint32_t>(entries.size())});
    for (const auto& [id, created_at] : entries) {
        out = concat({out, text(id), kBox, u32s({40})});
        put_f64(out, created_at);
        put_f64(out, 20.0);
    }
    return out;
}

using BufferFn = RustBuffer(RustBuffer, RustCallStatus*);
using NewFn = void*(RustBuffer, RustCallStatus*);
using HandleFn = void*(void*, RustCallStatus*);
using ReleaseFn = void(void*, RustCallStatus*);
using EvaluateFn = RustBuffer(void*, RustBuffer, double, RustBuffer, RustCallStatus*);
using ReadyFn = std::int8_t(void*, std::uint32_t, RustBuffer, std::int8_t, std::int8_t,
                            RustCallStatus*);
using PollFn = RustBuffer(void*, RustBuffer, double, RustBuffer, std::int8_t, std::int8_t,
                          RustCallStatus*);

// The planner's exports. Each method is given a clone of the planner, as generated bindings do.
struct PlannerExports {
    template <class Fn>
    static Fn* get(const std::string& name) {
        return lib().get<Fn>(("uniffi_quorvanta_core_fn_" + name).c_str());
    }
    BufferFn* config = get<BufferFn>("func_compute_buffer_config");
    NewFn* create = get<NewFn>("constructor_bufferplanner_new");
    HandleFn* clone = get<HandleFn>("clone_bufferplanner");
    ReleaseFn* free = get<ReleaseFn>("free_bufferplanner");
    EvaluateFn* evaluate = get<EvaluateFn>("method_bufferplanner_evaluate_target");
    ReadyFn* ready = get<ReadyFn>("method_bufferplanner_is_ready");
    PollFn* poll = get<PollFn>("method_bufferplanner_poll");

    Bytes evaluate_target(void* planner, const Bytes& target, double timestamp, const Bytes& active,
                          RustCallStatus& status) const {
        return lib().take(evaluate(clone(planner, &status), lib().buffer(target), timestamp,
                                   lib().buffer(active), &status));
    }
    std::int8_t is_ready(void* planner, std::uint32_t count, const Bytes& mode,
                         std::int8_t has_state, std::int8_t flush, RustCallStatus& status) const {
        return ready(clone(planner, &status), count, lib().buffer(mode), has_state, flush, &status);
    }
    Bytes plan(void* planner, const Bytes& active, double now, const Bytes& mode,
               std::int8_t has_state, std::int8_t flush, RustCallStatus& status) const {
        return lib().take(poll(clone(planner, &status), lib().buffer(active), now,
                               lib().buffer(mode), has_state, flush, &status));
    }
};

// min_no_state 16, min_with_state 4, stream_max 150, file_max 900, overlap 19.
const Bytes kConfig = u32s({16, 4, 150, 900, 19});
const Bytes kStream = u32s({1}), kFile = u32s({2});

TEST(PlannerEndToEnd, ComputeBufferConfig) {
    const PlannerExports exports;
    RustCallStatus status{};
    const auto sized = [&](std::uint64_t input_size, std::uint64_t n_inputs) {
        return lib().take(
            exports.config(lib().buffer(session_config("m", input_size, n_inputs)), &status));
    };
    EXPECT_EQ(sized(40, 20), u32s({20, 20, 150, 900, 19}));
    EXPECT_EQ(sized((std::uint64_t{1} << 32) + 200, 4), u32s({16, 4, 36, 36, 3}));
    EXPECT_EQ(sized(0, 0), u32s({16, 0, 150, 4294967295u, 0}));
    EXPECT_EQ(lib().failure(status), "");
    EXPECT_EQ(lib().take(exports.config(lib().buffer(Bytes{}), &status)), Bytes{});
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'config': not enough bytes remaining in buffer (0 < 4)");
}

TEST(PlannerEndToEnd, MethodsOnClones) {
    const PlannerExports exports;
    RustCallStatus status{};
    void* planner = exports.create(lib().buffer(kConfig), &status);
    ASSERT_NE(planner, nullptr);
    const Bytes one = buffers({{"a", 1.0}}), far = rect(300, 0, 100, 100);
    EXPECT_EQ(exports.evaluate_target(planner, kBox, 25.0, one, status),
              concat({u32s({2}), {1}, text("a"), {0}}));
    EXPECT_EQ(exports.evaluate_target(planner, far, 25.0, one, status),
              concat({u32s({1}), {0, 1}, far}));
    EXPECT_EQ(exports.evaluate_target(planner, kBox, 25.001, one, status),
              concat({u32s({1}), {0, 1}, kBox}));
    EXPECT_EQ(exports.is_ready(planner, 10, kStream, 1, 0, status), 1);
    EXPECT_EQ(exports.is_ready(planner, 10, kStream, 0, 0, status), 0);
    EXPECT_EQ(exports.plan(planner, buffers({{"old", 10}, {"new", 12}}), 22.0, kFile, 0, 1, status),
              concat({{1}, text("new"), u32s({40, 19, 1}), text("old")}));
    EXPECT_EQ(lib().failure(status), "");
    exports.free(planner, &status);
    EXPECT_EQ(lib().failure(status), "");
}

TEST(PlannerEndToEnd, LiftingFailuresNameTheArgument) {
    const PlannerExports exports;
    RustCallStatus status{};
    void* planner = exports.create(lib().buffer(kConfig), &status);
    Bytes twenty = kBox;
    twenty.resize(20);
    // Each call would succeed with a non-zero result but for its broken arguments.
    const std::tuple<const char*, std::function<bool()>> cases[] = {
        {"Failed to convert arg 'has_state': unexpected byte for Boolean",
         [&] { return exports.is_ready(planner, 100, kStream, 3, -1, status) == 0; }},
        {"Failed to convert arg 'flush': unexpected byte for Boolean",
         [&] { return exports.is_ready(planner, 100, kFile, 1, -1, status) == 0; }},
        {"Failed to convert arg 'mode': Invalid InferenceMode enum value: 3",
         [&] { return exports.is_ready(planner, 100, u32s({3}), 2, 2, status) == 0; }},
        {"Failed to convert arg 'mode': Invalid InferenceMode enum value: 0",
         [&] { return exports.plan(planner, buffers({}), 0, u32s({0}), 0, 0, status).empty(); }},
        {"Failed to convert arg 'active_buffers': not enough bytes remaining in buffer (0 < 4)",
         [&] { return exports.plan(planner, u32s({1}), 0, u32s({0}), 0, 0, status).empty(); }},
        {"Failed to convert arg 'target_roi': junk data left in buffer after lifting (count: 4)",
         [&] {
             return exports.evaluate_target(planner, twenty, 0, buffers({{"a", 1.0}}), status)
                 .empty();
         }},
        {"Failed to convert arg 'config': not enough bytes remaining in buffer (0 < 4)",
         [&] {
             return exports.create(lib().buffer(u32s({1, 2, 3, 4})), &status) == nullptr;
         }},
    };
    for (const auto& [message, call] : cases) {
        SCOPED_TRACE(message);
        EXPECT_TRUE(call());
        EXPECT_EQ(lib().failure(status), message);
    }
    exports.free(planner, &status);
    EXPECT_EQ(lib().failure(status), "");
}

}  // namespace
