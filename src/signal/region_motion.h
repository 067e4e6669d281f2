// SPDX-License-Identifier: Apache-2.0
// A respiration waveform from the vertical motion of a region of interest: breathing lifts the
// head and shoulders by a pixel or two and lowers them again.
//
// Input: the region's row profile per frame (the mean brightness of each of its R rows, top
// first; frames one after another in `frame_rows`) and a reference profile of the same R rows,
// such as the first frame's of the region's buffer. Each frame's profile b is matched with the
// reference a at whole-row lags d in [-D, D], D = max(1, floor(R / 8)):
//
//   ncc(d) = sum (a_i - mean a) (b_{i+d} - mean b) / sqrt(sum (a_i - mean a)^2 sum (b_{i+d} - mean
//   b)^2)
//
// over the rows i where both a_i and b_{i+d} exist, each mean over those rows. The best lag is
// refined by the parabola through its neighbours' ncc (when both exist and the vertex lies within
// half a row). The content moved down by d rows; the waveform is the rise -d in rows (pixels),
// positive as the region rises, on inhalation. Its confidence is the best ncc, clamped to 0..1:
// how alike the profiles are. The brightness's scale and offset cancel, so a light that drifts
// does not move the waveform.
//
// A frame with a non-finite value, a flat profile (no ncc at any lag) or R < 3: NaN (a session
// repeats the previous value) with confidence 0. Sums run in index order in f64; values are
// rounded to f32 at the end.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "types/records.h"

namespace quorvanta {

// What the doors say of frame rows that are not whole profiles: "Length mismatch: frame_rows has
// length 10, expected a multiple of 4 (the length of reference_rows)", or nothing. Without
// reference rows there can be no frame rows ("..., expected 0 (reference_rows is empty)").
std::optional<std::string> profile_mismatch(std::size_t reference_rows, std::size_t frame_rows);

// The rise of each frame's profile against the reference and its confidence, as a session takes
// `respiratory_waveform`: one value per whole profile in `frame_rows`.
SignalInput extract_respiration(std::span<const float> reference_rows,
                                std::span<const float> frame_rows);

}  // namespace quorvanta
