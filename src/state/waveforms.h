// SPDX-License-Identifier: Apache-2.0
// Display-ready waveforms of the returned frames.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

#include "state/session_core.h"
#include "types/records.h"

namespace quorvanta {

// Whether a waveform of `samples` retained frames at `fs_history` frames per second is processed
// as the registry says: once the history spans the waveform's min_seconds. Raw ids never are.
bool waveform_processed(const VitalSpec& spec, std::size_t samples, float fs_history);

// One WaveformResult per id of config.return_waveforms that names a waveform of the registry and
// has data under that exact id, cut at the first returned frame `start`. Each is processed over
// the whole retained series as the registry says once enough history exists, and returned raw
// before that.
std::unordered_map<std::string, WaveformResult> build_waveforms(const SessionCore& core,
                                                                std::size_t start, bool global);

}  // namespace quorvanta
