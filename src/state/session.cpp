// SPDX-License-Identifier: Apache-2.0
#include "state/session.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <variant>
#include <vector>

#include "state/assessment.h"
#include "state/frame_interval.h"
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

namespace detail {
namespace {

// Edits (insertions, deletions, substitutions) that turn `a` into `b`, up to `limit` + 1.
std::size_t edit_distance(std::string_view a, std::string_view b, std::size_t limit) {
    if (a.size() > b.size() + limit || b.size() > a.size() + limit) return limit + 1;
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

constexpr std::size_t kMaxTypoEdits = 2;

// The read id `key` may mean: the canonical id of an alias, else the nearest read id within two
// edits (the first in order on a tie).
std::optional<std::string> meant_signal(std::string_view key,
                                        const std::unordered_set<std::string>& read) {
    if (const auto spec = lookup_vital(key); spec && read.contains(spec->id)) return spec->id;
    std::vector<std::string> ids(read.begin(), read.end());
    std::sort(ids.begin(), ids.end());
    std::optional<std::string> nearest;
    std::size_t best = kMaxTypoEdits + 1;
    for (const std::string& id : ids) {
        if (const std::size_t edits = edit_distance(key, id, kMaxTypoEdits); edits < best) {
            best = edits;
            nearest = id;
        }
    }
    return nearest;
}

std::string unread_signal_warning(const std::string& key,
                                  const std::unordered_set<std::string>& read) {
    std::string warning = "signal '" + key +
                          "' is read by no vital, returned waveform or check of this session, "
                          "which keeps none of it";
    if (const auto meant = meant_signal(key, read)) warning += "; did you mean '" + *meant + "'?";
    return warning;
}

}  // namespace
}  // namespace detail

std::vector<std::string> Session::input_warnings(const SessionInput& input) {
    const std::lock_guard lock(warned_mutex_);
    std::vector<std::string> warnings;
    warn_of_unread_signals(input, warnings);
    warn_of_frame_interval(input, warnings);
    return warnings;
}

void Session::warn_of_unread_signals(const SessionInput& input,
                                     std::vector<std::string>& warnings) {
    std::vector<std::string> keys;
    for (const auto& [key, signal] : input.signals) {
        if (!core_.read_signals.contains(key)) keys.push_back(key);
    }
    std::sort(keys.begin(), keys.end());
    for (const std::string& key : keys) {
        if (warned_of_more_ || warned_signals_.contains(key)) continue;
        if (warned_signals_.size() == kMaxNamedUnreadSignals) {
            warnings.push_back(
                "more signals are read by nothing of this session; no more are named");
            warned_of_more_ = true;
            continue;
        }
        warned_signals_.insert(key);
        warnings.push_back(detail::unread_signal_warning(key, core_.read_signals));
    }
}

void Session::warn_of_frame_interval(const SessionInput& input,
                                     std::vector<std::string>& warnings) {
    if (warned_of_frame_interval_ || input.timestamp.empty()) return;
    std::vector<double> timestamps;
    timestamps.reserve(input.timestamp.size() + 1);
    if (last_timestamp_) timestamps.push_back(*last_timestamp_);
    timestamps.insert(timestamps.end(), input.timestamp.begin(), input.timestamp.end());
    last_timestamp_ = input.timestamp.back();
    const auto problem =
        long_frame_interval_problem(timestamps, 1.0, [](const SmallerTimeUnit& fits) {
            return "divide them by " + std::to_string(static_cast<long>(fits.per_second)) +
                   ": the session takes seconds";
        });
    if (!problem) return;
    warnings.push_back("timestamps: " + *problem);
    warned_of_frame_interval_ = true;
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
