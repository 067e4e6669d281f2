// A host's view of the built libquorvanta_core.so: loading it with dlopen, passing and taking
// buffers, and encoding values by hand, big-endian as the library expects.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "quorvanta_core.h"

namespace host {

using Bytes = std::vector<std::uint8_t>;

class Library {
    // The library keeps its FFTW plans for the life of the process, so it stays loaded: once
    // unloaded, FFTW's own planner state would count as leaked.
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

inline void put_u32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}
inline void put_u64(Bytes& out, std::uint64_t v) {
    put_u32(out, static_cast<std::uint32_t>(v >> 32));
    put_u32(out, static_cast<std::uint32_t>(v));
}
inline void put_f32(Bytes& out, float v) {
    put_u32(out, std::bit_cast<std::uint32_t>(v));
}
inline void put_f64(Bytes& out, double v) {
    put_u64(out, std::bit_cast<std::uint64_t>(v));
}
inline void put_text(Bytes& out, const std::string& text) {
    put_u32(out, static_cast<std::uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}
inline Bytes rect(float x, float y, float w, float h) {
    Bytes out;
    for (float v : {x, y, w, h})
        put_f32(out, v);
    return out;
}
// An enum value without fields: its 1-based variant index.
inline Bytes variant(std::int32_t index) {
    Bytes out;
    put_u32(out, static_cast<std::uint32_t>(index));
    return out;
}

// An encoded SessionConfig at 30 fps with heart rate and the PPG waveform.
inline Bytes session_config(const std::string& model, std::uint64_t input_size = 40,
                            std::uint64_t n_inputs = 4) {
    Bytes out;
    put_text(out, model);
    put_u32(out, 1);
    put_text(out, "heart_rate");
    out.insert(out.end(), {1, 0, 0, 0, 1});  // Some: a list of one
    put_text(out, "ppg_waveform");
    put_f32(out, 30.0f);
    put_u64(out, input_size);
    put_u64(out, n_inputs);
    put_text(out, "face");
    return out;
}

}  // namespace host
