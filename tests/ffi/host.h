// SPDX-License-Identifier: Apache-2.0
// A host's view of the built libquorvanta_core.so: loading it with dlopen, passing and taking
// buffers, and encoding values by hand, big-endian as the library expects.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "quorvanta_core.h"

namespace host {

using Bytes = std::vector<std::uint8_t>;

class Library {
    // The library keeps its transform tables for the life of the process, so it stays loaded:
    // once unloaded, they would count as leaked.
    std::unique_ptr<void, int (*)(void*)> handle_{
        dlopen(QUORVANTA_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE), &dlclose};

public:
    Library() { EXPECT_TRUE(handle_) << dlerror(); }

    template <class Fn>
    Fn* get(const char* name) const {
        void* symbol = dlsym(handle_.get(), name);
        if (symbol == nullptr) ADD_FAILURE() << "missing export " << name;
        return reinterpret_cast<Fn*>(symbol);
    }

    // A buffer owned by the library, holding `bytes`, as a host would pass it.
    RustBuffer buffer(const Bytes& bytes) const {
        RustCallStatus status{};
        return get<RustBuffer(ForeignBytes, RustCallStatus*)>(
            "ffi_quorvanta_core_rustbuffer_from_bytes")(
            ForeignBytes{static_cast<std::int32_t>(bytes.size()), bytes.data()}, &status);
    }

    // Takes the bytes of a returned buffer and frees it.
    Bytes take(RustBuffer buf) const {
        Bytes bytes(buf.data, buf.data + buf.len);
        RustCallStatus status{};
        get<void(RustBuffer, RustCallStatus*)>("ffi_quorvanta_core_rustbuffer_free")(buf, &status);
        EXPECT_EQ(status.code, 0);
        return bytes;
    }

    // The failure message a call left in `status` ("" on success), freeing its buffer.
    std::string failure(RustCallStatus& status) const {
        EXPECT_TRUE(status.code == 0 || status.code == 2) << status.code;
        const Bytes bytes = status.code == 0 ? Bytes{} : take(std::exchange(status, {}).error_buf);
        return {bytes.begin(), bytes.end()};
    }
};

// The one loaded library of the test program.
inline const Library& lib() {
    static const Library library;
    return library;
}

// Encodings built as expressions, so that a value reads as its layout: cat({u32(2), text("a")}).
inline const auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
};
inline const auto u32 = [](std::uint32_t v) {
    return Bytes{std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8),
                 std::uint8_t(v)};
};
inline const auto u64 = [](std::uint64_t v) {
    return cat({u32(static_cast<std::uint32_t>(v >> 32)), u32(static_cast<std::uint32_t>(v))});
};
inline const auto f32 = [](float v) { return u32(std::bit_cast<std::uint32_t>(v)); };
inline const auto f64 = [](double v) { return u64(std::bit_cast<std::uint64_t>(v)); };
inline const auto text = [](const std::string& s) {
    return cat({u32(static_cast<std::uint32_t>(s.size())), {s.begin(), s.end()}});
};
inline const auto rect = [](float x, float y, float w, float h) {
    return cat({f32(x), f32(y), f32(w), f32(h)});
};
// An enum value without fields: its 1-based variant index.
inline const auto variant = u32;

// An encoded SessionConfig at 30 fps with heart rate and the PPG waveform.
inline Bytes session_config(const std::string& model, std::uint64_t input_size = 40,
                            std::uint64_t n_inputs = 4) {
    const Bytes some_list_of_one = cat({{1}, u32(1)});
    return cat({text(model), u32(1), text("heart_rate"), some_list_of_one, text("ppg_waveform"),
                f32(30), u64(input_size), u64(n_inputs), text("face")});
}

}  // namespace host
