// SPDX-License-Identifier: Apache-2.0
// Scalar vitals estimated from a session's history, and their assembly into results.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "state/session_core.h"
#include "types/records.h"

namespace quorvanta {

struct VitalEstimate {
    float value = 0;
    float confidence = 0;
};

// Canonical vital id -> accepted estimate, for the vitals whose methods succeeded in this call.
using VitalEstimates = std::unordered_map<std::string, VitalEstimate>;

// Estimates every vital of the core's vital_order over the retained history. `global` analyses
// the whole history; otherwise each method looks at its most recent max_seconds.
VitalEstimates estimate_vitals(SessionCore& core, bool global);

// One VitalResult per estimated vital, with its unit and a note on how it was obtained.
std::unordered_map<std::string, VitalResult> assemble_vitals(const VitalEstimates& estimates,
                                                             const SessionCore& core, bool global);

// "Latest estimate of {name} with {what} using {model}." or "Global estimate of ..." .
std::string estimate_note(bool global, std::string_view display_name, std::string_view what,
                          std::string_view model_name);

}  // namespace quorvanta
