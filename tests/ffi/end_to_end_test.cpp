// Loads the built libquorvanta_core.so with dlopen and calls its exports with hand-encoded
// buffers, as a host would.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ffi/host.h"
#include "quorvanta_core.h"

namespace {

using namespace host;

Bytes some_f32(float v) {
    Bytes out{1};
    put_f32(out, v);
    return out;
}
const Bytes kNone{0};

// An encoded SessionInput of `frames` frames from `first`, with a "ppg_waveform" signal.
Bytes session_input(int first, int frames) {
    Bytes out{0};  // no face
    put_u32(out, 1);
    put_text(out, "ppg_waveform");
    for (int part = 0; part < 2; ++part) {
        put_u32(out, static_cast<std::uint32_t>(frames));
        for (int i = first; i < first + frames; ++i)
            put_f32(out, part == 0 ? i % 7 : 0.9f);
    }
    put_u32(out, static_cast<std::uint32_t>(frames));
    for (int i = first; i < first + frames; ++i)
        put_f64(out, i / 30.0);
    return out;
}

// The number of returned frames: the leading count of an encoded SessionResult.
std::uint32_t returned_frames(const Bytes& result) {
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < 4; ++i)
        count = count << 8 | result.at(i);
    return count;
}

using RoiFn = RustBuffer(RustBuffer, RustBuffer, RustBuffer, RustBuffer, RustBuffer, std::int8_t,
                         RustCallStatus*);
using IouFn = float(RustBuffer, RustBuffer, RustCallStatus*);
using BufferFn = RustBuffer(RustBuffer, RustCallStatus*);
using NewFn = void*(RustBuffer, RustCallStatus*);
using ProcessFn = RustBuffer(void*, RustBuffer, RustBuffer, RustCallStatus*);
using HandleFn = void*(void*, RustCallStatus*);
using ReleaseFn = void(void*, RustCallStatus*);

struct SessionExports {
    NewFn* create = lib().get<NewFn>("uniffi_quorvanta_core_fn_constructor_session_new");
    ProcessFn* process = lib().get<ProcessFn>("uniffi_quorvanta_core_fn_method_session_process");
    ReleaseFn* reset = lib().get<ReleaseFn>("uniffi_quorvanta_core_fn_method_session_reset");
    HandleFn* clone = lib().get<HandleFn>("uniffi_quorvanta_core_fn_clone_session");
    ReleaseFn* free = lib().get<ReleaseFn>("uniffi_quorvanta_core_fn_free_session");

    // Calls process with a clone of `session`, as generated bindings do.
    Bytes run(void* session, const Bytes& input, const Bytes& mode, RustCallStatus& status) const {
        void* receiver = clone(session, &status);
        return lib().take(process(receiver, lib().buffer(input), lib().buffer(mode), &status));
    }
};

TEST(EndToEnd, ContractVersionAndChecksums) {
    EXPECT_EQ(lib().get<std::uint32_t()>("ffi_quorvanta_core_uniffi_contract_version")(), 26u);
    const std::pair<const char*, std::uint16_t> checksums[] = {
        {"constructor_bufferplanner_new", 8442},
        {"constructor_session_new", 38741},
        {"func_calculate_roi", 39504},
        {"func_compute_buffer_config", 60181},
        {"func_compute_iou", 42017},
        {"func_get_vital_info", 12718},
        {"func_is_contained", 26927},
        {"method_bufferplanner_evaluate_target", 53374},
        {"method_bufferplanner_is_ready", 62024},
        {"method_bufferplanner_poll", 59925},
        {"method_session_process", 23803},
        {"method_session_reset", 26380},
    };
    for (const auto& [name, value] : checksums) {
        SCOPED_TRACE(name);
        const std::string symbol = std::string("uniffi_quorvanta_core_checksum_") + name;
        EXPECT_EQ(lib().get<std::uint16_t()>(symbol.c_str())(), value);
    }
}

