// SPDX-License-Identifier: Apache-2.0
// Loads the built libquorvanta_core.so with dlopen and calls its exports with hand-encoded
// buffers, as a host would: buffers, geometry, the signal extractors, vital info, sessions and the
// buffer planner.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "ffi/host.h"
#include "quorvanta_core.h"

// The export `name` of the loaded library, typed as the header declares it.
#define EXPORT(name) lib().get<decltype(name)>(#name)

namespace {

using namespace host;

const Bytes kNone{0};
RustBuffer arg(const Bytes& bytes) {
    return lib().buffer(bytes);
}

// An encoded SessionInput of `frames` frames from `first`: no face, one "ppg_waveform" signal
// (its data, then its confidence), then the timestamps.
Bytes session_input(int first, int frames) {
    Bytes data = u32(static_cast<std::uint32_t>(frames)), confidence = data, timestamps = data;
    for (int i = first; i < first + frames; ++i) {
        data = cat({data, f32(float(i % 7))});
        confidence = cat({confidence, f32(0.9f)});
        timestamps = cat({timestamps, f64(i / 30.0)});
    }
    return cat({{0}, u32(1), text("ppg_waveform"), data, confidence, timestamps});
}

// The number of returned frames: the leading count of an encoded SessionResult.
std::uint32_t returned_frames(const Bytes& r) {
    return std::uint32_t{r.at(0)} << 24 | std::uint32_t{r.at(1)} << 16 |
           std::uint32_t{r.at(2)} << 8 | r.at(3);
}

using NewFn = decltype(uniffi_quorvanta_core_fn_constructor_session_new);
using ProcessFn = decltype(uniffi_quorvanta_core_fn_method_session_process);
using HandleFn = decltype(uniffi_quorvanta_core_fn_clone_session);
using ReleaseFn = decltype(uniffi_quorvanta_core_fn_free_session);

struct SessionExports {
    NewFn* create = lib().get<NewFn>("uniffi_quorvanta_core_fn_constructor_session_new");
    ProcessFn* process = lib().get<ProcessFn>("uniffi_quorvanta_core_fn_method_session_process");
    ReleaseFn* reset = lib().get<ReleaseFn>("uniffi_quorvanta_core_fn_method_session_reset");
    HandleFn* clone = lib().get<HandleFn>("uniffi_quorvanta_core_fn_clone_session");
    ReleaseFn* free = lib().get<ReleaseFn>("uniffi_quorvanta_core_fn_free_session");

