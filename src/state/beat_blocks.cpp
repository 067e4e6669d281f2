// SPDX-License-Identifier: Apache-2.0
#include "state/beat_blocks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "state/session_core.h"
#include "types/numeric.h"

namespace quorvanta {
namespace detail {
namespace {

constexpr float kBlockSeconds = 4.0f;
constexpr float kPaddingSeconds = 1.0f;
// Far beyond any history, and small enough that block arithmetic on frame numbers cannot wrap.
constexpr std::uint64_t kMaxBlockFrames = std::uint64_t{1} << 32;

std::uint64_t frames_in(float seconds, float fps) {
    const float frames = round_half_away(seconds * fps);
    if (!(frames >= 1.0f)) return 1;
    return std::min(saturating_cast<std::uint64_t>(frames), kMaxBlockFrames);
}

// Eight bytes at a time: where memcmp is a byte loop (WebAssembly), comparing the blocks would cost
// as much as detecting one.
template <class T>
bool same_bits(std::span<const T> a, const std::vector<T>& b) {
    static_assert(sizeof(T) % 4 == 0);
    if (a.size() != b.size()) return false;
    const auto* x = reinterpret_cast<const unsigned char*>(a.data());
    const auto* y = reinterpret_cast<const unsigned char*>(b.data());
    const std::size_t bytes = a.size() * sizeof(T);
    std::uint64_t differ = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        std::uint64_t u, v;
        std::memcpy(&u, x + i, 8);
        std::memcpy(&v, y + i, 8);
        differ |= u ^ v;
    }
    for (; i < bytes; ++i)
        differ |= static_cast<std::uint64_t>(x[i] ^ y[i]);
    return differ == 0;
}

// The beats placed at or after `begin` and before `end`; a NaN bound does not limit.
std::vector<DetectedBeat> between(std::vector<DetectedBeat> beats, double begin, double end) {
    std::erase_if(beats, [&](const DetectedBeat& b) { return b.time < begin || b.time >= end; });
    return beats;
}

}  // namespace
}  // namespace detail

std::vector<DetectedBeat> BeatBlocks::beats(std::span<const float> pulse,
                                            std::span<const double> timestamps,
                                            std::uint64_t first_frame, float fps) {
    using namespace detail;
    const std::size_t held = pulse.size();
    if (held == 0 || timestamps.size() != held) {
        clear();
        return {};
    }
    const std::uint64_t block = frames_in(kBlockSeconds, fps);
    const std::uint64_t padding = frames_in(kPaddingSeconds, fps);
    const std::uint64_t end_frame = first_frame + held;
    const std::uint64_t first_block = first_frame / block;
    const std::uint64_t last_block = (end_frame - 1) / block;
    std::erase_if(blocks_, [&](const auto& entry) {
        return entry.first < first_block || entry.first > last_block;
    });
    std::vector<DetectedBeat> all;
    for (std::uint64_t j = first_block; j <= last_block; ++j) {
        const std::uint64_t owned = std::max(j * block, first_frame);
        const std::uint64_t next = (j + 1) * block;
        const std::uint64_t first = std::max(j * block - std::min(j * block, padding), first_frame);
        const std::uint64_t last = std::min(next + padding, end_frame);
        const auto index = [&](std::uint64_t frame) {
            return static_cast<std::size_t>(frame - first_frame);
        };
        const std::span<const float> x = pulse.subspan(index(first), index(last) - index(first));
        const std::span<const double> t =
            timestamps.subspan(index(first), index(last) - index(first));
        Block& cached = blocks_[j];
        if (cached.first != first || !same_bits(x, cached.pulse) ||
            !same_bits(t, cached.timestamps)) {
            const double begin = timestamps[index(owned)];
            const double end = next < end_frame ? timestamps[index(next)]
                                                : std::numeric_limits<double>::infinity();
            cached = {first,
                      {x.begin(), x.end()},
                      {t.begin(), t.end()},
                      between(detect_beats(x, frame_rate(t, fps), t), begin, end)};
        }
        all.insert(all.end(), cached.beats.begin(), cached.beats.end());
    }
    return all;
}

}  // namespace quorvanta
