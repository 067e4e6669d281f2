// SPDX-License-Identifier: Apache-2.0
// The buffer configuration and BufferPlanner exports of the built library, called with
// hand-encoded buffers as a host would.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>

#include "ffi/host.h"
#include "quorvanta_core.h"

namespace {

using namespace host;
using I8 = std::int8_t;

RustCallStatus status{};

// Calls the export uniffi_quorvanta_core_fn_`name`, of type Fn, with `status` last.
template <class Fn, class... Args>
auto call(const std::string& name, Args... args) {
    return lib().get<Fn>(("uniffi_quorvanta_core_fn_" + name).c_str())(args..., &status);
}

const Bytes kBox = rect(0, 0, 100, 100), kStream = u32(1), kFile = u32(2);

// A sequence<BufferMetadata> of buffers of 40 frames over kBox, last seen at 20 s, each given
// as its id and creation time.
Bytes buffers(std::initializer_list<std::pair<std::string, double>> entries) {
    Bytes out = u32(static_cast<std::uint32_t>(entries.size()));
    for (const auto& [id, created_at] : entries)
        out = cat({out, text(id), kBox, u32(40), f64(created_at), f64(20.0)});
    return out;
}

Bytes buffer_config(std::uint64_t input_size, std::uint64_t n_inputs) {
    return lib().take(call<RustBuffer(RustBuffer, RustCallStatus*)>(
        "func_compute_buffer_config", lib().buffer(session_config("m", input_size, n_inputs))));
}
void* create(const Bytes& c) {
    return call<void*(RustBuffer, RustCallStatus*)>("constructor_bufferplanner_new",
                                                    lib().buffer(c));
}

// The planner's methods, each given a clone of the planner, as generated bindings do.
void* clone(void* planner) {
    return call<void*(void*, RustCallStatus*)>("clone_bufferplanner", planner);
}
Bytes evaluate(void* planner, const Bytes& target, double timestamp, const Bytes& active) {
    using Fn = RustBuffer(void*, RustBuffer, double, RustBuffer, RustCallStatus*);
    return lib().take(call<Fn>("method_bufferplanner_evaluate_target", clone(planner),
                               lib().buffer(target), timestamp, lib().buffer(active)));
}
I8 is_ready(void* planner, std::uint32_t count, const Bytes& mode, I8 state, I8 flush) {
    using Fn = I8(void*, std::uint32_t, RustBuffer, I8, I8, RustCallStatus*);
    return call<Fn>("method_bufferplanner_is_ready", clone(planner), count, lib().buffer(mode),
                    state, flush);
}
Bytes poll(void* planner, const Bytes& active, double now, const Bytes& mode, I8 state, I8 flush) {
    using Fn = RustBuffer(void*, RustBuffer, double, RustBuffer, I8, I8, RustCallStatus*);
    return lib().take(call<Fn>("method_bufferplanner_poll", clone(planner), lib().buffer(active),
                               now, lib().buffer(mode), state, flush));
}

// A planner made from a computed configuration: min_no_state and min_with_state 20,
// stream_max 150, file_max 900, overlap 19.
TEST(PlannerEndToEnd, ExportsOnCloneHandles) {
    const Bytes config = buffer_config(40, 20);
    EXPECT_EQ(config, cat({u32(20), u32(20), u32(150), u32(900), u32(19)}));
    void* planner = create(config);
    ASSERT_NE(planner, nullptr);
    const Bytes one = buffers({{"a", 1.0}}), far = rect(300, 0, 100, 100);
    EXPECT_EQ(evaluate(planner, kBox, 25.0, one), cat({u32(2), {1}, text("a"), {0}}));
    EXPECT_EQ(evaluate(planner, far, 25.0, one), cat({u32(1), {0, 1}, far}));
    EXPECT_EQ(is_ready(planner, 20, kStream, 1, 0), 1);
    EXPECT_EQ(is_ready(planner, 19, kStream, 1, 0), 0);
    EXPECT_EQ(poll(planner, buffers({{"old", 10}, {"new", 12}}), 22.0, kFile, 0, 1),
              cat({{1}, text("new"), u32(40), u32(19), u32(1), text("old")}));
    call<void(void*, RustCallStatus*)>("free_bufferplanner", planner);
    EXPECT_EQ(lib().failure(status), "");  // of any call
}

// Each call would succeed with a non-zero result but for its broken argument.
TEST(PlannerEndToEnd, LiftingFailuresNameTheArgument) {
    void* planner = create(buffer_config(40, 20));
    const Bytes one = buffers({{"a", 1.0}}), twenty_bytes = cat({kBox, u32(0)});
    const std::tuple<const char*, std::function<bool()>> cases[] = {
        {"'has_state': unexpected byte for Boolean",
         [&] { return is_ready(planner, 100, kStream, 3, -1) == 0; }},
        {"'flush': unexpected byte for Boolean",
         [&] { return is_ready(planner, 100, kFile, 1, -1) == 0; }},
        {"'mode': Invalid InferenceMode enum value: 3",
         [&] { return is_ready(planner, 100, u32(3), 2, 2) == 0; }},
        {"'mode': Invalid InferenceMode enum value: 0",
         [&] { return poll(planner, one, 0, u32(0), 0, 0).empty(); }},
        {"'target_roi': junk data left in buffer after lifting (count: 4)",
         [&] { return evaluate(planner, twenty_bytes, 0, one).empty(); }},
    };
    for (const auto& [message, run] : cases) {
        SCOPED_TRACE(message);
        EXPECT_TRUE(run());
        EXPECT_EQ(lib().failure(status), std::string("Failed to convert arg ") + message);
    }
    call<void(void*, RustCallStatus*)>("free_bufferplanner", planner);
}

}  // namespace
