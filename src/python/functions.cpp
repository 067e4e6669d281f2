// SPDX-License-Identifier: Apache-2.0
#include "python/functions.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "geometry/overlap.h"
#include "geometry/roi.h"
#include "planning/buffer_planner.h"
#include "python/arguments.h"
#include "python/conversions.h"
#include "python/errors.h"
#include "python/instances.h"
#include "python/recording_reader.h"
#include "python/signal_array.h"
#include "python/variants.h"
#include "registry/registry.h"
#include "signal/beats.h"
#include "signal/hrv.h"
#include "signal/peaks.h"
#include "signal/rate.h"
#include "signal/region_motion.h"
#include "signal/skin_pulse.h"
#include "types/callable_docs.h"

namespace quorvanta::python {
namespace {

ObjectRef pair_of_floats(float first, float second) {
    const ObjectRef a = Convert<float>::to(first);
    const ObjectRef b = Convert<float>::to(second);
    return check(PyTuple_Pack(2, a.get(), b.get()));
}

// A float argument that may be left out or passed as None.
std::optional<float> optional_float(std::string_view name, const ObjectRef& value) {
    if (!value) return std::nullopt;
    return argument<std::optional<float>>(name, value.get());
}

float float_or(std::string_view name, const ObjectRef& value, float fallback) {
    return value ? argument<float>(name, value.get()) : fallback;
}

const Signature kHeartRateSignature{"estimate_heart_rate", required("signal"), required("fs")};

ObjectRef heart_rate(PyObject* /*module*/, std::array<ObjectRef, 2>& values) {
    SignalArray signal("signal", values[0].get());
    const auto fs = argument<float>("fs", values[1].get());
    signal.require_contiguous();
    const RateEstimate estimate = estimate_heart_rate(signal.samples(), fs);
    return pair_of_floats(estimate.rate, estimate.confidence);
}

HrvMetric hrv_metric_from(PyObject* name) {
    const ObjectRef lowered = lower_case(name);
    const auto text = name_of(lowered.get());
    const auto metric = text ? hrv_metric_named(*text) : std::nullopt;
    if (!metric) raise(PyExc_ValueError, "Invalid HRV metric");
    return *metric;
}

const Signature kHrvSignature{"estimate_hrv_metric",  required("signal"),
                              required("fs"),         required("metric_name"),
                              required("confidence"), defaults_to_none("rate_hint")};

ObjectRef hrv_metric(PyObject* /*module*/, std::array<ObjectRef, 5>& values) {
    SignalArray signal("signal", values[0].get());
    const auto fs = argument<float>("fs", values[1].get());
    PyObject* metric_name = values[2].get();
    require_str("metric_name", metric_name);
    SignalArray confidence("confidence", values[3].get());
    const auto rate_hint = optional_float("rate_hint", values[4]);
    signal.require_contiguous();
    confidence.require_contiguous();
    const HrvMetric metric = hrv_metric_from(metric_name);
    const RateBand heart = rate_band("heart_rate");
    const HrvEstimate estimate = estimate_hrv(signal.samples(), metric, {}, confidence.samples(),
                                              rate_hint, fs, heart.min_rate, heart.max_rate);
    return pair_of_floats(estimate.value, estimate.confidence);
}

// find_peaks detects beats as the HRV metrics do, over the heart rate's band unless told otherwise.
const PeakDetectorConfig& peak_defaults() {
    static const PeakDetectorConfig preset = [] {
        const RateBand heart = rate_band("heart_rate");
        return beat_detector(std::nullopt, 0.0F, heart.min_rate, heart.max_rate);
    }();
    return preset;
}

const Signature kPeakSignature{
    "find_peaks",
    required("signal"),
    required("fs"),
    required("refine"),
    defaults_to_none("rate_hint"),
    defaults_to("min_rate", peak_defaults().min_rate),
    defaults_to("max_rate", peak_defaults().max_rate),
    defaults_to("detection_threshold", peak_defaults().detection_threshold),
    defaults_to("window_cycles", peak_defaults().window_cycles),
    defaults_to("max_rate_change", peak_defaults().max_rate_change)};

ObjectRef peak_positions(PyObject* /*module*/, std::array<ObjectRef, 9>& values) {
    SignalArray signal("signal", values[0].get());
    PeakDetectorConfig config = peak_defaults();
    config.fs = argument<float>("fs", values[1].get());
    config.refine = bool_argument("refine", values[2], false);
    config.rate_hint = optional_float("rate_hint", values[3]);
    config.min_rate = float_or("min_rate", values[4], config.min_rate);
    config.max_rate = float_or("max_rate", values[5], config.max_rate);
    config.detection_threshold =
        float_or("detection_threshold", values[6], config.detection_threshold);
    config.window_cycles = float_or("window_cycles", values[7], config.window_cycles);
    config.max_rate_change = float_or("max_rate_change", values[8], config.max_rate_change);
    signal.require_contiguous();
    std::vector<float> positions;
    for (const auto& segment : detect_peaks(signal.samples(), config)) {
        for (const Peak& peak : segment)
            positions.push_back(peak.position);
    }
    return Convert<std::vector<float>>::to(positions);
}

const Signature kBeatsSignature{"find_beats", required("signal"), required("fs"),
                                defaults_to_none("timestamps")};

ObjectRef beats(PyObject* /*module*/, std::array<ObjectRef, 3>& values) {
    SignalArray signal("signal", values[0].get());
    const auto fs = argument<float>("fs", values[1].get());
    const auto timestamps =
        values[2] ? argument<std::optional<std::vector<double>>>("timestamps", values[2].get())
                  : std::nullopt;
    signal.require_contiguous();
    const std::vector<double> placed = timestamps.value_or(std::vector<double>{});
    if (const auto mismatch = timestamps_mismatch(signal.samples().size(), placed.size()))
        raise(PyExc_ValueError, *mismatch);
    return Convert<Beats>::to(find_beats(signal.samples(), fs, placed));
}

const Signature kPulseSignature{"extract_pulse",        required("red"),
                                required("green"),      required("blue"),
                                required("timestamps"), defaults_to_text("method", "'pos'")};

ObjectRef pulse_from_colour(PyObject* /*module*/, std::array<ObjectRef, 5>& values) {
    std::array<SignalArray, 3> channels{SignalArray("red", values[0].get()),
                                        SignalArray("green", values[1].get()),
                                        SignalArray("blue", values[2].get())};
    const auto timestamps = argument<std::vector<double>>("timestamps", values[3].get());
    const PulseMethod method = values[4] ? pulse_method_from(values[4].get()) : PulseMethod::Pos;
    for (const SignalArray& channel : channels)
        channel.require_contiguous();
    const auto red = channels[0].samples();
    const auto green = channels[1].samples();
    const auto blue = channels[2].samples();
    if (const auto mismatch =
            colour_trace_mismatch(red.size(), green.size(), blue.size(), timestamps.size()))
        raise(PyExc_ValueError, *mismatch);
    return Convert<SignalInput>::to(extract_pulse(red, green, blue, timestamps, method));
}

const Signature kRespirationSignature{"extract_respiration", required("reference_rows"),
                                      required("frame_rows")};

ObjectRef respiration_from_motion(PyObject* /*module*/, std::array<ObjectRef, 2>& values) {
    SignalArray reference("reference_rows", values[0].get());
    SignalArray profiles("frame_rows", values[1].get());
    reference.require_contiguous();
    profiles.require_contiguous();
    const auto reference_rows = reference.samples();
    const auto frame_rows = profiles.samples();
    if (const auto mismatch = profile_mismatch(reference_rows.size(), frame_rows.size()))
        raise(PyExc_ValueError, *mismatch);
    return Convert<SignalInput>::to(extract_respiration(reference_rows, frame_rows));
}

// The container's (width, height), when one is given.
std::optional<std::pair<float, float>> container_size(const ObjectRef& value) {
    if (!value || value.get() == Py_None) return std::nullopt;
    PyObject* container = value.get();
    if (!PyTuple_Check(container)) {
        for_argument("container", [&] { raise_cannot_convert(container, "PyTuple"); });
    }
    if (const Py_ssize_t size = PyTuple_GET_SIZE(container); size != 2) {
        raise(PyExc_ValueError,
              "expected tuple of length 2, but got tuple of length " + std::to_string(size));
    }
    return std::pair{argument<float>("container", PyTuple_GET_ITEM(container, 0)),
                     argument<float>("container", PyTuple_GET_ITEM(container, 1))};
}

// The detector's default (Default) has no Python value of its own, hence "...".
const Signature kRoiSignature{"calculate_roi",
                              required("face"),
                              required("method"),
                              defaults_to_text("detector", "..."),
                              defaults_to_none("container"),
                              defaults_to("force_even", false)};

ObjectRef region_of_interest(PyObject* /*module*/, std::array<ObjectRef, 5>& values) {
    const auto face = argument<Rect>("face", values[0].get());
    const RoiMethod method = roi_method_from(values[1].get());
    const FaceDetector detector =
        values[2] ? face_detector_from(values[2].get()) : FaceDetector::Default;
    const auto container = container_size(values[3]);
    const bool force_even = bool_argument("force_even", values[4], false);
    const Rect roi =
        container
            ? calculate_roi(face, method, detector, container->first, container->second, force_even)
            : calculate_roi(face, method, detector, std::nullopt, std::nullopt, force_even);
    return Convert<Rect>::to(roi);
}

const Signature kBufferConfigSignature{"compute_buffer_config", required("config")};

ObjectRef buffer_config(PyObject* /*module*/, std::array<ObjectRef, 1>& values) {
    return new_instance(compute_buffer_config(argument<SessionConfig>("config", values[0].get())));
}

const Signature kIouSignature{"compute_iou", required("a"), required("b")};

ObjectRef iou(PyObject* /*module*/, std::array<ObjectRef, 2>& values) {
    const auto a = argument<Rect>("a", values[0].get());
    const auto b = argument<Rect>("b", values[1].get());
    return Convert<float>::to(compute_iou(a, b));
}

const Signature kContainedSignature{"is_contained", required("inner"), required("outer"),
                                    required("min_overlap_pct")};

ObjectRef contained(PyObject* /*module*/, std::array<ObjectRef, 3>& values) {
    const auto inner = argument<Rect>("inner", values[0].get());
    const auto outer = argument<Rect>("outer", values[1].get());
    const auto min_overlap = argument<float>("min_overlap_pct", values[2].get());
    return ObjectRef::borrow(is_contained(inner, outer, min_overlap) ? Py_True : Py_False);
}

const Signature kVitalInfoSignature{"get_vital_info", required("vital_id")};

ObjectRef vital_info(PyObject* /*module*/, std::array<ObjectRef, 1>& values) {
    PyObject* vital_id = values[0].get();
    require_str("vital_id", vital_id);
    const auto name = name_of(vital_id);
    return Convert<std::optional<VitalDisplayMeta>>::to(name ? get_vital_info(*name)
                                                             : std::nullopt);
}

const Signature kReadRecordingSignature{"read_recording",
                                        required("source"),
                                        defaults_to_none("fs"),
                                        defaults_to_none("columns"),
                                        defaults_to_text("time_unit", "'s'"),
                                        defaults_to_text("batch_frames", "30"),
                                        defaults_to_none("resample")};

}  // namespace

PyMethodDef kModuleFunctions[] = {
    method<kHeartRateSignature, &heart_rate>(docs::kEstimateHeartRate),
    method<kHrvSignature, &hrv_metric>(docs::kEstimateHrvMetric),
    method<kPeakSignature, &peak_positions>(docs::kFindPeaks),
    method<kRoiSignature, &region_of_interest>(docs::kCalculateRoi),
    method<kVitalInfoSignature, &vital_info>(docs::kGetVitalInfo),
    method<kBeatsSignature, &beats>(docs::kFindBeats),
    method<kPulseSignature, &pulse_from_colour>(docs::kExtractPulse),
    method<kRespirationSignature, &respiration_from_motion>(docs::kExtractRespiration),
    method<kReadRecordingSignature, &read_recording_call>(docs::kReadRecording),
    method<kBufferConfigSignature, &buffer_config>(docs::kComputeBufferConfig),
    method<kIouSignature, &iou>(docs::kComputeIou),
    method<kContainedSignature, &contained>(docs::kIsContained),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace quorvanta::python
