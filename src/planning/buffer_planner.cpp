// SPDX-License-Identifier: Apache-2.0
// Buffer sizing and planning.
//
// compute_buffer_config, with s and n the low 32 bits of input_size and n_inputs:
//   F = floor(4320108.002700068 / (3 s s)) saturated to u32, so s = 0 gives 4294967295
//   min_no_state = max(n, 16), min_with_state = n, stream_max = min(F, 150), file_max = F,
//   overlap = n - 1, or 0 when n = 0
//
// A buffer is stale at T when T - last_seen > 5 s (a NaN difference is not stale). A buffer of
// `count` frames is ready when count reaches min_with_state (with carried state) or min_no_state,
// and then the host flushes, the mode is Stream, or count >= file_max.
//
// evaluate_target: the fresh buffer of highest IoU with the target, the earlier one on ties, is
//   kept alive when that IoU >= 0.6; otherwise, and when no buffer is fresh, Create the target.
// poll: drop the stale buffers; run the newest-created ready buffer that is not dropped, the
//   earlier one on ties, a NaN creation time counting as the oldest; drop every buffer created
//   strictly before it. take = min(count, file_max when flushing or in File mode, else
//   stream_max), keep = min(take, overlap). No ready buffer gives no command with only the stale
//   buffers dropped; an empty list gives an empty plan.
#include "planning/buffer_planner.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "geometry/overlap.h"
#include "types/numeric.h"

namespace quorvanta {
namespace {

constexpr double kFrameBudget = 4320108.002700068;  // frames x 3 x s x s stay within this
constexpr std::uint32_t kMinFramesWithoutState = 16;
constexpr std::uint32_t kStreamFrameCap = 150;
constexpr double kStaleTimeout = 5.0;  // seconds
constexpr float kIouThreshold = 0.6f;

// floor(kFrameBudget / (3 s s)), saturated to u32.
std::uint32_t frames_per_inference(std::uint32_t s) {
    // 3 s s in f64, not modulo 2^32: correctly rounded, so every s above 1200 gives 0 frames.
    const double s_wide = s;
    return saturating_cast<std::uint32_t>(std::floor(kFrameBudget / (3.0 * s_wide * s_wide)));
}

bool is_stale(const BufferMetadata& buffer, double now) {
    return now - buffer.last_seen > kStaleTimeout;
}

bool is_listed(const std::vector<std::string>& ids, const std::string& id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Newest first. NaN counts as older than every time, which keeps this a strict weak ordering.
bool created_later(const BufferMetadata* a, const BufferMetadata* b) {
    return (std::isnan(b->created_at) && !std::isnan(a->created_at)) ||
           a->created_at > b->created_at;
}

}  // namespace

BufferConfig compute_buffer_config(const SessionConfig& config) {
    const auto s = static_cast<std::uint32_t>(config.input_size);
    const auto n = static_cast<std::uint32_t>(config.n_inputs);
    const std::uint32_t frames = frames_per_inference(s);
    return BufferConfig{
        .min_no_state = std::max(n, kMinFramesWithoutState),
        .min_with_state = n,
        .stream_max = std::min(frames, kStreamFrameCap),
        .file_max = frames,
        .overlap = n == 0 ? 0 : n - 1,
    };
}

BufferAction BufferPlanner::evaluate_target(const Rect& target_roi, double timestamp,
                                            std::span<const BufferMetadata> active_buffers) const {
    const BufferMetadata* best = nullptr;
    float best_iou = -1.0f;
    for (const BufferMetadata& buffer : active_buffers) {
        if (is_stale(buffer, timestamp)) continue;
        const float iou = compute_iou(target_roi, buffer.roi);
        if (iou > best_iou) {
            best = &buffer;
            best_iou = iou;
        }
    }
    if (best != nullptr && best_iou >= kIouThreshold)
        return BufferAction{BufferActionType::KeepAlive, best->id, std::nullopt};
    return BufferAction{BufferActionType::Create, std::nullopt, target_roi};
}

bool BufferPlanner::is_ready(std::uint32_t count, InferenceMode mode, bool has_state,
                             bool flush) const {
    const std::uint32_t minimum = has_state ? config_.min_with_state : config_.min_no_state;
    if (count < minimum) return false;
    return flush || mode == InferenceMode::Stream || count >= config_.file_max;
}

ExecutionPlan BufferPlanner::poll(std::span<const BufferMetadata> active_buffers,
                                  double current_time, InferenceMode mode, bool has_state,
                                  bool flush) const {
    ExecutionPlan plan;
    auto& drop = plan.buffers_to_drop;
    for (const BufferMetadata& buffer : active_buffers)
        if (is_stale(buffer, current_time)) drop.push_back(buffer.id);

    std::vector<const BufferMetadata*> candidates;
    for (const BufferMetadata& buffer : active_buffers)
        if (!is_listed(drop, buffer.id) && is_ready(buffer.count, mode, has_state, flush))
            candidates.push_back(&buffer);
    if (candidates.empty()) return plan;
    std::stable_sort(candidates.begin(), candidates.end(), created_later);
    const BufferMetadata& chosen = *candidates.front();

    // A NaN comparison is false: a NaN buffer is never superseded, a NaN choice supersedes none.
    for (const BufferMetadata& buffer : active_buffers)
        if (buffer.created_at < chosen.created_at && !is_listed(drop, buffer.id))
            drop.push_back(buffer.id);

    const std::uint32_t most =
        flush || mode == InferenceMode::File ? config_.file_max : config_.stream_max;
    const std::uint32_t take = std::min(chosen.count, most);
    plan.command = InferenceCommand{chosen.id, take, std::min(take, config_.overlap)};
    return plan;
}

}  // namespace quorvanta
