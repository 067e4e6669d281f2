// SPDX-License-Identifier: Apache-2.0
// read_recording: the recording reader at the Python door, giving NumPy arrays and the batches a
// host sends to a Session.
#pragma once

#include <array>

#include "python/object_ref.h"

namespace quorvanta::python {

// The body of read_recording(source, fs, columns, time_unit, batch_frames,
// resample), whose signature the
// module's function table holds.
ObjectRef read_recording_call(PyObject* module, std::array<ObjectRef, 6>& values);

}  // namespace quorvanta::python
