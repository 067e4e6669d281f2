// Tests of the value encoding: exact byte layouts, round trips of every record and enum, every
// lifting error, robustness against truncated and corrupted input, and the writer's growth.
#include "ffi/codec.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <random>

namespace quorvanta::ffi {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

template <class T>
Bytes encoded(const T& value) {
    const RustBuffer buffer = encode(value);
    Bytes bytes(buffer.data, buffer.data + buffer.len);
    release(buffer);
    return bytes;
}

template <class T>
std::string decode_error(const Bytes& bytes) {
    try {
        decode<T>(bytes);
    } catch (const DecodeError& error) {
        return error.what();
    }
    return "decoded";
}

SessionConfig sample_config() {
    return {"model",
            {"heart_rate", "ppg_waveform"},
            std::vector<std::string>{"ppg_waveform"},
            30.0f,
            40,
            2,
            "upper_body"};
}

SessionInput sample_input() {
    return {FaceInput{{{1, 2, 3, 4}, {5, 6, 7, 8}}, {0.9f, 0.8f}},
            {{"ppg_waveform", {{0.1f, -0.2f}, {1, 1}}}, {"respiratory_waveform", {{}, {}}}},
            {0.0, 1.0 / 30}};
}

SessionResult sample_result() {
    return {{12.5, 12.75},
            FaceResult{{{1, 2, 3, 4}}, {0.5f}, "smoothed"},
            {{"ppg_waveform", {{0.25f}, {1}, "", "bandpass"}}},
            {{"heart_rate", {72, 0.9f, "bpm", "spectral"}}, {"spo2", {98, 0.5f, "%", "é"}}},
            29.97f,
            "advisory"};
}

TEST(Codec, WritesTheDocumentedLayouts) {
    struct Case {
        const char* label;
        Bytes actual;
        Bytes expected;
    };
    const Case cases[] = {
        {"empty sequence<f32>", encoded(std::vector<float>{}), {0, 0, 0, 0}},
        {"absent option", encoded(std::optional<Rect>{}), {0}},
        {"Windowed(10 s)",
         encoded(WaveformMode{waveform_mode::Windowed{10}}),
         {0, 0, 0, 2, 0x41, 0x20, 0, 0}},
        {"Custom(0.1, 0.2, 0.3, 0.4)",
         encoded(RoiMethod{roi_method::Custom{0.1f, 0.2f, 0.3f, 0.4f}}),
         {0,    0,    0,    5,    0x3D, 0xCC, 0xCC, 0xCD, 0x3E, 0x4C,
          0xCC, 0xCD, 0x3E, 0x99, 0x99, 0x9A, 0x3E, 0xCC, 0xCC, 0xCD}},
        {"Rect fields in order",
         encoded(Rect{1, -2, 0.5f, 3}),
         {0x3F, 0x80, 0, 0, 0xC0, 0, 0, 0, 0x3F, 0, 0, 0, 0x40, 0x40, 0, 0}},
        {"SessionConfig", encoded(SessionConfig{"m", {"hr"}, std::nullopt, 30, 40, 258, ""}),
         Bytes{0, 0, 0, 1, 'm'} + Bytes{0, 0, 0, 1, 0, 0, 0, 2, 'h', 'r'} + Bytes{0} +
             Bytes{0x41, 0xF0, 0, 0} + Bytes{0, 0, 0, 0, 0, 0, 0, 0x28} +
             Bytes{0, 0, 0, 0, 0, 0, 1, 2} + Bytes{0, 0, 0, 0}},
        {"BufferAction",
         encoded(BufferAction{BufferActionType::Ignore, "b", std::nullopt}),
         {0, 0, 0, 3, 1, 0, 0, 0, 1, 'b', 0}},
        {"bool, f64, u32",
         encoded(true) + encoded(-2.0) + encoded(std::uint32_t{0x01020304}),
         {1, 0xC0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.actual, c.expected);
    }
}

template <class T>
void expect_round_trip(const T& value) {
    EXPECT_EQ(decode<T>(encoded(value)), value) << testing::PrintToString(encoded(value));
}

TEST(Codec, RoundTripsEveryRecord) {
    expect_round_trip(Rect{-1.5f, 2, 1e30f, std::numeric_limits<float>::denorm_min()});
    expect_round_trip(sample_config());
    expect_round_trip(SessionConfig{});
    expect_round_trip(sample_input());
    expect_round_trip(SessionInput{});
    expect_round_trip(sample_result());
    expect_round_trip(
        VitalDisplayMeta{"heart_rate", "Heart Rate", "HR", "bpm", "#FF0000", "❤️"});
    expect_round_trip(BufferConfig{1, 2, 3, 4, 0xFFFFFFFF});
    expect_round_trip(BufferMetadata{"buffer", {1, 2, 3, 4}, 7, 1e9, -0.0});
    expect_round_trip(BufferAction{BufferActionType::KeepAlive, "id", Rect{1, 2, 3, 4}});
    expect_round_trip(ExecutionPlan{InferenceCommand{"id", 90, 10}, {"old", ""}});
    expect_round_trip(ExecutionPlan{});
    expect_round_trip(std::numeric_limits<std::uint64_t>::max());
}

TEST(Codec, KeepsNanPayloadsBitExact) {
    const auto f = std::bit_cast<float>(std::uint32_t{0x7FA00001});
    const auto d = std::bit_cast<double>(std::uint64_t{0xFFF0000000000123});
    const auto rect = decode<Rect>(encoded(Rect{f, 0, 0, 0}));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(rect.x), 0x7FA00001u);
    const auto times = decode<std::vector<double>>(encoded(std::vector<double>{d}));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(times.at(0)), 0xFFF0000000000123u);
}

