// SPDX-License-Identifier: Apache-2.0
// The module's functions: estimate_heart_rate, estimate_hrv_metric, find_peaks, calculate_roi
// and get_vital_info, in that order, ending with a null entry.
#pragma once

#include "python/object_ref.h"

namespace quorvanta::python {

extern PyMethodDef kModuleFunctions[];

}  // namespace quorvanta::python
