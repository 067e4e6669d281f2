// SPDX-License-Identifier: Apache-2.0
#include "analysis.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <variant>

#include "geometry/roi.h"
#include "planning/buffer_planner.h"
#include "registry/registry.h"
#include "state/assessment.h"
#include "state/session.h"
#include "state/waveforms.h"

namespace quorvanta::cli {
namespace {

constexpr float kFallbackFps = 30.0F;

bool has_signals(const Recording& recording, const std::vector<std::string>& ids) {
    return std::all_of(ids.begin(), ids.end(), [&](const std::string& id) {
        return std::any_of(recording.signals.begin(), recording.signals.end(),
                           [&](const RecordedSignal& signal) { return signal.id == id; });
    });
}

std::optional<std::uint8_t> catalogue_index(const std::string& vital) {
    const auto ids = vital_ids();
    const auto found = std::find(ids.begin(), ids.end(), vital);
    if (found == ids.end()) return std::nullopt;
    return static_cast<std::uint8_t>(found - ids.begin());
}

static_assert(kQualityReasonNames.size() <= 8, "VitalCheck::reasons holds a bit per reason");

std::optional<VitalCheck> check_of(const Assessment& assessment, const std::string& id) {
    const auto found = assessment.vitals.find(id);
    if (found == assessment.vitals.end()) return std::nullopt;
    VitalCheck check{found->second.checked_value, found->second.quality, 0};
    for (const std::string& reason : found->second.reasons) {
        const auto named =
            std::find(kQualityReasonNames.begin(), kQualityReasonNames.end(), reason);
        if (named != kQualityReasonNames.end())
            check.reasons |= static_cast<std::uint8_t>(1u << (named - kQualityReasonNames.begin()));
    }
    return check;
}

// What the analysis keeps of one result: the batch's summary, and the waveforms and face track
// merged frame by frame when asked.
class ResultKeeper {
public:
    ResultKeeper(const AnalysisOptions& options, Analysis& analysis)
        : options_(options), analysis_(analysis) {}

    void keep(const std::vector<std::size_t>& frames, const SessionResult& result,
              const Assessment& assessment) {
        analysis_.batches.push_back(summary(frames, result, assessment));
        analysis_.beats.merge(assessment.beats);
        if (options_.keep_waveforms) {
            for (const auto& [id, waveform] : result.waveforms)
                gather_waveform(id, waveform, result.timestamp);
        }
        if (options_.keep_face && result.face) gather_face(*result.face, result.timestamp);
    }

private:
    BatchSummary summary(const std::vector<std::size_t>& frames, const SessionResult& result,
                         const Assessment& assessment) {
        BatchSummary batch{frames.front(),
                           frames.back(),
                           frames.size(),
                           result.fps,
                           analysis_.texts.index_of(result.message),
                           {}};
        for (const auto& [id, vital] : result.vitals) {
            const auto index = catalogue_index(id);
            if (!index) continue;  // results name canonical ids only
            batch.vitals.push_back(
                {*index, vital.value, vital.confidence, analysis_.texts.index_of(vital.unit),
                 analysis_.texts.index_of(vital.note), check_of(assessment, id)});
        }
        std::sort(batch.vitals.begin(), batch.vitals.end(),
                  [](const BatchVital& a, const BatchVital& b) { return a.vital < b.vital; });
        return batch;
    }

    void gather_waveform(const std::string& id, const WaveformResult& waveform,
                         const std::vector<double>& timestamps) {
        GatheredWaveform& gathered = analysis_.waveforms[id];
        const std::size_t count =
            std::min({timestamps.size(), waveform.data.size(), waveform.confidence.size()});
        const std::size_t kept = gathered.frames.merge(timestamps, count, [&](std::size_t i) {
            return WaveformSample{waveform.data[i], waveform.confidence[i]};
        });
        // The frames the session holds are those gathered so far: it processes a waveform once
        // they span enough time, and returns it raw before.
        const auto spec = lookup_vital(id);
        const bool processed = spec && waveform_processed(*spec, gathered.frames.size(),
                                                          frame_rate(gathered.frames.timestamps,
                                                                     analysis_.config.fps_target));
        gathered.unprocessed =
            processed ? std::min(gathered.unprocessed, kept) : gathered.frames.size();
        gathered.unit = waveform.unit;
        gathered.note = waveform.note;
    }

    void gather_face(const FaceResult& face, const std::vector<double>& timestamps) {
        if (!analysis_.face) analysis_.face.emplace();
        const std::size_t count =
            std::min({timestamps.size(), face.coordinates.size(), face.confidence.size()});
        analysis_.face->merge(timestamps, count, [&](std::size_t i) {
            FaceSample sample{{}, face.confidence[i]};
            std::copy_n(face.coordinates[i].begin(),
                        std::min(sample.box.size(), face.coordinates[i].size()),
                        sample.box.begin());
            return sample;
        });
    }

