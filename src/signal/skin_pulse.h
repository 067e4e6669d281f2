// SPDX-License-Identifier: Apache-2.0
// A pulse waveform from the mean skin colour of a region of interest, frame by frame: the classical
// remote-PPG projections POS (Wang, den Brinker, Stuijk and de Haan, "Algorithmic principles of
// remote PPG", IEEE TBME 2017) and CHROM (de Haan and Jeanne, "Robust pulse rate from
// chrominance-based rPPG", IEEE TBME 2013).
//
// Input: the region's mean red, green and blue per frame, on any linear scale (values > 0), and
// the frames' timestamps in seconds; fs = 1 / their median frame interval. In every window of L
// frames, each channel is divided by its mean over the window, which removes the skin tone and
// the light's brightness (c_R, c_G, c_B):
//
//   POS:   L = round(1.6 fs), at least 3; windows start at every frame;
//          s1 = c_G - c_B,  s2 = c_G + c_B - 2 c_R,  h = -(s1 + (sd(s1) / sd(s2)) s2) - mean(...).
//   CHROM: L = 2 round(0.8 fs), at least 4; windows start every L/2 frames;
//          x = band(3 c_R - 2 c_G),  y = band(1.5 c_R + c_G - 1.5 c_B),
//          h = (x - (sd(x) / sd(y)) y) hann, band the zero-phase band-pass of 0.7 to 4 Hz (42 to
//          240 per minute), hann(i) = 0.5 - 0.5 cos(2 pi i / (L - 1)).
//
// Both rise with the blood volume, as a finger PPG does (skin reflects less light, most of all
// green, when it holds more blood; POS's projection falls with it, hence its minus sign). Each
// window's h is added into the pulse at its frames; the last window ends at the last frame.
// sd is the population standard deviation; a ratio with sd 0 below is taken as 0. A window holding
// a frame whose colour is not finite and positive adds nothing. A frame's confidence is the share
// of the windows over it that added to it: 1 throughout a clean trace, however short, less around
// bad frames, 0 where no window added (its value is then 0). Fewer than L frames, or no positive
// median frame interval: all 0.
// Sums run in index order in f64; the pulse and confidences are rounded to f32 at the end.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "types/records.h"

namespace quorvanta {

// The method a host names: "pos" or "chrom" (doors lower the name's case first).
std::optional<PulseMethod> pulse_method_named(std::string_view lowered_name);

// What the doors say of a colour trace whose channels and timestamps differ in length: "Length
// mismatch: green has length 3, expected 900" (measured against red), or nothing.
std::optional<std::string> colour_trace_mismatch(std::size_t red, std::size_t green,
                                                 std::size_t blue, std::size_t timestamps);

// The pulse and its confidence per frame, as a session takes a signal. `red`, `green`, `blue` and
// `timestamps` have one value per frame (the shortest length is used).
SignalInput extract_pulse(std::span<const float> red, std::span<const float> green,
                          std::span<const float> blue, std::span<const double> timestamps,
                          PulseMethod method);

}  // namespace quorvanta
