// SPDX-License-Identifier: Apache-2.0
// The BufferPlanner class: the native planner, held by value, with its three decisions.
#include <array>
#include <vector>

#include "python/arguments.h"
#include "python/classes.h"
#include "python/conversions.h"
#include "python/errors.h"
#include "types/callable_docs.h"

namespace quorvanta::python {
namespace {

PyObject* new_planner(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded<PyObject*>(nullptr, [&] {
        const auto values = bind_arguments(kBufferPlannerNewSignature, args, kwargs);
        BufferPlanner planner(argument<BufferConfig>("config", values[0].get()));
        return new_instance_of<BufferPlanner>(type, planner).release();
    });
}

const Signature kEvaluateTargetSignature{"BufferPlanner.evaluate_target", required("target_roi"),
                                         required("timestamp"), required("active_buffers")};

ObjectRef evaluate_target(PyObject* self, std::array<ObjectRef, 3>& values) {
    const auto target = argument<Rect>("target_roi", values[0].get());
    const auto timestamp = argument<double>("timestamp", values[1].get());
    const auto buffers = argument<std::vector<BufferMetadata>>("active_buffers", values[2].get());
    return new_instance(value_of<BufferPlanner>(self).evaluate_target(target, timestamp, buffers));
}

const Signature kIsReadySignature{"BufferPlanner.is_ready", required("count"), required("mode"),
                                  defaults_to("has_state", false), defaults_to("flush", false)};

ObjectRef is_ready(PyObject* self, std::array<ObjectRef, 4>& values) {
    const auto count = argument<std::uint32_t>("count", values[0].get());
    const auto mode = argument<InferenceMode>("mode", values[1].get());
    const bool has_state = bool_argument("has_state", values[2], false);
    const bool flush = bool_argument("flush", values[3], false);
    const bool ready = value_of<BufferPlanner>(self).is_ready(count, mode, has_state, flush);
    return ObjectRef::borrow(ready ? Py_True : Py_False);
}

const Signature kPollSignature{
    "BufferPlanner.poll", required("active_buffers"),      required("current_time"),
    required("mode"),     defaults_to("has_state", false), defaults_to("flush", false)};

ObjectRef poll(PyObject* self, std::array<ObjectRef, 5>& values) {
    const auto buffers = argument<std::vector<BufferMetadata>>("active_buffers", values[0].get());
    const auto now = argument<double>("current_time", values[1].get());
    const auto mode = argument<InferenceMode>("mode", values[2].get());
    const bool has_state = bool_argument("has_state", values[3], false);
    const bool flush = bool_argument("flush", values[4], false);
    return new_instance(value_of<BufferPlanner>(self).poll(buffers, now, mode, has_state, flush));
}

PyMethodDef kPlannerMethods[] = {
    method<kEvaluateTargetSignature, &evaluate_target>(docs::kBufferPlannerEvaluateTarget),
    method<kIsReadySignature, &is_ready>(docs::kBufferPlannerIsReady),
    method<kPollSignature, &poll>(docs::kBufferPlannerPoll),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

template <>
std::vector<PyType_Slot> object_slots<BufferPlanner>() {
    return {{Py_tp_new, reinterpret_cast<void*>(&new_planner)},
            {Py_tp_methods, static_cast<void*>(kPlannerMethods)}};
}

}  // namespace quorvanta::python
