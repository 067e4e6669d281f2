// SPDX-License-Identifier: Apache-2.0
// Tests of the value encoding beyond what fuzz_lift checks (every argument type lifts only with a
// DecodeError and lowers back to its own bytes): a documented layout, the results' round trip, the
// lifting errors' messages and duplicate map keys. The exported functions' arguments are covered
// end to end.
#include "ffi/codec.h"

#include <gtest/gtest.h>

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

TEST(Codec, WritesTheDocumentedLayouts) {
    const RoiMethod custom = roi_method::Custom{0.1f, 0.2f, 0.3f, 0.4f};
    const Bytes layout{0,    0,    0,    5,    0x3D, 0xCC, 0xCC, 0xCD, 0x3E, 0x4C,
                       0xCC, 0xCD, 0x3E, 0x99, 0x99, 0x9A, 0x3E, 0xCC, 0xCC, 0xCD};
    EXPECT_EQ(encoded(custom), layout);
    EXPECT_EQ(decode<RoiMethod>(layout), custom);
}

// Results are only ever lowered by the library: lifting one back must give the same value.
TEST(Codec, SessionResultRoundTrips) {
    const FaceResult face{{{1, 2, 3, 4}}, {0.5f}, "smoothed"};
    const WaveformResult wave{{0.25f}, {1}, "", "bandpass"};
    const VitalResult vital{72, 0.9f, "bpm", "é"};
    const SessionResult result{{12.5}, face, {{"ppg", wave}}, {{"hr", vital}}, 30, "ok"};
    EXPECT_EQ(decode<SessionResult>(encoded(result)), result);
}

TEST(Codec, ReportsLiftingErrors) {
    EXPECT_EQ(decode_error<bool>({2}), "unexpected byte for Boolean");
    EXPECT_EQ(decode_error<std::string>({0xFF, 0xFF, 0xFF, 0xFF}),
              "out of range integral type conversion attempted");
    EXPECT_EQ(decode_error<std::string>({0, 0, 0, 1, 0xE2}),
              "incomplete utf-8 byte sequence from index 0");
}

TEST(Codec, LaterDuplicateMapKeyWins) {
    const Bytes key = encoded(std::string("ppg"));
    const Bytes bytes = Bytes{0, 0, 0, 0, 2} + key + encoded(SignalInput{{1}, {}}) + key +
                        encoded(SignalInput{{2}, {0.5f}}) + Bytes{0, 0, 0, 0};
    EXPECT_EQ(decode<SessionInput>(bytes).signals.at("ppg"), (SignalInput{{2}, {0.5f}}));
}

}  // namespace
}  // namespace quorvanta::ffi