TEST(EndToEnd, BufferExports) {
    RustCallStatus status{};
    auto alloc = lib().get<RustBuffer(std::uint64_t, RustCallStatus*)>(
        "ffi_quorvanta_core_rustbuffer_alloc");
    auto reserve = lib().get<RustBuffer(RustBuffer, std::uint64_t, RustCallStatus*)>(
        "ffi_quorvanta_core_rustbuffer_reserve");
    auto free = lib().get<void(RustBuffer, RustCallStatus*)>("ffi_quorvanta_core_rustbuffer_free");
    auto from_bytes = lib().get<RustBuffer(ForeignBytes, RustCallStatus*)>(
        "ffi_quorvanta_core_rustbuffer_from_bytes");

    const RustBuffer empty = alloc(0, &status);
    EXPECT_EQ(empty.capacity + empty.len, 0u);
    free(empty, &status);
    EXPECT_EQ(lib().take(alloc(5, &status)), Bytes(5, 0));
    EXPECT_EQ(lib().take(from_bytes(ForeignBytes{0, nullptr}, &status)), Bytes{});

    struct Growth {
        std::uint64_t capacity, len, additional, expected_capacity;
    };
    for (const Growth& g : {Growth{10, 4, 6, 10}, Growth{10, 4, 7, 20}, Growth{0, 0, 1, 8}}) {
        SCOPED_TRACE(g.additional);
        RustBuffer buf = alloc(g.capacity, &status);
        buf.len = g.len;
        if (g.len > 0) buf.data[0] = 0xAB;
        buf = reserve(buf, g.additional, &status);
        EXPECT_EQ(buf.capacity, g.expected_capacity);
        EXPECT_EQ(buf.len, g.len);
        EXPECT_TRUE(g.len == 0 || buf.data[0] == 0xAB);
        free(buf, &status);
    }
    EXPECT_EQ(lib().failure(status), "");

    std::uint8_t byte = 0;
    const std::pair<RustBuffer, const char*> broken[] = {
        {{1, 2, &byte}, "RustBuffer length exceeds capacity"},
        {{1, 0, nullptr}, "null RustBuffer had non-zero capacity"},
        {{0, 1, nullptr}, "null RustBuffer had non-zero length"},
    };
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

TEST(EndToEnd, StatelessFunctions) {
    auto roi = lib().get<RoiFn>("uniffi_quorvanta_core_fn_func_calculate_roi");
    auto iou = lib().get<IouFn>("uniffi_quorvanta_core_fn_func_compute_iou");
    auto contained = lib().get<std::int8_t(RustBuffer, RustBuffer, float, RustCallStatus*)>(
        "uniffi_quorvanta_core_fn_func_is_contained");
    std::uint8_t sentinel = 0;
    RustCallStatus status{0, {1, 1, &sentinel}};  // success leaves it as it is
    EXPECT_EQ(lib().take(roi(lib().buffer(rect(100, 100, 200, 200)), lib().buffer(variant(1)),
                             lib().buffer(variant(2)), lib().buffer(kNone), lib().buffer(kNone), 0,
                             &status)),
              rect(146, 107, 108, 216));
    EXPECT_EQ(lib().take(roi(lib().buffer(rect(10, 10, 100, 100)), lib().buffer(variant(3)),
                             lib().buffer(variant(1)), lib().buffer(some_f32(640)),
                             lib().buffer(some_f32(480)), 1, &status)),
              rect(0, 0, 134, 150));  // clipped to 135 wide, made even
    EXPECT_EQ(iou(lib().buffer(rect(0, 0, 10, 10)), lib().buffer(rect(5, 0, 10, 10)), &status),
              50.0f / 150.0f);
    const Bytes inner = rect(0, 0, 10, 10), outer = rect(0, 5, 10, 10);
    EXPECT_EQ(contained(lib().buffer(inner), lib().buffer(outer), 0.5f, &status), 1);
    EXPECT_EQ(contained(lib().buffer(inner), lib().buffer(outer), 0.6f, &status), 0);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(status.error_buf.data, &sentinel);
}

TEST(EndToEnd, LiftingFailuresNameTheArgumentAndReturnZero) {
    auto roi = lib().get<RoiFn>("uniffi_quorvanta_core_fn_func_calculate_roi");
    auto iou = lib().get<IouFn>("uniffi_quorvanta_core_fn_func_compute_iou");
    auto contained = lib().get<std::int8_t(RustBuffer, RustBuffer, float, RustCallStatus*)>(
        "uniffi_quorvanta_core_fn_func_is_contained");
    RustCallStatus status{};
    auto call_roi = [&](const Bytes& method, const Bytes& width, std::int8_t force_even) {
        return roi(lib().buffer(rect(1, 2, 3, 4)), lib().buffer(method), lib().buffer(variant(1)),
                   lib().buffer(width), lib().buffer(kNone), force_even, &status);
    };

    RustBuffer zero = call_roi(variant(6), kNone, 0);
    EXPECT_EQ(zero.capacity + zero.len, 0u);
    EXPECT_EQ(zero.data, nullptr);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'method': Invalid RoiMethod enum value: 6");
    call_roi(variant(1), kNone, 2);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'force_even': unexpected byte for Boolean");
    call_roi(variant(1), Bytes{2}, 0);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'container_width': unexpected tag byte for Option");

    Bytes twenty = rect(0, 0, 1, 1);
    twenty.resize(20);
    EXPECT_EQ(iou(lib().buffer(twenty), lib().buffer(rect(0, 0, 1, 1)), &status), 0.0f);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'a': junk data left in buffer after lifting (count: 4)");
    EXPECT_EQ(iou(lib().buffer(rect(0, 0, 1, 1)), lib().buffer(Bytes(15, 0)), &status), 0.0f);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'b': not enough bytes remaining in buffer (3 < 4)");
    EXPECT_EQ(contained(lib().buffer(rect(0, 0, 1, 1)), lib().buffer(Bytes{}), 0.5f, &status), 0);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'outer': not enough bytes remaining in buffer (0 < 4)");
}

TEST(EndToEnd, GetVitalInfo) {
    auto info = lib().get<BufferFn>("uniffi_quorvanta_core_fn_func_get_vital_info");
    RustCallStatus status{};
    auto lookup = [&](const std::string& id) {
        return lib().take(info(lib().buffer(Bytes(id.begin(), id.end())), &status));
    };
    EXPECT_EQ(lookup("HR"), Bytes{0});
    EXPECT_EQ(lookup(""), Bytes{0});

    Bytes expected{1};
    for (const std::string field :
         {"heart_rate", "Heart Rate", "HR", "bpm", "#E62100", "\u2764\uFE0F"}) {
        put_u32(expected, static_cast<std::uint32_t>(field.size()));
        expected.insert(expected.end(), field.begin(), field.end());
    }
    EXPECT_EQ(lookup("hr"), expected);

    info(lib().buffer(Bytes{'h', 0xFF}), &status);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'vital_id': invalid utf-8 sequence of 1 bytes from index 1");
}

TEST(EndToEnd, SessionLifecycle) {
    const SessionExports exports;
    RustCallStatus status{};
    void* session = exports.create(lib().buffer(session_config("m1")), &status);
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
    lib().take(exports.process(session, lib().buffer(session_input(3, 3)), lib().buffer(variant(1)),
                               &status));
    EXPECT_EQ(lib().failure(status), "");
    exports.create(lib().buffer(Bytes{0, 0, 0, 1}), &status);
    EXPECT_EQ(lib().failure(status),
              "Failed to convert arg 'config': not enough bytes remaining in buffer (0 < 1)");
}

#ifdef QUORVANTA_FAULT_INJECTION
TEST(EndToEnd, AFaultPoisonsTheSession) {
    const SessionExports exports;
    RustCallStatus status{};
    void* session = exports.create(lib().buffer(session_config("quorvanta-test-fault")), &status);
    EXPECT_TRUE(exports.run(session, session_input(0, 10), variant(1), status).empty());
    EXPECT_EQ(lib().failure(status), "injected fault");
    exports.run(session, session_input(0, 10), variant(1), status);
    EXPECT_EQ(lib().failure(status), "Failed to lock Session core: PoisonError { .. }");
    exports.reset(exports.clone(session, &status), &status);
    EXPECT_EQ(lib().failure(status), "Failed to lock Session core: PoisonError { .. }");
    exports.free(session, &status);
    EXPECT_EQ(lib().failure(status), "");
}
#endif

TEST(EndToEnd, ConcurrentHostThreadsShareOneSession) {
    const SessionExports exports;
    RustCallStatus status{};
    void* session = exports.create(lib().buffer(session_config("m1")), &status);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&exports, session, t] {
            RustCallStatus own{};
            for (int i = 0; i < 40; ++i) {
                if ((i + t) % 10 == 9) {
                    exports.reset(exports.clone(session, &own), &own);
                } else {
                    Bytes mode = variant(1 + (i + t) % 3);
                    if (mode.back() == 2) put_f32(mode, 2.0f);  // Windowed: two seconds
                    exports.run(session, session_input(i * 20, 30), mode, own);
                }
            }
            EXPECT_EQ(lib().failure(own), "");
        });
    }
    for (auto& thread : threads)
        thread.join();
    exports.free(session, &status);
    EXPECT_EQ(lib().failure(status), "");
}

TEST(EndToEnd, FuturesAreNeverIssued) {
    static std::uint64_t polled_with = 0;
    lib().get<void(std::uint64_t, UniffiRustFutureContinuationCallback, std::uint64_t)>(
        "ffi_quorvanta_core_rust_future_poll_rust_buffer")(
        7, [](std::uint64_t data, std::int8_t ready) { polled_with = data + ready; }, 99);
    EXPECT_EQ(polled_with, 99u + UNIFFI_RUST_FUTURE_POLL_READY);
    RustCallStatus status{};
    EXPECT_EQ(lib().get<double(std::uint64_t, RustCallStatus*)>(
                  "ffi_quorvanta_core_rust_future_complete_f64")(7, &status),
              0.0);
    EXPECT_EQ(lib().failure(status), "no asynchronous call is pending for this future handle");
    lib().get<void(std::uint64_t)>("ffi_quorvanta_core_rust_future_free_void")(7);
}

}  // namespace
