// SPDX-License-Identifier: Apache-2.0
// The checks beside the session's estimators: for each vital of the last processed batch, a
// quality measured on the signal itself, the reasons behind a low one, and the value the checks
// stand behind; and the beats of the pulse waveform.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "state/session_core.h"
#include "types/records.h"

namespace quorvanta {

// Why a vital's quality is low or its checked value differs from the session's.
enum class QualityReason : std::uint8_t {
    Harmonic,   // the spectrum's strongest peak is a harmonic of the beat rate: the fundamental
    Drift,      // slow drift holds the respiration band's power, or the rate reads below 6 /min
    Motion,     // the beats look little like the recording's mean beat
    Flat,       // stretches of the signal hold one value (a lost or frozen signal)
    Clipped,    // the signal sits at its extremes (a sensor or an encoder at the end of its range)
    FewBeats,   // the beats' intervals cover too little of the window
    Irregular,  // many beats had to be corrected or rejected, or the breathing has no clear rate
    Disagree,   // the spectral rate and the beat or breath intervals disagree, not by a harmonic
};

// The code each reason is reported as.
inline constexpr std::array<std::string_view, 8> kQualityReasonNames{
    "harmonic", "drift", "motion", "flat", "clipped", "few_beats", "irregular", "disagree"};

// Assesses the vitals that the last `process` call estimated (core.latest_values) over the
// history it left. Vitals that were not estimated have no entry. Only the core's beat blocks
// change: they keep the beats of the blocks a later call will find unchanged.
Assessment assess_history(SessionCore& core);

}  // namespace quorvanta
