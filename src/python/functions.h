// SPDX-License-Identifier: Apache-2.0
// The module's functions: estimate_heart_rate, estimate_hrv_metric, find_peaks, calculate_roi,
// get_vital_info, find_beats, extract_pulse, extract_respiration, read_recording,
// compute_buffer_config, compute_iou and is_contained, in that order, ending with a null entry.
// Each entry's signature is defined in this file before the table, so that it is initialised first.
#pragma once

#include "python/object_ref.h"

namespace quorvanta::python {

extern PyMethodDef kModuleFunctions[];

}  // namespace quorvanta::python
