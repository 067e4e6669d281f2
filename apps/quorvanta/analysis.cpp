// SPDX-License-Identifier: Apache-2.0
#include "analysis.h"

#include <algorithm>
#include <deque>
#include <span>

#include "geometry/roi.h"
#include "registry/registry.h"
#include "state/frames.h"
#include "state/session.h"

namespace quorvanta::cli {
namespace {

// Frames per second measured over the whole recording, or 30 when it cannot be measured.
float measured_fps(const Recording& recording) {
    const auto& t = recording.timestamps;
    const double span = t.empty() ? 0.0 : t.back() - t.front();
    if (t.size() < 2 || !(span > 0)) return 30.0F;
    return static_cast<float>(static_cast<double>(t.size() - 1) / span);
}

bool has_signals(const Recording& recording, const std::vector<std::string>& ids) {
    return std::all_of(ids.begin(), ids.end(), [&](const std::string& id) {
        return std::any_of(recording.signals.begin(), recording.signals.end(),
                           [&](const RecordedSignal& signal) { return signal.id == id; });
    });
}

// A buffer of the host: the recording frames it holds and what the planner knows of it.
struct HostBuffer {
    BufferMetadata metadata;
    std::deque<std::size_t> frames;
    std::size_t unprocessed = 0;  // frames added since the model last ran on the buffer
    bool has_state = false;       // the model has run on this buffer and carries its state
};

class Host {
public:
    Host(const Recording& recording, const AnalysisOptions& options)
        : recording_(recording),
          options_(options),
          config_(session_config_for(recording, options)),
          session_(config_),
          buffer_config_(compute_buffer_config(config_)),
          planner_(buffer_config_) {}

    Analysis run(const Progress& progress) {
        Analysis analysis{config_, buffer_config_, options_.mode, options_.waveform_mode, {}, 0};
        double next_poll = recording_.timestamps.front() + options_.poll_interval;
        for (std::size_t frame = 0; frame < recording_.frames(); ++frame) {
            add_frame(frame);
            const double now = recording_.timestamps[frame];
            if (now >= next_poll) {
                poll(now, false, analysis);
                next_poll = now + options_.poll_interval;
            }
            if (progress) progress(frame + 1, recording_.frames());
        }
        // At the end of the recording the host flushes whatever its buffers still hold.
        const double end = recording_.timestamps.back();
        while (poll(end, true, analysis)) {
        }
        return analysis;
    }

private:
    Rect target_region(std::size_t frame) const {
        if (!recording_.face) return Rect{0, 0, 1, 1};  // no face track: one fixed region
        const auto& box = recording_.face->boxes[frame];
        return calculate_roi(Rect{box[0], box[1], box[2], box[3]}, roi_method::Face{},
                             FaceDetector::Default, std::nullopt, std::nullopt, false);
    }

    std::vector<BufferMetadata> metadata() const {
        std::vector<BufferMetadata> all;
        for (const HostBuffer& buffer : buffers_)
            all.push_back(buffer.metadata);
        return all;
    }

    void add_frame(std::size_t frame) {
        const double now = recording_.timestamps[frame];
        const Rect region = target_region(frame);
        const BufferAction action = planner_.evaluate_target(region, now, metadata());
        HostBuffer* buffer = nullptr;
        if (action.action == BufferActionType::KeepAlive && action.matched_id) {
            buffer = find(*action.matched_id);
        }
        if (buffer == nullptr) {
            buffers_.push_back(
                {BufferMetadata{"buffer-" + std::to_string(++created_), region, 0, now, now},
                 {},
                 0,
                 false});
            buffer = &buffers_.back();
        }
        buffer->frames.push_back(frame);
        ++buffer->unprocessed;
        buffer->metadata.count = static_cast<std::uint32_t>(buffer->frames.size());
        buffer->metadata.last_seen = now;
    }

    HostBuffer* find(const std::string& id) {
        const auto found = std::find_if(buffers_.begin(), buffers_.end(),
                                        [&](const HostBuffer& b) { return b.metadata.id == id; });
        return found == buffers_.end() ? nullptr : &*found;
    }

