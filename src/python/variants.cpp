// SPDX-License-Identifier: Apache-2.0
#include "python/variants.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "geometry/roi.h"
#include "python/conversions.h"
#include "python/errors.h"

namespace quorvanta::python {
namespace {

// The number a tuple item holds, or nothing (the conversion's error cleared).
std::optional<float> number_of(PyObject* object) {
    try {
        return Convert<float>::from(object);
    } catch (const PythonError&) {
        PyErr_Clear();
        return std::nullopt;
    }
}

std::optional<roi_method::Custom> custom_roi_from(PyObject* object) {
    if (!PyTuple_Check(object) || PyTuple_GET_SIZE(object) != 4) return std::nullopt;
    std::array<float, 4> sides{};
    for (Py_ssize_t i = 0; i < 4; ++i) {
        const auto side = number_of(PyTuple_GET_ITEM(object, i));
        if (!side) return std::nullopt;
        sides[static_cast<std::size_t>(i)] = *side;
    }
    return roi_method::Custom{sides[0], sides[1], sides[2], sides[3]};
}

// What the string `object` names in any case, looked up by `named`; ValueError "<what> must be a
// string" or `invalid` otherwise.
template <class Named>
auto named_in_any_case(PyObject* object, std::string_view what, Named named,
                       std::string_view invalid) {
    if (!PyUnicode_Check(object)) raise(PyExc_ValueError, std::string(what) + " must be a string");
    const ObjectRef lowered = lower_case(object);
    const auto text = name_of(lowered.get());
    const auto value = text ? named(*text) : std::nullopt;
    if (!value) raise(PyExc_ValueError, std::string(invalid));
    return *value;
}

}  // namespace

ObjectRef lower_case(PyObject* text) {
    return check(
        PyObject_CallMethod(reinterpret_cast<PyObject*>(&PyUnicode_Type), "lower", "O", text));
}

RoiMethod roi_method_from(PyObject* object) {
    if (PyUnicode_Check(object)) {
        const auto text = name_of(object);
        const auto method = text ? roi_method_named(*text) : std::nullopt;
        if (!method) raise(PyExc_ValueError, "Invalid RoiMethod string");
        return *method;
    }
    if (const auto custom = custom_roi_from(object)) return *custom;
    raise(PyExc_ValueError, "RoiMethod must be a string or tuple(l,t,r,b)");
}

FaceDetector face_detector_from(PyObject* object) {
    return named_in_any_case(object, "FaceDetector", face_detector_named,
                             "Invalid FaceDetector string");
}

PulseMethod pulse_method_from(PyObject* object) {
    return named_in_any_case(object, "PulseMethod", pulse_method_named,
                             "Invalid PulseMethod string: expected 'pos' or 'chrom'");
}

WaveformMode waveform_mode_from(PyObject* object) {
    if (PyUnicode_Check(object)) {
        const auto text = name_of(object);
        const auto mode = text ? waveform_mode_named(*text) : std::nullopt;
        if (!mode) raise(PyExc_ValueError, "Invalid WaveformMode string");
        return *mode;
    }
    if (PyTuple_Check(object) && PyTuple_GET_SIZE(object) == 2 &&
        PyUnicode_Check(PyTuple_GET_ITEM(object, 0))) {
        if (const auto seconds = number_of(PyTuple_GET_ITEM(object, 1))) {
            const auto text = name_of(PyTuple_GET_ITEM(object, 0));
            const auto mode = text ? waveform_mode_named(*text, seconds) : std::nullopt;
            if (!mode) raise(PyExc_ValueError, "Invalid WaveformMode tuple");
            return *mode;
        }
    }
    raise(PyExc_ValueError, "WaveformMode must be a string or ('Windowed', seconds)");
}

}  // namespace quorvanta::python