    const AnalysisOptions& options_;
    Analysis& analysis_;
};

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
        Analysis analysis;
        analysis.config = config_;
        analysis.buffers = buffer_config_;
        analysis.mode = options_.mode;
        analysis.waveform_mode = options_.waveform_mode;
        ResultKeeper keeper(options_, analysis);
        double next_poll = recording_.timestamps.front() + options_.poll_interval;
        for (std::size_t frame = 0; frame < recording_.frames(); ++frame) {
            add_frame(frame);
            const double now = recording_.timestamps[frame];
            if (now >= next_poll) {
                poll(now, false, analysis, keeper);
                next_poll = now + options_.poll_interval;
            }
            if (progress) progress(frame + 1, recording_.frames());
        }
        // At the end of the recording the host flushes whatever its buffers still hold.
        const double end = recording_.timestamps.back();
        while (poll(end, true, analysis, keeper)) {
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
    bool poll(double now, bool flush, Analysis& analysis, ResultKeeper& keeper) {
        const bool has_state = std::any_of(buffers_.begin(), buffers_.end(),
                                           [](const HostBuffer& b) { return b.has_state; });
        const ExecutionPlan plan = planner_.poll(metadata(), now, options_.mode, has_state, flush);
        const bool ran = plan.command && run_inference(*plan.command, keeper);
        for (const std::string& id : plan.buffers_to_drop)
            drop(id, analysis);
        return ran;
    }

    bool run_inference(const InferenceCommand& command, ResultKeeper& keeper) {
        HostBuffer* buffer = find(command.buffer_id);
        if (buffer == nullptr || command.take_count == 0) return false;
        const std::size_t take = std::min<std::size_t>(command.take_count, buffer->frames.size());
        const std::size_t keep = std::min<std::size_t>(command.keep_count, take);
        const std::vector<std::size_t> frames(
            buffer->frames.begin(), buffer->frames.begin() + static_cast<std::ptrdiff_t>(take));
        buffer->frames.erase(buffer->frames.begin(),
                             buffer->frames.begin() + static_cast<std::ptrdiff_t>(take - keep));
        buffer->metadata.count = static_cast<std::uint32_t>(buffer->frames.size());
        buffer->unprocessed = buffer->frames.size() - keep;
        buffer->has_state = true;
        const SessionResult result = session_.process(batch_input(frames), options_.waveform_mode);
        keeper.keep(frames, result, session_.assess());
        return true;
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

const BatchVital* BatchSummary::find(const std::string& vital) const {
    const auto index = catalogue_index(vital);
    const auto found = std::find_if(vitals.begin(), vitals.end(),
                                    [&](const BatchVital& v) { return index == v.vital; });
    return found == vitals.end() ? nullptr : &*found;
}

std::vector<std::string> VitalCheck::reason_names() const {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < kQualityReasonNames.size(); ++i) {
        if (reasons & (1u << i)) names.emplace_back(kQualityReasonNames[i]);
    }
    return names;
}

std::string VitalCheck::reasons_text() const {
    std::string text;
    for (const std::string& name : reason_names())
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

void GatheredBeats::merge(const Beats& latest) {
    if (latest.times.empty()) return;
    // A gathered beat this close before the latest first beat is that beat, timed anew.
    constexpr double kSameBeatSeconds = 0.3;
    const auto kept = static_cast<std::ptrdiff_t>(
        std::lower_bound(times.begin(), times.end(), latest.times.front() - kSameBeatSeconds) -
        times.begin());
    times.erase(times.begin() + kept, times.end());
    status.erase(status.begin() + kept, status.end());
    times.insert(times.end(), latest.times.begin(), latest.times.end());
    status.insert(status.end(), latest.status.begin(), latest.status.end());
}

VitalResult Analysis::vital_result(const BatchVital& vital) const {
    return {vital.value, vital.confidence, texts[vital.unit], texts[vital.note]};
}

float measured_fps(const Recording& recording) {
    const auto span = time_span(recording);
    if (!span || !(span->seconds() > 0)) return kFallbackFps;
    return static_cast<float>(static_cast<double>(span->frames() - 1) / span->seconds());
}

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

std::optional<TimeSpan> time_span(const Recording& recording) {
    const auto& t = recording.timestamps;
    const auto finite = [](double value) { return std::isfinite(value); };
    const auto first = std::find_if(t.begin(), t.end(), finite);
    if (first == t.end()) return std::nullopt;
    const auto last = std::find_if(t.rbegin(), t.rend(), finite);
    return TimeSpan{static_cast<std::size_t>(first - t.begin()),
                    static_cast<std::size_t>(t.rend() - last) - 1, *first, *last};
}

}  // namespace quorvanta::cli
