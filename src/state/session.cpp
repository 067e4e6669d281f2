// SPDX-License-Identifier: Apache-2.0
#include "state/session.h"

#include <algorithm>
#include <stdexcept>
#include <variant>

#include "state/assessment.h"
#include "state/vitals.h"
#include "state/waveforms.h"
#include "types/numeric.h"

namespace quorvanta {
namespace {

#ifdef QUORVANTA_FAULT_INJECTION
// Test builds only: a session of this model faults inside process, to exercise poisoning.
constexpr std::string_view kFaultInjectionModel = "quorvanta-test-fault";
#endif

void inject_fault_for_tests([[maybe_unused]] const SessionCore& core) {
#ifdef QUORVANTA_FAULT_INJECTION
    if (core.config.model_name == kFaultInjectionModel) throw std::runtime_error("injected fault");
#endif
}

SessionResult rejected_batch(const SessionCore& core, std::string complaint) {
    SessionResult result;
    result.fps = core.config.fps_target;
    result.message = std::move(complaint);
    return result;
}

// Index of the first stored frame to return.
std::size_t first_returned_frame(const SessionCore& core, const WaveformMode& mode) {
    const std::size_t stored = core.timestamps.size();
    if (std::holds_alternative<waveform_mode::Global>(mode)) return 0;
    if (const auto* windowed = std::get_if<waveform_mode::Windowed>(&mode)) {
        const auto count =
            saturating_cast<std::uint64_t>(windowed->seconds * core.config.fps_target);
        return count > stored ? 0 : stored - static_cast<std::size_t>(count);
    }
    const double emitted = core.last_emitted_timestamp;
    const auto first = std::find_if(core.timestamps.begin(), core.timestamps.end(),
                                    [emitted](double t) { return t > emitted; });
    return static_cast<std::size_t>(first - core.timestamps.begin());
}

template <class Queue>
auto tail_from(const Queue& queue, std::size_t start) {
    using Value = typename Queue::value_type;
    return std::vector<Value>(queue.begin() + static_cast<std::ptrdiff_t>(start), queue.end());
}

std::optional<FaceResult> face_track(const SessionCore& core, std::size_t start) {
    if (core.face_boxes.empty()) return std::nullopt;
    FaceResult face;
    face.coordinates.reserve(core.face_boxes.size() - start);
    for (std::size_t i = start; i < core.face_boxes.size(); ++i) {
        face.coordinates.emplace_back(core.face_boxes[i].begin(), core.face_boxes[i].end());
    }
    face.confidence = tail_from(core.face_confidence, start);
    face.note = core.face_note;
    return face;
}

SessionResult process_batch(SessionCore& core, const SessionInput& input,
                            const WaveformMode& mode) {
    if (auto complaint = find_length_mismatch(input)) return rejected_batch(core, *complaint);
    inject_fault_for_tests(core);
    const bool global = std::holds_alternative<waveform_mode::Global>(mode);
    merge_batch(core, input);
    if (!global) prune_history(core);
    const VitalEstimates estimates = estimate_vitals(core, global);
    core.latest_values.clear();
    for (const auto& [id, estimate] : estimates)
        core.latest_values.emplace(id, estimate.value);
    core.latest_global = global;

    const std::size_t start = first_returned_frame(core, mode);
    if (const auto newest = newest_finite_timestamp(core)) core.last_emitted_timestamp = *newest;

    SessionResult result;
    result.timestamp = tail_from(core.timestamps, start);
    result.fps = frame_rate(result.timestamp, core.config.fps_target);
    result.waveforms = build_waveforms(core, start, global);
    result.vitals = assemble_vitals(estimates, core, global);
    result.face = face_track(core, start);
    result.message = kAdvisoryMessage;
    return result;
}

}  // namespace

Session::Session(SessionConfig config) : core_(make_session_core(std::move(config))) {}

template <class Body>
auto Session::locked(Body&& body) {
    const std::lock_guard lock(mutex_);
    if (poisoned_) throw std::runtime_error("Failed to lock Session core: PoisonError { .. }");
    try {
        return body(core_);
    } catch (...) {
        poisoned_ = true;
        throw;
    }
}

SessionResult Session::process(const SessionInput& input, const WaveformMode& mode) {
    return locked([&](SessionCore& core) { return process_batch(core, input, mode); });
}

Assessment Session::assess() {
    return locked([](SessionCore& core) { return assess_history(core); });
}

void Session::reset() {
    locked([](SessionCore& core) { clear_history(core); });
}

std::optional<WaveformMode> waveform_mode_named(std::string_view name, std::optional<float> seconds,
                                                const WaveformModeNames& names) {
    if (seconds) {
        if (name == names.windowed) return waveform_mode::Windowed{*seconds};
        return std::nullopt;
    }
    if (name == names.incremental) return waveform_mode::Incremental{};
    if (name == names.global) return waveform_mode::Global{};
    return std::nullopt;
}

}  // namespace quorvanta