    // Calls process with a clone of `session`, as generated bindings do.
    Bytes run(void* session, const Bytes& input, const Bytes& mode, RustCallStatus& status) const {
        return lib().take(process(clone(session, &status), arg(input), arg(mode), &status));
    }
};

TEST(EndToEnd, BufferExports) {
    RustCallStatus status{};
    auto alloc = EXPORT(ffi_quorvanta_core_rustbuffer_alloc);
    auto reserve = EXPORT(ffi_quorvanta_core_rustbuffer_reserve);
    auto free = EXPORT(ffi_quorvanta_core_rustbuffer_free);
    auto from_bytes = EXPORT(ffi_quorvanta_core_rustbuffer_from_bytes);
    const RustBuffer empty = alloc(0, &status);
    EXPECT_EQ(empty.capacity + empty.len, 0u);
    free(empty, &status);
    EXPECT_EQ(lib().take(alloc(5, &status)), Bytes(5, 0));
    EXPECT_EQ(lib().take(from_bytes(ForeignBytes{0, nullptr}, &status)), Bytes{});

    // capacity, len, additional, expected capacity
    using Growth = std::array<std::uint64_t, 4>;
    for (const auto& [capacity, len, additional, grown] :
         {Growth{10, 4, 6, 10}, Growth{10, 4, 7, 20}, Growth{0, 0, 1, 8}}) {
        SCOPED_TRACE(additional);
        RustBuffer buf = alloc(capacity, &status);
        buf.len = len;
        if (len > 0) buf.data[0] = 0xAB;
        buf = reserve(buf, additional, &status);
        EXPECT_EQ(std::pair(buf.capacity, buf.len), std::pair(grown, len));
        EXPECT_TRUE(len == 0 || buf.data[0] == 0xAB);
        free(buf, &status);
    }
    EXPECT_EQ(lib().failure(status), "");

    std::uint8_t byte = 0;
    const std::pair<RustBuffer, const char*> broken[] = {
        {{1, 2, &byte}, "RustBuffer length exceeds capacity"},
        {{1, 0, nullptr}, "null RustBuffer had non-zero capacity"},
        {{0, 1, nullptr}, "null RustBuffer had non-zero length"}};
    for (const auto& [buffer, message] : broken) {
        free(buffer, &status);
        EXPECT_EQ(lib().failure(status), message);
        EXPECT_EQ(lib().take(reserve(buffer, 1, &status)), Bytes{});
        EXPECT_EQ(lib().failure(status), message);
    }
    alloc(std::uint64_t{1} << 63, &status);
    EXPECT_EQ(lib().failure(status), "capacity overflow");
    from_bytes(ForeignBytes{-1, &byte}, &status);
    EXPECT_EQ(lib().failure(status), "bytes length negative or overflowed");
    from_bytes(ForeignBytes{3, nullptr}, &status);
    EXPECT_EQ(lib().failure(status), "null ForeignBytes had non-zero length");
}

// Results, then failures to lift an argument: they name it and return zero.
TEST(EndToEnd, GeometryFunctions) {
    auto roi = EXPORT(uniffi_quorvanta_core_fn_func_calculate_roi);
    auto iou = EXPORT(uniffi_quorvanta_core_fn_func_compute_iou);
    auto contained = EXPORT(uniffi_quorvanta_core_fn_func_is_contained);
    std::uint8_t sentinel = 0;
    RustCallStatus status{0, {1, 1, &sentinel}};  // success leaves it as it is
    // Some(640.0f) and Some(480.0f)
    const Bytes width{1, 0x44, 0x20, 0, 0}, height{1, 0x43, 0xF0, 0, 0};
    EXPECT_EQ(lib().take(roi(arg(rect(100, 100, 200, 200)), arg(variant(1)), arg(variant(2)),
                             arg(kNone), arg(kNone), 0, &status)),
              rect(146, 107, 108, 216));
    EXPECT_EQ(lib().take(roi(arg(rect(10, 10, 100, 100)), arg(variant(3)), arg(variant(1)),
                             arg(width), arg(height), 1, &status)),
              rect(0, 0, 134, 150));  // clipped to 135 wide, made even
    EXPECT_EQ(iou(arg(rect(0, 0, 10, 10)), arg(rect(5, 0, 10, 10)), &status), 50.0f / 150.0f);
    const Bytes inner = rect(0, 0, 10, 10), outer = rect(0, 5, 10, 10);
    EXPECT_EQ(contained(arg(inner), arg(outer), 0.5f, &status), 1);
    EXPECT_EQ(contained(arg(inner), arg(outer), 0.6f, &status), 0);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(status.error_buf.data, &sentinel);

    status = {};
    const std::tuple<Bytes, Bytes, std::int8_t, const char*> roi_cases[] = {
        {variant(6), kNone, 0, "Failed to convert arg 'method': Invalid RoiMethod enum value: 6"},
        {variant(1), kNone, 2, "Failed to convert arg 'force_even': unexpected byte for Boolean"},
        {variant(1), Bytes{2}, 0,
         "Failed to convert arg 'container_width': unexpected tag byte for Option"}};
    for (const auto& [method, container, force_even, message] : roi_cases) {
        const RustBuffer zero = roi(arg(rect(1, 2, 3, 4)), arg(method), arg(variant(1)),
                                    arg(container), arg(kNone), force_even, &status);
        EXPECT_EQ(std::tuple(zero.capacity, zero.len, zero.data), std::tuple(0u, 0u, nullptr));
        EXPECT_EQ(lib().failure(status), message);
    }
    EXPECT_EQ(contained(arg(rect(0, 0, 1, 1)), arg(Bytes{}), 0.5f, &status), 0);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'outer': not enough bytes remaining in buffer (0 < 4)");
    EXPECT_EQ(iou(arg(cat({rect(0, 0, 1, 1), u32(0)})), arg(rect(0, 0, 1, 1)), &status), 0.0f);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'a': junk data left in buffer after lifting (count: 4)");
}

// A sequence of f32 or f64, length first.
template <class Value>
Bytes sequence(std::initializer_list<Value> values) {
    Bytes out = u32(static_cast<std::uint32_t>(values.size()));
    for (const Value value : values)
        out = cat({out, sizeof(Value) == 4 ? f32(float(value)) : f64(double(value))});
    return out;
}

TEST(EndToEnd, ExtractPulse) {
    auto pulse = EXPORT(uniffi_quorvanta_core_fn_func_extract_pulse);
    RustCallStatus status{};
    const Bytes grey = sequence({0.5f, 0.5f, 0.5f, 0.5f}), seconds = sequence({0.0, 1.0, 2.0, 3.0});
    // A steady colour carries no pulse; every 3-frame window (1.6 s at 1 fps, at least 3) is
    // clean, so is every frame.
    EXPECT_EQ(
        lib().take(pulse(arg(grey), arg(grey), arg(grey), arg(seconds), arg(variant(1)), &status)),
        cat({sequence({0.0f, 0.0f, 0.0f, 0.0f}), sequence({1.0f, 1.0f, 1.0f, 1.0f})}));
    EXPECT_EQ(lib().failure(status), "");

    const std::tuple<Bytes, Bytes, const char*> refused[] = {
        {sequence({0.5f}), variant(2), "Length mismatch: blue has length 1, expected 4"},
        {grey, variant(3), "Failed to convert arg 'method': Invalid PulseMethod enum value: 3"}};
    for (const auto& [blue, method, message] : refused) {
        EXPECT_EQ(
            lib().take(pulse(arg(grey), arg(grey), arg(blue), arg(seconds), arg(method), &status)),
            Bytes{});
        EXPECT_EQ(lib().failure(status), message);
    }
}

// Rows (0, 0, 1, 0, 0) then (0, 1, 0, 0, 0): the content rose by one row.
TEST(EndToEnd, ExtractRespiration) {
    auto respiration = EXPORT(uniffi_quorvanta_core_fn_func_extract_respiration);
    RustCallStatus status{};
    const Bytes reference = sequence({0.0f, 0.0f, 1.0f, 0.0f, 0.0f});
    EXPECT_EQ(lib().take(respiration(arg(reference), arg(sequence({0.0f, 1.0f, 0.0f, 0.0f, 0.0f})),
                                     &status)),
              cat({sequence({1.0f}), sequence({1.0f})}));
    EXPECT_EQ(lib().take(respiration(arg(reference), arg(sequence({0.0f, 1.0f})), &status)),
              Bytes{});
    EXPECT_EQ(lib().failure(status),
              "Length mismatch: frame_rows has length 2, expected a multiple of 5 (the length of "
              "reference_rows)");
}

TEST(EndToEnd, GetVitalInfo) {
    auto info = EXPORT(uniffi_quorvanta_core_fn_func_get_vital_info);
    RustCallStatus status{};
    auto lookup = [&](const Bytes& id) { return lib().take(info(arg(id), &status)); };
    EXPECT_EQ(lookup(Bytes{'H', 'R'}), Bytes{0});
    EXPECT_EQ(lookup(Bytes{}), Bytes{0});
    Bytes expected{1};
    for (const char* field : {"heart_rate", "Heart Rate", "HR", "bpm", "#E62100", "\u2764\uFE0F"})
        expected = cat({expected, text(field)});
    EXPECT_EQ(lookup(Bytes{'h', 'r'}), expected);
    lookup(Bytes{'h', 0xFF});
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'vital_id': invalid utf-8 sequence of 1 bytes from index 1");
}

TEST(EndToEnd, SessionLifecycle) {
    const SessionExports exports;
    RustCallStatus status{};
    void* session = exports.create(arg(session_config("m1")), &status);
    ASSERT_NE(session, nullptr);
    exports.run(session, session_input(0, 10), variant(4), status);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'mode': Invalid WaveformMode enum value: 4");
    exports.run(session, Bytes{}, variant(1), status);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'input': not enough bytes remaining in buffer (0 < 1)");
    EXPECT_EQ(returned_frames(exports.run(session, session_input(0, 10), variant(1), status)), 10u);
    EXPECT_EQ(returned_frames(exports.run(session, session_input(5, 10), variant(1), status)), 5u);
    exports.reset(exports.clone(session, &status), &status);
    EXPECT_EQ(returned_frames(exports.run(session, session_input(0, 3), variant(3), status)), 3u);
    EXPECT_EQ(lib().failure(status), "");

    // A method given the last reference destroys the session when it ends.
    lib().take(exports.process(session, arg(session_input(3, 3)), arg(variant(1)), &status));
    EXPECT_EQ(lib().failure(status), "");
    exports.create(arg(Bytes{0, 0, 0, 1}), &status);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'config': not enough bytes remaining in buffer (0 < 1)");
}

// Reads an encoded value field by field, as a host's decoder does.
class Reader {
public:
    explicit Reader(Bytes bytes) : bytes_(std::move(bytes)) {}
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | bytes_.at(at_++);
        return v;
    }
    float f32() { return std::bit_cast<float>(u32()); }
    double f64() {
        const std::uint64_t high = u32();
        return std::bit_cast<double>(high << 32 | u32());
    }
    std::string text() {
        const std::uint32_t n = u32();
        at_ += n;
        return {bytes_.begin() + static_cast<std::ptrdiff_t>(at_ - n),
                bytes_.begin() + static_cast<std::ptrdiff_t>(at_)};
    }
    bool done() const { return at_ == bytes_.size(); }

private:
    Bytes bytes_;
    std::size_t at_ = 0;
};

