// SPDX-License-Identifier: Apache-2.0
// The data-carrying and named enums taken from Python values: RoiMethod from a method name or a
// (left, top, right, bottom) tuple, FaceDetector from a detector name in any case, WaveformMode
// from "Incremental", "Global" or ("Windowed", seconds). Each raises ValueError with its own
// message for anything else.
#pragma once

#include "python/object_ref.h"

#include "signal/skin_pulse.h"
#include "types/records.h"

namespace quorvanta::python {

RoiMethod roi_method_from(PyObject* object);
FaceDetector face_detector_from(PyObject* object);
// "pos" or "chrom", in any case.
PulseMethod pulse_method_from(PyObject* object);
WaveformMode waveform_mode_from(PyObject* object);

// The text of a str, lower-cased as str.lower does (full Unicode case mapping).
ObjectRef lower_case(PyObject* text);

}  // namespace quorvanta::python