// Every index of 1..variants lifts and lowers back to itself; 0, -1 and variants + 1 fail.
template <class E>
void expect_variant_indexes(const std::string& name, std::int32_t variants) {
    SCOPED_TRACE(name);
    for (std::int32_t index = 1; index <= variants; ++index) {
        const Bytes bytes = encoded(std::uint32_t(index)) + Bytes(16, 0);
        Reader reader(bytes);
        Writer writer;
        Codec<E>::write(writer, Codec<E>::read(reader));
        const RustBuffer buffer = std::move(writer).finish();
        EXPECT_EQ(Bytes(buffer.data, buffer.data + 4), Bytes(bytes.begin(), bytes.begin() + 4));
        release(buffer);
    }
    for (const std::int32_t index : {0, -1, variants + 1}) {
        EXPECT_EQ(decode_error<E>(encoded(std::bit_cast<std::uint32_t>(index))),
                  "Invalid " + name + " enum value: " + std::to_string(index));
    }
}

TEST(Codec, EnumsUseOneBasedIndexes) {
    expect_variant_indexes<RoiMethod>("RoiMethod", 5);
    expect_variant_indexes<FaceDetector>("FaceDetector", 2);
    expect_variant_indexes<WaveformMode>("WaveformMode", 3);
    expect_variant_indexes<InferenceMode>("InferenceMode", 2);
    expect_variant_indexes<BufferActionType>("BufferActionType", 3);
    expect_round_trip(RoiMethod{roi_method::UpperBodyCropped{}});
    expect_round_trip(WaveformMode{waveform_mode::Windowed{-0.5f}});
    expect_round_trip(FaceDetector::AppleVision);
}

