// SPDX-License-Identifier: Apache-2.0
// The JavaScript door's entry points, registered with embind. Each converts its arguments, calls
// the core and converts the result, inside `guarded`. The loader (js/quorvanta_core.mjs) wraps
// them into the module's public API.
#include <emscripten/bind.h>
#include <malloc.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "geometry/overlap.h"
#include "geometry/roi.h"
#include "planning/buffer_planner.h"
#include "registry/registry.h"
#include "signal/beats.h"
#include "signal/hrv.h"
#include "signal/peaks.h"
#include "signal/rate.h"
#include "signal/region_motion.h"
#include "signal/skin_pulse.h"
#include "state/session.h"
#include "wasm/door.h"
#include "wasm/values.h"

namespace quorvanta {

// The frame a region is clipped to, as calculate_roi's `container` option gives it.
struct ContainerSize {
    float width = 0;
    float height = 0;
};
template <>
struct Fields<ContainerSize> : FieldList<&ContainerSize::width, &ContainerSize::height> {
    static constexpr FieldNames<2> kNames{"width", "height"};
};

}  // namespace quorvanta

namespace quorvanta::wasm {
namespace {

// What `name` names, looked up by `named`; else a RangeError: <argument>: Invalid <what> "<name>".
template <class Named>
auto named_or_refused(const std::string& name, std::string_view argument, std::string_view what,
                      Named named) {
    if (auto value = named(name)) return *std::move(value);
    throw ArgumentError(ArgumentError::Kind::Range, std::string(argument) + ": Invalid " +
                                                        std::string(what) + " \"" + name + "\"");
}

val pair(const char* first, float a, const char* second, float b) {
    val object = val::object();
    object.set(first, a);
    object.set(second, b);
    return object;
}

// A field of an options object, or `fallback` when the object or the field is absent.
template <class T>
T option(const val& options, const char* name, T fallback) {
    if (detail::is_absent(options)) return fallback;
    const val value = options[name];
    return detail::is_absent(value) ? fallback : argument<T>(value, std::string("options.") + name);
}

void require_options_object(const val& options) {
    if (!detail::is_absent(options) && options.typeOf().as<std::string>() != "object") {
        detail::refuse("options", "an object", options);
    }
}

val estimate_heart_rate(val signal, val fs) {
    return guarded([&] {
        const auto samples = argument<std::vector<float>>(signal, "signal");
        const RateEstimate estimate =
            quorvanta::estimate_heart_rate(samples, argument<float>(fs, "fs"));
        return pair("rate", estimate.rate, "confidence", estimate.confidence);
    });
}

val estimate_hrv_metric(val signal, val fs, val metric_name, val confidence, val rate_hint) {
    return guarded([&] {
        const auto samples = argument<std::vector<float>>(signal, "signal");
        const auto rate = argument<float>(fs, "fs");
        const auto name = argument<std::string>(metric_name, "metricName");
        const auto confidences = argument<std::vector<float>>(confidence, "confidence");
        const auto hint = argument<std::optional<float>>(rate_hint, "rateHint");
        const HrvMetric metric =
            named_or_refused(name, "metricName", "HRV metric",
                             [](const std::string& n) { return hrv_metric_named(n); });
        const RateBand heart = rate_band("heart_rate");
        const HrvEstimate estimate = estimate_hrv(samples, metric, {}, confidences, hint, rate,
                                                  heart.min_rate, heart.max_rate);
        return pair("value", estimate.value, "confidence", estimate.confidence);
    });
}

val find_peaks(val signal, val fs, val refine, val options) {
    return guarded([&] {
        const auto samples = argument<std::vector<float>>(signal, "signal");
        const auto rate = argument<float>(fs, "fs");
        const auto refined = argument<bool>(refine, "refine");
        require_options_object(options);
        const RateBand heart = rate_band("heart_rate");
        PeakDetectorConfig config = beat_detector(
            option<std::optional<float>>(options, "rateHint", std::nullopt), rate,
            option(options, "minRate", heart.min_rate), option(options, "maxRate", heart.max_rate));
        config.refine = refined;
        config.detection_threshold =
            option(options, "detectionThreshold", config.detection_threshold);
        config.window_cycles = option(options, "windowCycles", config.window_cycles);
        config.max_rate_change = option(options, "maxRateChange", config.max_rate_change);
        std::vector<float> positions;
        for (const auto& segment : detect_peaks(samples, config)) {
            for (const Peak& peak : segment)
                positions.push_back(peak.position);
        }
        return Js<std::vector<float>>::to(positions);
    });
}

val find_beats(val signal, val fs, val timestamps) {
    return guarded([&] {
        const auto samples = argument<std::vector<float>>(signal, "signal");
        const auto rate = argument<float>(fs, "fs");
        const auto placed = argument<std::optional<std::vector<double>>>(timestamps, "timestamps")
                                .value_or(std::vector<double>{});
        if (const auto mismatch = timestamps_mismatch(samples.size(), placed.size()))
            throw ArgumentError(ArgumentError::Kind::Range, *mismatch);
        return Js<Beats>::to(quorvanta::find_beats(samples, rate, placed));
    });
}

val extract_respiration(val reference_rows, val frame_rows) {
    return guarded([&] {
        const auto reference = argument<std::vector<float>>(reference_rows, "referenceRows");
        const auto profiles = argument<std::vector<float>>(frame_rows, "frameRows");
        if (const auto mismatch = profile_mismatch(reference.size(), profiles.size()))
            throw ArgumentError(ArgumentError::Kind::Range, *mismatch);
        return Js<SignalInput>::to(quorvanta::extract_respiration(reference, profiles));
    });
}

val extract_pulse(val red, val green, val blue, val timestamps, val method) {
    return guarded([&] {
        const auto r = argument<std::vector<float>>(red, "red");
        const auto g = argument<std::vector<float>>(green, "green");
        const auto b = argument<std::vector<float>>(blue, "blue");
        const auto times = argument<std::vector<double>>(timestamps, "timestamps");
        const PulseMethod chosen = named_or_refused(
            argument<std::optional<std::string>>(method, "method").value_or("pos"), "method",
            "PulseMethod string", [](const std::string& n) { return pulse_method_named(n); });
        if (const auto mismatch = colour_trace_mismatch(r.size(), g.size(), b.size(), times.size()))
            throw ArgumentError(ArgumentError::Kind::Range, *mismatch);
        return Js<SignalInput>::to(quorvanta::extract_pulse(r, g, b, times, chosen));
    });
}

RoiMethod roi_method_from(const val& method) {
    if (method.isString()) {
        return named_or_refused(method.as<std::string>(), "method", "RoiMethod string",
                                [](const std::string& n) { return roi_method_named(n); });
    }
    return argument<roi_method::Custom>(method, "method");
}

val calculate_roi(val face, val method, val options) {
    return guarded([&] {
        const auto box = argument<Rect>(face, "face");
        const RoiMethod roi_method = roi_method_from(method);
        require_options_object(options);
        const FaceDetector detector = named_or_refused(
            option<std::string>(options, "detector", "default"), "options.detector",
            "FaceDetector string", [](const std::string& n) { return face_detector_named(n); });
        const auto container =
            option<std::optional<ContainerSize>>(options, "container", std::nullopt);
        const bool force_even = option<bool>(options, "forceEven", false);
        const Rect roi = container ? calculate_roi(box, roi_method, detector, container->width,
                                                   container->height, force_even)
                                   : calculate_roi(box, roi_method, detector, std::nullopt,
                                                   std::nullopt, force_even);
        return Js<Rect>::to(roi);
    });
}

val get_vital_info(val vital_id) {
    return guarded([&] {
        const auto id = argument<std::string>(vital_id, "vitalId");
        return Js<std::optional<VitalDisplayMeta>>::to(quorvanta::get_vital_info(id));
    });
}

val vital_ids() {
    return guarded([&] {
        val ids = val::array();
        for (const std::string_view id : quorvanta::vital_ids())
            ids.call<void>("push", std::string(id));
        return ids;
    });
}

val compute_iou(val a, val b) {
    return guarded([&] {
        return val(quorvanta::compute_iou(argument<Rect>(a, "a"), argument<Rect>(b, "b")));
    });
}

val is_contained(val inner, val outer, val min_overlap) {
    return guarded([&] {
        return val(quorvanta::is_contained(argument<Rect>(inner, "inner"),
                                           argument<Rect>(outer, "outer"),
                                           argument<float>(min_overlap, "minOverlap")));
    });
}

val compute_buffer_config(val config) {
    return guarded([&] {
        return Js<BufferConfig>::to(
            quorvanta::compute_buffer_config(argument<SessionConfig>(config, "config")));
    });
}

WaveformMode waveform_mode_from(const val& mode) {
    if (mode.isString()) {
        return named_or_refused(mode.as<std::string>(), "mode", "WaveformMode string",
                                [](const std::string& n) { return waveform_mode_named(n); });
    }
    if (detail::is_object(mode)) {
        const val seconds = mode["windowed"];
        if (!seconds.isUndefined())
            return waveform_mode::Windowed{argument<float>(seconds, "mode.windowed")};
    }
    detail::refuse("mode", "\"Incremental\", \"Global\" or { windowed: seconds }", mode);
}

// A Session as JavaScript holds it: the native session lives behind a pointer, since it owns a
// mutex and never moves.
class SessionDoor {
public:
    static SessionDoor* create(val config) {
        return guarded([&] { return new SessionDoor(argument<SessionConfig>(config, "config")); });
    }