// A 72 per minute pulse whose second harmonic outweighs the fundamental: the session's
// periodogram reads 144, the assessment the fundamental.
TEST(EndToEnd, AssessChecksTheLastBatch) {
    const SessionExports exports;
    const auto assess = EXPORT(uniffi_quorvanta_core_fn_method_session_assess);
    RustCallStatus status{};
    void* session = exports.create(arg(session_config("m1")), &status);
    Bytes data = u32(300), confidence = data, timestamps = data;
    for (int i = 0; i < 300; ++i) {
        const double phase = 2 * 3.141592653589793 * 1.2 * i / 30;
        data = cat({data, f32(float(std::cos(phase) + 2 * std::cos(2 * phase)))});
        confidence = cat({confidence, f32(1)});
        timestamps = cat({timestamps, f64(i / 30.0)});
    }
    exports.run(session, cat({{0}, u32(1), text("ppg_waveform"), data, confidence, timestamps}),
                variant(1), status);
    Reader assessment(lib().take(assess(exports.clone(session, &status), &status)));
    EXPECT_EQ(lib().failure(status), "");
    ASSERT_EQ(assessment.u32(), 1u);
    EXPECT_EQ(assessment.text(), "heart_rate");
    EXPECT_NEAR(assessment.f32(), 144, 1);  // the session's value
    EXPECT_NEAR(assessment.f32(), 72, 1);   // the checked value
    assessment.f32();                       // quality
    ASSERT_EQ(assessment.u32(), 1u);
    EXPECT_EQ(assessment.text(), "harmonic");
    const std::uint32_t beats = assessment.u32();
    EXPECT_NEAR(beats, 12, 1);
    for (std::uint32_t i = 0; i < beats; ++i)
        assessment.f64();
    ASSERT_EQ(assessment.u32(), beats);
    for (std::uint32_t i = 0; i < beats; ++i)
        EXPECT_EQ(assessment.u32(), 1u);  // Normal
    const std::uint32_t intervals = assessment.u32();
    for (std::uint32_t i = 0; i < intervals; ++i)
        EXPECT_NEAR(assessment.f32(), 833.3f, 5);
    EXPECT_TRUE(assessment.done());
    exports.free(session, &status);
}

