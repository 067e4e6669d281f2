// SPDX-License-Identifier: Apache-2.0
// The Session class: a native session owned by the instance. Every call holds the GIL throughout,
// including while it waits for the session's lock.
#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "python/arguments.h"
#include "python/classes.h"
#include "python/conversions.h"
#include "python/errors.h"
#include "python/variants.h"
#include "types/callable_docs.h"

namespace quorvanta::python {
namespace {

PyObject* new_session(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded<PyObject*>(nullptr, [&] {
        const auto values = bind_arguments(kSessionNewSignature, args, kwargs);
        auto session =
            std::make_unique<Session>(argument<SessionConfig>("config", values[0].get()));
        return new_instance_of<SessionHandle>(type, std::move(session)).release();
    });
}

const Signature kProcessSignature{"Session.process", required("input"), required("mode")};

// Warned of before the batch is processed: with warnings turned into errors, the call raises and
// the batch is left out.
void warn_of_input(Session& session, const SessionInput& input) {
    for (const std::string& warning : session.input_warnings(input)) {
        if (PyErr_WarnEx(PyExc_UserWarning, warning.c_str(), 1) != 0) rethrow_python_error();
    }
}

ObjectRef process(PyObject* self, std::array<ObjectRef, 2>& values) {
    const auto input = argument<SessionInput>("input", values[0].get());
    const WaveformMode mode = waveform_mode_from(values[1].get());
    Session& session = *value_of<SessionHandle>(self);
    warn_of_input(session, input);
    return new_instance(session.process(input, mode));
}

const Signature kAssessSignature{"Session.assess"};

ObjectRef assess(PyObject* self, std::array<ObjectRef, 0>& /*values*/) {
    return new_instance(value_of<SessionHandle>(self)->assess());
}

const Signature kResetSignature{"Session.reset"};

ObjectRef reset(PyObject* self, std::array<ObjectRef, 0>& /*values*/) {
    value_of<SessionHandle>(self)->reset();
    return ObjectRef::borrow(Py_None);
}

PyMethodDef kSessionMethods[] = {
    method<kProcessSignature, &process>(docs::kSessionProcess),
    method<kAssessSignature, &assess>(docs::kSessionAssess),
    method<kResetSignature, &reset>(docs::kSessionReset),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

template <>
std::vector<PyType_Slot> object_slots<SessionHandle>() {
    return {{Py_tp_new, reinterpret_cast<void*>(&new_session)},
            {Py_tp_methods, static_cast<void*>(kSessionMethods)}};
}

}  // namespace quorvanta::python