    val process(val input, val mode) {
        return guarded([&] {
            const auto batch = argument<SessionInput>(input, "input");
            const WaveformMode waveform_mode = waveform_mode_from(mode);
            warn_of_input(batch);
            return Js<SessionResult>::to(session_->process(batch, waveform_mode));
        });
    }

    val assess() {
        return guarded([&] { return Js<Assessment>::to(session_->assess()); });
    }

    void reset() {
        guarded([&] { session_->reset(); });
    }

private:
    explicit SessionDoor(const SessionConfig& config)
        : session_(std::make_unique<Session>(config)) {}

    // On the console, as a page's developer looks for them.
    void warn_of_input(const SessionInput& batch) {
        static const val console = val::global("console");
        for (const std::string& warning : session_->input_warnings(batch))
            console.call<void>("warn", "quorvanta_core: " + warning);
    }

    std::unique_ptr<Session> session_;
};

class PlannerDoor {
public:
    static PlannerDoor* create(val config) {
        return guarded([&] { return new PlannerDoor(argument<BufferConfig>(config, "config")); });
    }

    val evaluate_target(val target_roi, val timestamp, val active_buffers) const {
        return guarded([&] {
            return Js<BufferAction>::to(planner_.evaluate_target(
                argument<Rect>(target_roi, "targetRoi"), argument<double>(timestamp, "timestamp"),
                argument<std::vector<BufferMetadata>>(active_buffers, "activeBuffers")));
        });
    }

