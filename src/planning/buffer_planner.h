// SPDX-License-Identifier: Apache-2.0
// Sizing of the host's inference buffers and the planner that matches targets to buffers and
// schedules inference. The host keeps the buffers; the planner sees only their metadata.
#pragma once

#include <cstdint>
#include <span>

#include "types/records.h"

namespace quorvanta {

// The capacity limits of inference buffers for a model of `config.input_size` pixels per edge
// taking `config.n_inputs` frames per inference. Other fields are ignored.
BufferConfig compute_buffer_config(const SessionConfig& config);

// Immutable after construction, so every operation may run concurrently without locking.
class BufferPlanner {
public:
    explicit BufferPlanner(const BufferConfig& config) : config_(config) {}

    // KeepAlive with the id of the fresh buffer that best overlaps `target_roi` at `timestamp`,
    // or Create with the unchanged target when none overlaps enough.
    BufferAction evaluate_target(const Rect& target_roi, double timestamp,
                                 std::span<const BufferMetadata> active_buffers) const;

    // Whether a buffer of `count` frames may be run now.
    bool is_ready(std::uint32_t count, InferenceMode mode, bool has_state, bool flush) const;

    // The newest ready buffer to run, with frames to take and keep, and the buffers to drop:
    // stale ones, then those created before the chosen one.
    ExecutionPlan poll(std::span<const BufferMetadata> active_buffers, double current_time,
                       InferenceMode mode, bool has_state, bool flush) const;

private:
    BufferConfig config_;
};

}  // namespace quorvanta
