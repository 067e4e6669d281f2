// SPDX-License-Identifier: Apache-2.0
#include "state/session_core.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "types/numeric.h"

namespace quorvanta {
namespace {

std::uint8_t evaluation_stage(const VitalSpec& spec) {
    return spec.methods.empty() ? 0 : spec.methods.front().stage;
}

std::string length_mismatch(std::string_view what, std::size_t found, std::size_t expected) {
    return "Length mismatch: " + std::string(what) + " has length " + std::to_string(found) +
           ", expected " + std::to_string(expected);
}

// Index of the first batch frame newer than the newest finite stored frame.
std::size_t first_new_frame(const SessionCore& core, std::span<const double> batch) {
    const std::optional<double> stored = newest_finite_timestamp(core);
    if (!stored) return 0;
    const double newest = *stored;
    const auto first = std::find_if(batch.begin(), batch.end(), [newest](double t) {
        return t > newest + kDuplicateTolerance;
    });
    return static_cast<std::size_t>(first - batch.begin());
}

// Signals that nothing reads are left out: a host that sends keys no vital reads (a typo, an
// alias, a new key each batch) would otherwise grow the session without bound.
void merge_signals(SessionCore& core, const SessionInput& input, std::size_t overlap) {
    for (const auto& [id, signal] : input.signals) {
        if (!core.read_signals.contains(id)) continue;
        core.signal_series[id].append(signal.data, overlap);
        core.confidence_series[id].append(signal.confidence, overlap);
    }
}

std::array<float, 4> stored_box(const std::vector<float>& coordinates) {
    if (coordinates.size() < 4) return {0, 0, 0, 0};
    return {coordinates[0], coordinates[1], coordinates[2], coordinates[3]};
}

void merge_face(SessionCore& core, const std::optional<FaceInput>& face, std::size_t overlap,
                std::size_t frames) {
    for (std::size_t j = overlap; j < frames; ++j) {
        core.face_boxes.push_back(face ? stored_box(face->coordinates[j]) : std::array<float, 4>{});
        core.face_confidence.push_back(face ? face->confidence[j] : 0.0f);
    }
}

std::unordered_set<std::string> signals_read(
    const std::unordered_map<std::string, VitalSpec>& vitals,
    const std::optional<std::vector<std::string>>& waveforms) {
    std::unordered_set<std::string> read{std::string(kCheckedPulseSignal)};
    for (const auto& [id, spec] : vitals) {
        for (const EstimationMethod& method : spec.methods)
            read.insert(method.signals.begin(), method.signals.end());
    }
    if (waveforms) read.insert(waveforms->begin(), waveforms->end());
    return read;
}

template <class Queue>
void drop_oldest(Queue& queue, std::size_t count) {
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(count));
}

}  // namespace

SessionCore make_session_core(SessionConfig config) {
    SessionCore core;
    for (const std::string& name : config.supported_vitals) {
        std::optional<VitalSpec> spec = lookup_vital(name);
        if (!spec) continue;
        core.vital_order.push_back(spec->id);
        core.vital_specs.insert_or_assign(spec->id, std::move(*spec));
    }
    std::stable_sort(core.vital_order.begin(), core.vital_order.end(),
                     [&core](const std::string& a, const std::string& b) {
                         return evaluation_stage(core.vital_specs.at(a)) <
                                evaluation_stage(core.vital_specs.at(b));
                     });
    core.max_frames = saturating_cast<std::uint64_t>(config.fps_target * kHistorySeconds);
    core.read_signals = signals_read(core.vital_specs, config.return_waveforms);
    core.config = std::move(config);
    return core;
}

std::optional<std::string> find_length_mismatch(const SessionInput& input) {
    const std::size_t n = input.timestamp.size();
    if (input.face) {
        if (input.face->coordinates.size() != n) {
            return length_mismatch("face.coordinates", input.face->coordinates.size(), n);
        }
        if (input.face->confidence.size() != n) {
            return length_mismatch("face.confidence", input.face->confidence.size(), n);
        }
    }
    for (const auto& [id, signal] : input.signals) {
        if (signal.data.size() != n) {
            return length_mismatch("signals[" + id + "].data", signal.data.size(), n);
        }
        if (signal.confidence.size() != n) {
            return length_mismatch("signals[" + id + "].confidence", signal.confidence.size(), n);
        }
    }
    return std::nullopt;
}

std::optional<double> newest_finite_timestamp(const SessionCore& core) {
    const auto newest = std::find_if(core.timestamps.rbegin(), core.timestamps.rend(),
                                     [](double t) { return std::isfinite(t); });
    if (newest == core.timestamps.rend()) return std::nullopt;
    return *newest;
}

std::size_t merge_batch(SessionCore& core, const SessionInput& input) {
    const std::span<const double> batch = input.timestamp;
    const std::size_t overlap = first_new_frame(core, batch);
    core.timestamps.insert(core.timestamps.end(),
                           batch.begin() + static_cast<std::ptrdiff_t>(overlap), batch.end());
    merge_signals(core, input, overlap);
    merge_face(core, input.face, overlap, batch.size());
    return overlap;
}

void prune_history(SessionCore& core) {
    if (core.timestamps.size() <= core.max_frames) return;
    // Below the history's size, the cap fits its size type.
    const auto kept = static_cast<std::size_t>(core.max_frames);
    const std::size_t excess = core.timestamps.size() - kept;
    drop_oldest(core.timestamps, excess);
    core.dropped_frames += excess;
    drop_oldest(core.face_boxes, excess);
    drop_oldest(core.face_confidence, excess);
    for (auto* series_map : {&core.signal_series, &core.confidence_series}) {
        for (auto& [id, series] : *series_map)
            series.truncate_front(kept);
    }
}

void clear_history(SessionCore& core) {
    core.timestamps.clear();
    core.face_boxes.clear();
    core.face_confidence.clear();
    core.face_note.reset();
    core.last_emitted_timestamp = -1.0;
    core.latest_values.clear();
    core.latest_global = false;
    core.dropped_frames = 0;
    core.beat_blocks.clear();
    for (auto* series_map : {&core.signal_series, &core.confidence_series}) {
        for (auto& [id, series] : *series_map)
            series.clear();
    }
}

}  // namespace quorvanta