#ifdef QUORVANTA_FAULT_INJECTION
TEST(EndToEnd, AFaultPoisonsTheSession) {
    const SessionExports exports;
    RustCallStatus status{};
    void* session = exports.create(arg(session_config("quorvanta-test-fault")), &status);
    EXPECT_TRUE(exports.run(session, session_input(0, 10), variant(1), status).empty());
    EXPECT_EQ(lib().failure(status), "injected fault");
    exports.run(session, session_input(0, 10), variant(1), status);
    EXPECT_EQ(lib().failure(status), "Failed to lock Session core: PoisonError { .. }");
    exports.reset(exports.clone(session, &status), &status);
    EXPECT_EQ(lib().failure(status), "Failed to lock Session core: PoisonError { .. }");
    EXPECT_TRUE(lib()
                    .take(EXPORT(uniffi_quorvanta_core_fn_method_session_assess)(
                        exports.clone(session, &status), &status))
                    .empty());
    EXPECT_EQ(lib().failure(status), "Failed to lock Session core: PoisonError { .. }");
    exports.free(session, &status);
    EXPECT_EQ(lib().failure(status), "");
}
#endif

TEST(EndToEnd, ConcurrentHostThreadsShareOneSession) {
    const SessionExports exports;
    RustCallStatus status{};
    void* session = exports.create(arg(session_config("m1")), &status);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&exports, session, t] {
            RustCallStatus own{};
            for (int i = 0; i < 40; ++i) {
                Bytes mode = variant(static_cast<std::uint32_t>(1 + (i + t) % 3));
                if (mode.back() == 2) mode = cat({mode, f32(2.0f)});  // Windowed: two seconds
                if ((i + t) % 10 == 9) exports.reset(exports.clone(session, &own), &own);
                if ((i + t) % 10 != 9) exports.run(session, session_input(i * 20, 30), mode, own);
            }
            EXPECT_EQ(lib().failure(own), "");
        });
    }
    for (auto& thread : threads)
        thread.join();
    exports.free(session, &status);
    EXPECT_EQ(lib().failure(status), "");
}

