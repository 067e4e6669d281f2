// SPDX-License-Identifier: Apache-2.0
// The detected beats of a session's pulse history, block by block, each block detected once.
//
// Frames are numbered from the session's first: frame n is history index n - first_frame. Block j
// owns frames [jB, (j + 1) B), B = 4 s x fps (at least 1 frame). It is detected (detect_beats,
// at the frame rate of its own timestamps) on frames [jB - P, (j + 1) B + P), P = 1 s x fps, cut
// to the history, and keeps the beats it places from the timestamp of its first owned frame in
// the history up to that of the next block's first frame (the newest block: without end). The
// padding lets the band-pass settle and gives a beat near a block's edge its whole shape. A block
// whose frames, timestamps and bounds are bit for bit those of its last detection reuses its
// beats: the beats depend on the history alone, however often they are asked for, and a new
// batch costs the detection of the blocks it touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "signal/beat_detection.h"

namespace quorvanta {

class BeatBlocks {
public:
    // The beats of `pulse` in time order, with blocks sized for `fps` frames per second. The
    // pulse and its timestamps have one value per frame, the first being frame `first_frame`.
    std::vector<DetectedBeat> beats(std::span<const float> pulse,
                                    std::span<const double> timestamps, std::uint64_t first_frame,
                                    float fps);

    void clear() noexcept { blocks_.clear(); }

private:
    struct Block {
        std::uint64_t first = 0;  // first frame detected
        std::vector<float> pulse;
        std::vector<double> timestamps;
        std::vector<DetectedBeat> beats;
    };

    std::map<std::uint64_t, Block> blocks_;
};

}  // namespace quorvanta