    val is_ready(val count, val mode, val has_state, val flush) const {
        return guarded([&] {
            return val(planner_.is_ready(
                argument<std::uint32_t>(count, "count"), argument<InferenceMode>(mode, "mode"),
                argument<bool>(has_state, "hasState"), argument<bool>(flush, "flush")));
        });
    }

    val poll(val active_buffers, val current_time, val mode, val has_state, val flush) const {
        return guarded([&] {
            return Js<ExecutionPlan>::to(planner_.poll(
                argument<std::vector<BufferMetadata>>(active_buffers, "activeBuffers"),
                argument<double>(current_time, "currentTime"),
                argument<InferenceMode>(mode, "mode"), argument<bool>(has_state, "hasState"),
                argument<bool>(flush, "flush")));
        });
    }

private:
    explicit PlannerDoor(const BufferConfig& config) : planner_(config) {}

    BufferPlanner planner_;
};

// Bytes the module's allocator holds for live objects: what leaks would grow.
double allocated_bytes() {
    return static_cast<double>(mallinfo().uordblks);
}

// The camelCase field names of every record, for the tests that compare the TypeScript
// declarations with the module.
template <Record T>
val field_names() {
    val names = val::array();
    for (std::size_t i = 0; i < Fields<T>::kFieldCount; ++i)
        names.call<void>("push", detail::js_field_name<T>(i));
    return names;
}

val record_fields() {
    val records = val::object();
    const auto add = [&]<class T>(const char* name) { records.set(name, field_names<T>()); };
    add.operator()<Rect>("Rect");
    add.operator()<FaceInput>("FaceInput");
    add.operator()<FaceResult>("FaceResult");
    add.operator()<SignalInput>("SignalInput");
    add.operator()<SessionConfig>("SessionConfig");
    add.operator()<SessionInput>("SessionInput");
    add.operator()<VitalResult>("VitalResult");
    add.operator()<WaveformResult>("WaveformResult");
    add.operator()<SessionResult>("SessionResult");
    add.operator()<VitalDisplayMeta>("VitalDisplayMeta");
    add.operator()<BufferConfig>("BufferConfig");
    add.operator()<BufferMetadata>("BufferMetadata");
    add.operator()<BufferAction>("BufferAction");
    add.operator()<InferenceCommand>("InferenceCommand");
    add.operator()<ExecutionPlan>("ExecutionPlan");
    add.operator()<VitalAssessment>("VitalAssessment");
    add.operator()<Beats>("Beats");
    add.operator()<Assessment>("Assessment");
    return records;
}

}  // namespace
}  // namespace quorvanta::wasm

EMSCRIPTEN_BINDINGS(quorvanta_core) {
    using namespace emscripten;
    using namespace quorvanta::wasm;
    function("estimateHeartRate", &estimate_heart_rate);
    function("estimateHrvMetric", &estimate_hrv_metric);
    function("findPeaks", &find_peaks);
    function("findBeats", &find_beats);
    function("extractPulse", &extract_pulse);
    function("extractRespiration", &extract_respiration);
    function("calculateRoi", &calculate_roi);
    function("getVitalInfo", &get_vital_info);
    function("vitalIds", &vital_ids);
    function("computeIou", &compute_iou);
    function("isContained", &is_contained);
    function("computeBufferConfig", &compute_buffer_config);
    function("recordFields", &record_fields);
    function("allocatedBytes", &allocated_bytes);
    class_<SessionDoor>("Session")
        .constructor(&SessionDoor::create, allow_raw_pointers())
        .function("process", &SessionDoor::process)
        .function("assess", &SessionDoor::assess)
        .function("reset", &SessionDoor::reset);
    class_<PlannerDoor>("BufferPlanner")
        .constructor(&PlannerDoor::create, allow_raw_pointers())
        .function("evaluateTarget", &PlannerDoor::evaluate_target)
        .function("isReady", &PlannerDoor::is_ready)
        .function("poll", &PlannerDoor::poll);
}
