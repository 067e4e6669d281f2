// SPDX-License-Identifier: Apache-2.0
// Tests of the value encoding: exact byte layouts, round trips, lifting errors, robustness against
// truncated and corrupted input, and the writer's growth. The errors of the exported functions'
// arguments are covered end to end.
#include "ffi/codec.h"

#include <gtest/gtest.h>

#include <tuple>

namespace quorvanta::ffi {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

template <class T>
Bytes encoded(const T& value) {
    const OwnedBuffer buffer(encode(value));
    return {buffer.bytes().begin(), buffer.bytes().end()};
}

template <class T>
std::string decode_error(const Bytes& bytes) try {
    decode<T>(bytes);
    return "no error";
} catch (const DecodeError& error) {
    return error.what();
}

// `value` lifts back from its encoding, which is exactly `layout` unless that is left empty. Every
// strict prefix fails with DecodeError, and so does a corrupted byte unless it happens to lift;
// anything else (another exception, a read out of bounds under the sanitizers) fails the test.
template <class T>
void expect_round_trip(const T& value, const Bytes& layout = {}) {
    const Bytes bytes = encoded(value);
    EXPECT_EQ(bytes, layout.empty() ? bytes : layout);
    EXPECT_EQ(decode<T>(bytes), value) << testing::PrintToString(bytes);
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_THROW(decode<T>(Bytes(bytes.data(), bytes.data() + size)), DecodeError);
        for (const std::uint8_t junk : Bytes{0x00, 0x7F, 0xFF}) {  // 0x7F forges huge counts
            Bytes corrupted = bytes;
            corrupted[size] = junk;
            decode_error<T>(corrupted);
        }
    }
}

TEST(Codec, WritesTheDocumentedLayouts) {
    expect_round_trip(RoiMethod{roi_method::Custom{0.1f, 0.2f, 0.3f, 0.4f}},  // 20 bytes
                      {0,    0,    0,    5,    0x3D, 0xCC, 0xCC, 0xCD, 0x3E, 0x4C,
                       0xCC, 0xCD, 0x3E, 0x99, 0x99, 0x9A, 0x3E, 0xCC, 0xCC, 0xCD});
    expect_round_trip(SessionConfig{"m", {"hr"}, std::nullopt, 30, 40, 258, ""},
                      Bytes{0, 0, 0, 1, 'm'} + Bytes{0, 0, 0, 1, 0, 0, 0, 2, 'h', 'r'} + Bytes{0} +
                          Bytes{0x41, 0xF0, 0, 0} + Bytes{0, 0, 0, 0, 0, 0, 0, 0x28} +
                          Bytes{0, 0, 0, 0, 0, 0, 1, 2} + Bytes{0, 0, 0, 0});
    expect_round_trip(BufferAction{BufferActionType::Ignore, "b", std::nullopt},
                      {0, 0, 0, 3, 1, 0, 0, 0, 1, 'b', 0});
    // Floats travel as bit patterns, so a signalling NaN's payload survives both ways.
    EXPECT_EQ(encoded(decode<float>(Bytes{0x7F, 0xA0, 0, 1})), (Bytes{0x7F, 0xA0, 0, 1}));
}

TEST(Codec, RoundTripsOneRichValuePerRecordFamily) {
    const FaceInput face_in{{{1, 2, 3, 4}, {5, 6, 7, 8}}, {0.9f, 0.8f}};
    expect_round_trip(SessionInput{face_in, {{"ppg", {{0.1f, -0.2f}, {1, 1}}}}, {0.0, 1.0 / 30}});
    const FaceResult face_out{{{1, 2, 3, 4}}, {0.5f}, "smoothed"};
    const WaveformResult wave{{0.25f}, {1}, "", "bandpass"};
    const VitalResult vital{72, 0.9f, "bpm", "é"};
    expect_round_trip(SessionResult{{12.5}, face_out, {{"ppg", wave}}, {{"hr", vital}}, 30, "ok"});
    expect_round_trip(BufferMetadata{"buffer", {1, 2, 3, 4}, 7, 1e9, 2.5});
    expect_round_trip(ExecutionPlan{InferenceCommand{"id", 90, 10}, {"old", ""}});
}

TEST(Codec, RefusesEnumIndexesOutsideOneToVariantCount) {
    const std::tuple<std::string, std::int32_t, std::string (*)(const Bytes&)> enums[] = {
        {"RoiMethod", 5, decode_error<RoiMethod>},
        {"FaceDetector", 2, decode_error<FaceDetector>},
        {"WaveformMode", 3, decode_error<WaveformMode>},
        {"InferenceMode", 2, decode_error<InferenceMode>},
        {"BufferActionType", 3, decode_error<BufferActionType>}};
    for (const auto& [name, variants, lift_error] : enums) {
        for (const std::int32_t index : {0, -1, variants + 1})
            EXPECT_EQ(lift_error(encoded(std::bit_cast<std::uint32_t>(index))),
                      "Invalid " + name + " enum value: " + std::to_string(index));
    }
}

TEST(Codec, ReportsLiftingErrors) {
    EXPECT_EQ(decode_error<bool>({2}), "unexpected byte for Boolean");
    EXPECT_EQ(decode_error<std::string>({0xFF, 0xFF, 0xFF, 0xFF}),
              "out of range integral type conversion attempted");
    EXPECT_EQ(decode_error<std::string>({0, 0, 0, 1, 0xE2}),
              "incomplete utf-8 byte sequence from index 0");
    // A forged count in a short buffer fails at the first element that runs short.
    EXPECT_EQ(decode_error<std::vector<float>>({0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}),
              "not enough bytes remaining in buffer (2 < 4)");
}

TEST(Codec, LaterDuplicateMapKeyWins) {
    const Bytes key = encoded(std::string("ppg"));
    const Bytes bytes = Bytes{0, 0, 0, 0, 2} + key + encoded(SignalInput{{1}, {}}) + key +
                        encoded(SignalInput{{2}, {0.5f}}) + Bytes{0, 0, 0, 0};
    EXPECT_EQ(decode<SessionInput>(bytes).signals.at("ppg"), (SignalInput{{2}, {0.5f}}));
}

// Each primitive piece grows the block to max(len + n, 2 * capacity, 8) when it does not fit.
TEST(Codec, WriterGrowsEachPieceByTheBufferRule) {
    Writer writer;
    const auto after = [&writer](const auto& value) {
        Codec<std::remove_cvref_t<decltype(value)>>::write(writer, value);
        return std::to_string(writer.size()) + " of " + std::to_string(writer.capacity());
    };
    EXPECT_EQ(after(std::uint32_t{1}), "4 of 8");
    EXPECT_EQ(after(std::string(10, 'x')), "18 of 18");  // the length fits exactly
    // The length doubles the block, then the bytes double it again: growing once would give 42.
    EXPECT_EQ(after(std::string(20, 'x')), "42 of 72");
}

}  // namespace
}  // namespace quorvanta::ffi
