// SPDX-License-Identifier: Apache-2.0
// Writes the seed corpora of the fuzz targets into DIR/<target>/: for fuzz_lift, one valid
// encoding of each lifted type behind its selector byte; for the targets that draw their values
// with FuzzedDataProvider, inputs of all-zero bytes (every draw gives its typical value, so each
// describes an ordinary session, planner or signal) and of all-one bytes (the extremes).
//
// Usage: fuzz_seed_corpus DIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ffi/codec.h"
#include "ffi/rust_buffer.h"
#include "lift_types.h"

namespace {

using namespace quorvanta;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void write_file(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// The selector byte of `type`, then the encoding of `value`.
template <class T>
Bytes lift_seed(fuzz::LiftedType type, const T& value) {
    const RustBuffer buffer = ffi::encode(value);
    Bytes bytes{static_cast<std::uint8_t>(type)};
    const auto encoded = ffi::bytes_of(buffer);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
    ffi::release(buffer);
    return bytes;
}

SessionConfig session_config() {
    return {"seed-model",
            {"heart_rate", "respiratory_rate", "hrv_sdnn"},
            std::vector<std::string>{"ppg_waveform"},
            30.0f,
            40,
            4,
            "face"};
}

SessionInput session_input() {
    SessionInput input;
    input.timestamp = {0.0, 1.0 / 30.0, 2.0 / 30.0};
    input.signals["ppg_waveform"] = {{0.1f, 0.9f, 0.2f}, {0.9f, 0.9f, 0.9f}};
    input.signals["respiratory_waveform"] = {{0.0f, std::nanf(""), 0.5f}, {1.0f, 1.0f, 1.0f}};
    input.face = FaceInput{{{100, 80, 200, 220}, {101, 80, 200, 220}, {102, 81, 200, 220}},
                           {0.95f, 0.95f, 0.9f}};
    return input;
}

std::vector<BufferMetadata> buffer_metadata() {
    return {{"a", {100, 100, 200, 200}, 40, 10.0, 12.0}, {"b", {300, 90, 180, 190}, 4, 11.0, 12.5}};
}

void write_lift_seeds(const fs::path& dir) {
    using enum fuzz::LiftedType;
    const std::vector<Bytes> seeds = {
        lift_seed(SessionConfig, session_config()),
        lift_seed(SessionInput, session_input()),
        lift_seed(WaveformMode, quorvanta::WaveformMode{waveform_mode::Incremental{}}),
        lift_seed(WaveformMode, quorvanta::WaveformMode{waveform_mode::Windowed{10.0f}}),
        lift_seed(WaveformMode, quorvanta::WaveformMode{waveform_mode::Global{}}),
        lift_seed(RoiMethod, quorvanta::RoiMethod{roi_method::Forehead{}}),
        lift_seed(RoiMethod, quorvanta::RoiMethod{roi_method::Custom{0.1f, 0.2f, 0.3f, 0.4f}}),
        lift_seed(FaceDetector, quorvanta::FaceDetector::AppleVision),
        lift_seed(InferenceMode, quorvanta::InferenceMode::File),
        lift_seed(Rect, quorvanta::Rect{100, 100, 200, 200}),
        lift_seed(BufferConfig, quorvanta::BufferConfig{16, 4, 150, 900, 3}),
        lift_seed(BufferMetadataList, buffer_metadata()),
        lift_seed(String, std::string("heart_rate")),
        lift_seed(OptionalF32, std::optional<float>{640.0f}),
        lift_seed(OptionalF32, std::optional<float>{}),
        lift_seed(PulseMethod, quorvanta::PulseMethod::Chrom),
        lift_seed(F32List, std::vector<float>{0.41f, 0.52f, 0.39f}),
        {static_cast<std::uint8_t>(Text), 'h', 'r'},
    };
    for (std::size_t i = 0; i < seeds.size(); ++i)
        write_file(dir / ("seed-" + std::to_string(i)), seeds[i]);
}

void write_provider_seeds(const fs::path& dir) {
    for (const std::size_t size : {std::size_t{16}, std::size_t{256}, std::size_t{4096}}) {
        write_file(dir / ("zeros-" + std::to_string(size)), Bytes(size, 0x00));
        write_file(dir / ("ones-" + std::to_string(size)), Bytes(size, 0xff));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    try {
        fs::create_directories(root / "fuzz_lift");
        write_lift_seeds(root / "fuzz_lift");
        for (const char* target : {"fuzz_session", "fuzz_planner_geometry", "fuzz_signal"}) {
            fs::create_directories(root / target);
            write_provider_seeds(root / target);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
