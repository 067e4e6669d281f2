// Tests of the value encoding: exact byte layouts, round trips, every lifting error, robustness
// against truncated and corrupted input, and the writer's growth.
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
        EXPECT_THROW(decode<T>(Bytes(bytes.begin(), bytes.begin() + size)), DecodeError);
        for (const std::uint8_t junk : {0x00, 0x7F, 0xFF}) {  // 0x7F forges huge counts
            Bytes corrupted = bytes;
            corrupted[size] = junk;
            decode_error<T>(corrupted);
        }
    }
}

TEST(Codec, WritesTheDocumentedLayouts) {
    expect_round_trip(std::vector<float>{}, {0, 0, 0, 0});
    expect_round_trip(std::optional<Rect>{}, {0});
    expect_round_trip(WaveformMode{waveform_mode::Windowed{10}}, {0, 0, 0, 2, 0x41, 0x20, 0, 0});
    expect_round_trip(RoiMethod{roi_method::Custom{0.1f, 0.2f, 0.3f, 0.4f}},  // 20 bytes
                      {0,    0,    0,    5,    0x3D, 0xCC, 0xCC, 0xCD, 0x3E, 0x4C,
                       0xCC, 0xCD, 0x3E, 0x99, 0x99, 0x9A, 0x3E, 0xCC, 0xCC, 0xCD});
    expect_round_trip(SessionConfig{"m", {"hr"}, std::nullopt, 30, 40, 258, ""},
                      Bytes{0, 0, 0, 1, 'm'} + Bytes{0, 0, 0, 1, 0, 0, 0, 2, 'h', 'r'} + Bytes{0} +
                          Bytes{0x41, 0xF0, 0, 0} + Bytes{0, 0, 0, 0, 0, 0, 0, 0x28} +
                          Bytes{0, 0, 0, 0, 0, 0, 1, 2} + Bytes{0, 0, 0, 0});
    expect_round_trip(BufferAction{BufferActionType::Ignore, "b", std::nullopt},
                      {0, 0, 0, 3, 1, 0, 0, 0, 1, 'b', 0});
    expect_round_trip(FaceDetector::AppleVision, {0, 0, 0, 2});
    expect_round_trip(InferenceMode::File, {0, 0, 0, 2});
    expect_round_trip(true, {1});
    expect_round_trip(-2.0, {0xC0, 0, 0, 0, 0, 0, 0, 0});
    // Floats travel as bit patterns, so a signalling NaN's payload survives both ways.
    EXPECT_EQ(encoded(decode<float>(Bytes{0x7F, 0xA0, 0, 1})), (Bytes{0x7F, 0xA0, 0, 1}));
}

TEST(Codec, RoundTripsOneRichValuePerRecordFamily) {
    expect_round_trip(SessionInput{FaceInput{{{1, 2, 3, 4}, {5, 6, 7, 8}}, {0.9f, 0.8f}},
                                   {{"ppg_waveform", {{0.1f, -0.2f}, {1, 1}}}, {"resp", {}}},
                                   {0.0, 1.0 / 30}});
    expect_round_trip(
        SessionResult{{12.5, 12.75},
                      FaceResult{{{1, 2, 3, 4}}, {0.5f}, "smoothed"},
                      {{"ppg_waveform", {{0.25f}, {1}, "", "bandpass"}}},
                      {{"heart_rate", {72, 0.9f, "bpm", "fft"}}, {"spo2", {98, 0.5f, "%", "é"}}},
                      29.97f,
                      "advisory"});
    expect_round_trip(VitalDisplayMeta{"hr", "Heart Rate", "HR", "bpm", "#E62100", "❤️"});
    expect_round_trip(BufferMetadata{"buffer", {1, 2, 3, 4}, 7, 1e9, 2.5});
    expect_round_trip(BufferAction{BufferActionType::KeepAlive, "id", Rect{1, 2, 3, 4}});
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
        for (const std::int32_t index : {0, -1, variants + 1}) {
            EXPECT_EQ(lift_error(encoded(std::bit_cast<std::uint32_t>(index))),
                      "Invalid " + name + " enum value: " + std::to_string(index));
        }
    }
}

TEST(Codec, ReportsEveryLiftingError) {
    const std::string short_of = "not enough bytes remaining in buffer ";
    EXPECT_EQ(decode_error<Rect>(Bytes(15, 0)), short_of + "(3 < 4)");
    EXPECT_EQ(decode_error<Rect>(Bytes(20, 0)),
              "junk data left in buffer after lifting (count: 4)");
    EXPECT_EQ(decode_error<bool>({2}), "unexpected byte for Boolean");
    EXPECT_EQ(decode_error<std::optional<bool>>({2, 1}), "unexpected tag byte for Option");
    EXPECT_EQ(decode_error<std::string>({0xFF, 0xFF, 0xFF, 0xFF}),
              "out of range integral type conversion attempted");
    EXPECT_EQ(decode_error<std::string>({0, 0, 0, 1, 0xE2}),
              "incomplete utf-8 byte sequence from index 0");
    // A forged count in a short buffer fails at the first element that runs short.
    EXPECT_EQ(decode_error<std::vector<float>>({0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}),
              short_of + "(2 < 4)");
    // Text arguments are the whole buffer as UTF-8, without a length.
    EXPECT_EQ(decode_text(Bytes{'h', 0xC3, 0xA9}), "h\u00E9");
    EXPECT_THROW(decode_text(Bytes{'a', 0xFF}), DecodeError);
}

TEST(Codec, LaterDuplicateMapKeyWins) {
    const Bytes key = encoded(std::string("ppg"));
    const Bytes bytes = Bytes{0, 0, 0, 0, 2} + key + encoded(SignalInput{{1}, {}}) + key +
                        encoded(SignalInput{{2}, {0.5f}}) + Bytes{0, 0, 0, 0};
    EXPECT_EQ(decode<SessionInput>(bytes).signals,
              (std::unordered_map<std::string, SignalInput>{{"ppg", {{2}, {0.5f}}}}));
}

// Each primitive piece grows the block to max(len + n, 2 * capacity, 8) when it does not fit.
TEST(Codec, WriterGrowsEachPieceByTheBufferRule) {
    Writer writer;
    const auto after = [&writer](const auto& value) {
        Codec<std::remove_cvref_t<decltype(value)>>::write(writer, value);
        return std::to_string(writer.size()) + " of " + std::to_string(writer.capacity());
    };
    EXPECT_EQ(after(std::uint32_t{1}), "4 of 8");
    EXPECT_EQ(after(std::uint32_t{2}), "8 of 8");
    EXPECT_EQ(after(true), "9 of 16");
    EXPECT_EQ(after(1.0), "17 of 32");
    EXPECT_EQ(after(std::string(100, 'x')), "121 of 121");  // the length fits; 100 bytes do not
    EXPECT_EQ(after(1.0f), "125 of 242");
}

}  // namespace
}  // namespace quorvanta::ffi