// The buffer configuration and BufferPlanner exports. Each method is given a clone of the planner,
// as generated bindings do; `planner_status` collects the failures of all of them.
RustCallStatus planner_status{};
using I8 = std::int8_t;
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
    return lib().take(EXPORT(uniffi_quorvanta_core_fn_func_compute_buffer_config)(
        arg(session_config("m", input_size, n_inputs)), &planner_status));
}
void* create(const Bytes& config) {
    return EXPORT(uniffi_quorvanta_core_fn_constructor_bufferplanner_new)(arg(config),
                                                                          &planner_status);
}
void* clone(void* planner) {
    return EXPORT(uniffi_quorvanta_core_fn_clone_bufferplanner)(planner, &planner_status);
}
Bytes evaluate(void* planner, const Bytes& target, double timestamp, const Bytes& active) {
    return lib().take(EXPORT(uniffi_quorvanta_core_fn_method_bufferplanner_evaluate_target)(
        clone(planner), arg(target), timestamp, arg(active), &planner_status));
}
I8 is_ready(void* planner, std::uint32_t count, const Bytes& mode, I8 state, I8 flush) {
    return EXPORT(uniffi_quorvanta_core_fn_method_bufferplanner_is_ready)(
        clone(planner), count, arg(mode), state, flush, &planner_status);
}
Bytes poll(void* planner, const Bytes& active, double now, const Bytes& mode, I8 state, I8 flush) {
    return lib().take(EXPORT(uniffi_quorvanta_core_fn_method_bufferplanner_poll)(
        clone(planner), arg(active), now, arg(mode), state, flush, &planner_status));
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
    EXPORT(uniffi_quorvanta_core_fn_free_bufferplanner)(planner, &planner_status);
    EXPECT_EQ(lib().failure(planner_status), "");  // of any call
}

}  // namespace
