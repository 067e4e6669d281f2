// SPDX-License-Identifier: Apache-2.0
// A recording resampled onto evenly spaced frames.
//
// Frame k is at t_k = t_0 + k / rate, for every k with t_k <= t_last (t_0, t_last: the first and
// last finite timestamps; frames without a finite timestamp are left out). Each signal's value at
// t_k is the mean of its finite samples with timestamps in [t_k - h, t_k + h), h = 1 / (2 rate),
// as a camera's exposure averages the light of its frame interval; the mean also removes most of
// what the lower rate could not carry. Its confidence is the mean of those samples' confidences.
// A frame whose interval holds samples but no finite value is missing (NaN, confidence 0). A
// frame whose interval holds no sample at all (a rate above the recording's) is interpolated
// linearly between the samples on either side, when both are finite and at most
// kLongestInterpolatedGap apart; otherwise it is missing too. The face box and its confidence are
// those of the sample nearest t_k.
#pragma once

#include <filesystem>

#include "recording/recording_types.h"

namespace quorvanta {

// Seconds; a longer gap between samples is left missing rather than drawn as a straight line.
constexpr double kLongestInterpolatedGap = 0.5;

// More frames than this many times the recording's is refused: such a rate or span is a mistake
// (timestamps in another unit, or a rate far above the recording's), and would fill memory.
constexpr double kMostResampledFramesPerFrame = 16.0;

// `recording` at `rate` frames a second (finite, positive). Throws InputError naming `file` when
// the recording has no two finite timestamps or the result would be too many frames.
Recording resampled(const Recording& recording, double rate, const std::filesystem::path& file);

}  // namespace quorvanta
