// SPDX-License-Identifier: Apache-2.0
#include "python/variants.h"

#include <array>
#include <optional>
#include <string_view>
#include <utility>

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

template <class Value, std::size_t N>
std::optional<Value> find_name(std::string_view text,
                               const std::array<std::pair<std::string_view, Value>, N>& names) {
    for (const auto& [name, value] : names) {
        if (name == text) return value;
    }
    return std::nullopt;
}

constexpr std::array<std::pair<std::string_view, RoiMethod>, 4> kRoiMethods{{
    {"face", roi_method::Face{}},
    {"forehead", roi_method::Forehead{}},
    {"upper_body", roi_method::UpperBody{}},
    {"upper_body_cropped", roi_method::UpperBodyCropped{}},
}};

constexpr std::array<std::pair<std::string_view, FaceDetector>, 4> kFaceDetectors{{
    {"default", FaceDetector::Default},
    {"apple_vision", FaceDetector::AppleVision},
    {"applevision", FaceDetector::AppleVision},
    {"vision", FaceDetector::AppleVision},
}};

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

}  // namespace

ObjectRef lower_case(PyObject* text) {
    return check(
        PyObject_CallMethod(reinterpret_cast<PyObject*>(&PyUnicode_Type), "lower", "O", text));
}

RoiMethod roi_method_from(PyObject* object) {
    if (PyUnicode_Check(object)) {
        const auto text = name_of(object);
        const auto method = text ? find_name(*text, kRoiMethods) : std::nullopt;
        if (!method) raise(PyExc_ValueError, "Invalid RoiMethod string");
        return *method;
    }
    if (const auto custom = custom_roi_from(object)) return *custom;
    raise(PyExc_ValueError, "RoiMethod must be a string or tuple(l,t,r,b)");
}

FaceDetector face_detector_from(PyObject* object) {
    if (!PyUnicode_Check(object)) raise(PyExc_ValueError, "FaceDetector must be a string");
    const ObjectRef lowered = lower_case(object);
    const auto text = name_of(lowered.get());
    const auto detector = text ? find_name(*text, kFaceDetectors) : std::nullopt;
    if (!detector) raise(PyExc_ValueError, "Invalid FaceDetector string");
    return *detector;
}

WaveformMode waveform_mode_from(PyObject* object) {
    if (PyUnicode_Check(object)) {
        const auto text = name_of(object);
        if (text == "Incremental") return waveform_mode::Incremental{};
        if (text == "Global") return waveform_mode::Global{};
        raise(PyExc_ValueError, "Invalid WaveformMode string");
    }
    if (PyTuple_Check(object) && PyTuple_GET_SIZE(object) == 2 &&
        PyUnicode_Check(PyTuple_GET_ITEM(object, 0))) {
        if (const auto seconds = number_of(PyTuple_GET_ITEM(object, 1))) {
            if (name_of(PyTuple_GET_ITEM(object, 0)) != "Windowed") {
                raise(PyExc_ValueError, "Invalid WaveformMode tuple");
            }
            return waveform_mode::Windowed{*seconds};
        }
    }
    raise(PyExc_ValueError, "WaveformMode must be a string or ('Windowed', seconds)");
}

}  // namespace quorvanta::python