TEST(Codec, ReportsEveryLiftingError) {
    const Bytes huge_count = {0x7F, 0xFF, 0xFF, 0xFF};
    struct Case {
        const char* label;
        std::string actual;
        std::string expected;
    };
    const Case cases[] = {
        {"Rect of 15 bytes", decode_error<Rect>(Bytes(15, 0)),
         "not enough bytes remaining in buffer (3 < 4)"},
        {"Rect of 20 bytes", decode_error<Rect>(Bytes(20, 0)),
         "junk data left in buffer after lifting (count: 4)"},
        {"empty u64", decode_error<std::uint64_t>({}),
         "not enough bytes remaining in buffer (0 < 8)"},
        {"bool 2", decode_error<bool>({2}), "unexpected byte for Boolean"},
        {"option tag 2", decode_error<std::optional<bool>>({2, 1}),
         "unexpected tag byte for Option"},
        {"negative string length", decode_error<std::string>({0xFF, 0xFF, 0xFF, 0xFF}),
         "out of range integral type conversion attempted"},
        {"string longer than buffer", decode_error<std::string>({0, 0, 0, 5, 'a', 'b', 'c'}),
         "not enough bytes remaining in buffer (3 < 5)"},
        {"invalid utf-8", decode_error<std::string>({0, 0, 0, 3, 'a', 0xC3, 0x28}),
         "invalid utf-8 sequence of 1 bytes from index 1"},
        {"incomplete utf-8", decode_error<std::string>({0, 0, 0, 1, 0xE2}),
         "incomplete utf-8 byte sequence from index 0"},
        {"negative sequence count", decode_error<std::vector<float>>({0x80, 0, 0, 0}),
         "out of range integral type conversion attempted"},
        {"huge count of f32", decode_error<std::vector<float>>(huge_count + Bytes(6, 0)),
         "not enough bytes remaining in buffer (2 < 4)"},
        {"huge count of sequences",
         decode_error<std::vector<std::vector<float>>>(huge_count + Bytes(6, 0)),
         "not enough bytes remaining in buffer (2 < 4)"},
        {"huge count of map entries",
         decode_error<SessionInput>(Bytes{0} + huge_count + Bytes(5, 0)),
         "not enough bytes remaining in buffer (1 < 4)"},
        {"bad element after good ones",
         decode_error<std::vector<std::string>>({0, 0, 0, 2, 0, 0, 0, 0, 0xFF}),
         "not enough bytes remaining in buffer (1 < 4)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.actual, c.expected);
    }
}

TEST(Codec, DecodesTextArgumentsWithoutLengthPrefix) {
    EXPECT_EQ(decode_text(Bytes{'h', 0xC3, 0xA9}), "h\u00E9");
    EXPECT_EQ(decode_text({}), "");
    EXPECT_THROW(
        {
            try {
                decode_text(Bytes{'a', 'b', 0xFF});
            } catch (const DecodeError& error) {
                EXPECT_STREQ(error.what(), "invalid utf-8 sequence of 1 bytes from index 2");
                throw;
            }
        },
        DecodeError);
}

TEST(Codec, LaterDuplicateMapKeyWins) {
    const Bytes key = encoded(std::string("ppg"));
    const Bytes bytes = Bytes{0, 0, 0, 0, 2} + key + encoded(SignalInput{{1}, {}}) + key +
                        encoded(SignalInput{{2}, {0.5f}}) + Bytes{0, 0, 0, 0};
    const auto input = decode<SessionInput>(bytes);
    ASSERT_EQ(input.signals.size(), 1u);
    EXPECT_EQ(input.signals.at("ppg"), (SignalInput{{2}, {0.5f}}));
}

TEST(Codec, SurvivesTruncatedAndCorruptedInput) {
    const Bytes whole = encoded(sample_result());
    for (std::size_t size = 0; size < whole.size(); ++size) {
        EXPECT_THROW(decode<SessionResult>(Bytes(whole.begin(), whole.begin() + size)),
                     DecodeError);
    }
    EXPECT_EQ(decode_error<SessionResult>(whole + Bytes{0}),
              "junk data left in buffer after lifting (count: 1)");
    std::mt19937 random(11);
    for (int sample = 0; sample < 20000; ++sample) {
        Bytes corrupted = whole;
        corrupted[random() % corrupted.size()] = static_cast<std::uint8_t>(random());
        try {
            decode<SessionResult>(corrupted);
        } catch (const DecodeError&) {
        }
    }
}

TEST(Codec, WriterGrowsEachPieceByTheBufferRule) {
    Writer writer;
    struct Step {
        const char* label;
        std::function<void()> write;
        std::uint64_t size, capacity;
    };
    const Step steps[] = {
        {"u32 into nothing", [&] { Codec<std::uint32_t>::write(writer, 1); }, 4, 8},
        {"u32 that fits", [&] { Codec<std::uint32_t>::write(writer, 2); }, 8, 8},
        {"bool doubles", [&] { Codec<bool>::write(writer, true); }, 9, 16},
        {"f64 doubles", [&] { Codec<double>::write(writer, 1); }, 17, 32},
        {"long string grows to fit",
         [&] { Codec<std::string>::write(writer, std::string(100, 'x')); }, 121, 121},
        {"f32 doubles", [&] { Codec<float>::write(writer, 1); }, 125, 242},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.label);
        step.write();
        EXPECT_EQ(writer.size(), step.size);
        EXPECT_EQ(writer.capacity(), step.capacity);
    }
    const RustBuffer buffer = std::move(writer).finish();
    EXPECT_EQ(buffer.len, 125u);
    EXPECT_EQ(buffer.capacity, 242u);
    EXPECT_EQ(writer.capacity(), 0u);  // NOLINT(bugprone-use-after-move): finish() empties it
    release(buffer);
}

}  // namespace
}  // namespace quorvanta::ffi