    // Polls the planner and runs the inference it commands; false when it commands none.
    bool poll(double now, bool flush, Analysis& analysis) {
        const bool has_state = std::any_of(buffers_.begin(), buffers_.end(),
                                           [](const HostBuffer& b) { return b.has_state; });
        const ExecutionPlan plan = planner_.poll(metadata(), now, options_.mode, has_state, flush);
        std::optional<Batch> batch;
        if (plan.command) batch = run_inference(*plan.command);
        for (const std::string& id : plan.buffers_to_drop)
            drop(id, analysis);
        if (!batch) return false;
        analysis.batches.push_back(std::move(*batch));
        return true;
    }

    std::optional<Batch> run_inference(const InferenceCommand& command) {
        HostBuffer* buffer = find(command.buffer_id);
        if (buffer == nullptr || command.take_count == 0) return std::nullopt;
        const std::size_t take = std::min<std::size_t>(command.take_count, buffer->frames.size());
        const std::size_t keep = std::min<std::size_t>(command.keep_count, take);
        Batch batch;
        batch.frames.assign(buffer->frames.begin(),
                            buffer->frames.begin() + static_cast<std::ptrdiff_t>(take));
        buffer->frames.erase(buffer->frames.begin(),
                             buffer->frames.begin() + static_cast<std::ptrdiff_t>(take - keep));
        buffer->metadata.count = static_cast<std::uint32_t>(buffer->frames.size());
        buffer->unprocessed = buffer->frames.size() - keep;
        buffer->has_state = true;
        batch.result = session_.process(batch_input(batch.frames), options_.waveform_mode);
        return batch;
    }

    void drop(const std::string& id, Analysis& analysis) {
        const auto found = std::find_if(buffers_.begin(), buffers_.end(),
                                        [&](const HostBuffer& b) { return b.metadata.id == id; });
        if (found == buffers_.end()) return;
        analysis.dropped_frames += found->unprocessed;
        buffers_.erase(found);
    }

    // The model's outputs for the given frames, as the session takes them.
    SessionInput batch_input(const std::vector<std::size_t>& frames) const {
        SessionInput input;
        for (const std::size_t frame : frames)
            input.timestamp.push_back(recording_.timestamps[frame]);
        for (const RecordedSignal& signal : recording_.signals) {
            SignalInput values;
            for (const std::size_t frame : frames) {
                values.data.push_back(signal.data[frame]);
                values.confidence.push_back(signal.confidence[frame]);
            }
            input.signals.emplace(signal.id, std::move(values));
        }
        if (recording_.face) {
            FaceInput face;
            for (const std::size_t frame : frames) {
                const auto& box = recording_.face->boxes[frame];
                face.coordinates.emplace_back(box.begin(), box.end());
                face.confidence.push_back(recording_.face->confidence[frame]);
            }
            input.face = std::move(face);
        }
        return input;
    }

    const Recording& recording_;
    const AnalysisOptions& options_;
    SessionConfig config_;
    Session session_;
    BufferConfig buffer_config_;
    BufferPlanner planner_;
    std::deque<HostBuffer> buffers_;
    std::size_t created_ = 0;
};

}  // namespace

SessionConfig session_config_for(const Recording& recording, const AnalysisOptions& options) {
    SessionConfig config;
    config.model_name = "quorvanta-cli";
    config.fps_target = options.fps.value_or(measured_fps(recording));
    config.input_size = options.input_size;
    config.n_inputs = options.n_inputs;
    config.roi_method = "face";
    std::vector<std::string> waveforms;
    for (const std::string_view id : vital_ids()) {
        const auto spec = lookup_vital(id);
        const bool recorded = has_signals(recording, {std::string(id)});
        const bool derivable = std::any_of(
            spec->methods.begin(), spec->methods.end(),
            [&](const EstimationMethod& method) { return has_signals(recording, method.signals); });
        if (recorded || derivable) config.supported_vitals.emplace_back(id);
        if (recorded && !spec->scalar_only && spec->methods.empty()) waveforms.emplace_back(id);
    }
    config.return_waveforms = std::move(waveforms);
    return config;
}

Analysis analyze(const Recording& recording, const AnalysisOptions& options,
                 const Progress& progress) {
    Host host(recording, options);
    return host.run(progress);
}

}  // namespace quorvanta::cli
