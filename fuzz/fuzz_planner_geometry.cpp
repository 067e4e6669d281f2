// SPDX-License-Identifier: Apache-2.0
// The buffer planner, the buffer configuration and the rectangle functions with arbitrary numbers:
// a few operations per input, on a planner whose configuration is typical or arbitrary.
//
// Besides "no crash and no undefined behaviour", each operation is checked for the promises that
// hold for every input (ids may repeat, so a buffer sharing its id with a dropped one may still
// run): a planner only ever names buffers it was given, drops no more buffers than it was given
// and runs a ready buffer that holds the frames it takes; compute_iou is never negative or NaN and
// is symmetric for finite rectangles; a clipped ROI has no negative or NaN extent, and an even ROI
// has whole, even extents.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "geometry/overlap.h"
#include "geometry/roi.h"
#include "hostile_values.h"
#include "planning/buffer_planner.h"

namespace {

using namespace quorvanta;
using fuzz::hostile;
using fuzz::require;

constexpr int kMaxOperations = 16;
constexpr std::size_t kMaxBuffers = 16;
constexpr const char* kBufferIds[] = {"a", "b", "c", "d"};  // few, so that ids repeat
constexpr Rect kTypicalRect{100.0f, 100.0f, 200.0f, 200.0f};
constexpr RoiMethod kPresetRoiMethods[] = {roi_method::Face{}, roi_method::Forehead{},
                                           roi_method::UpperBody{}, roi_method::UpperBodyCropped{}};

template <class T>
bool bitwise_equal(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

bool finite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
           std::isfinite(r.height);
}

// Both corners finite, which needs every number finite as well.
bool finite_corners(const Rect& r) {
    return std::isfinite(r.x + r.width) && std::isfinite(r.y + r.height);
}

bool has_id(const std::vector<BufferMetadata>& list, const std::string& id) {
    return std::ranges::find(list, id, &BufferMetadata::id) != list.end();
}

class Operations {
public:
    explicit Operations(FuzzedDataProvider& data) : data_(data), planner_(buffer_config()) {}

    void run() {
        static constexpr void (Operations::*kOperations[])() = {&Operations::evaluate_target,
                                                                &Operations::is_ready,
                                                                &Operations::poll,
                                                                &Operations::buffer_configuration,
                                                                &Operations::iou,
                                                                &Operations::containment,
                                                                &Operations::roi};
        for (int i = 0; i < kMaxOperations && data_.remaining_bytes() > 0; ++i)
            (this->*data_.PickValueInArray(kOperations))();
    }

private:
    BufferConfig buffer_config() {
        BufferConfig config{16, 4, 150, 900, 3};
        if (data_.ConsumeBool()) {
            for (std::uint32_t* field : {&config.min_no_state, &config.min_with_state,
                                         &config.stream_max, &config.file_max, &config.overlap})
                *field = fuzz::hostile_integer(data_, *field);
        }
        return config;
    }

    Rect rect(const Rect& typical) {
        return {hostile(data_, typical.x), hostile(data_, typical.y), hostile(data_, typical.width),
                hostile(data_, typical.height)};
    }

    InferenceMode inference_mode() {
        return data_.ConsumeBool() ? InferenceMode::File : InferenceMode::Stream;
    }

    std::vector<BufferMetadata> buffers() {
        std::vector<BufferMetadata> list(fuzz::hostile_count(data_, 3, kMaxBuffers));
        double created = 10.0;
        for (BufferMetadata& buffer : list) {
            buffer.id = data_.ConsumeIntegralInRange(0, 7) == 7
                            ? fuzz::hostile_text(data_)
                            : data_.PickValueInArray(kBufferIds);
            buffer.roi = rect(kTypicalRect);
            buffer.count = fuzz::hostile_integer<std::uint32_t>(data_, 40);
            buffer.created_at = hostile(data_, created += 1.0);
            buffer.last_seen = hostile(data_, created + 0.5);
        }
        return list;
    }

    void evaluate_target() {
        const Rect target = rect({110.0f, 105.0f, 190.0f, 200.0f});
        const double timestamp = hostile(data_, 14.0);
        const std::vector<BufferMetadata> list = buffers();
        const BufferAction action = planner_.evaluate_target(target, timestamp, list);
        const bool keeps_given = action.action == BufferActionType::KeepAlive &&
                                 action.matched_id && has_id(list, *action.matched_id) &&
                                 !action.roi;
        const bool creates_target = action.action == BufferActionType::Create &&
                                    !action.matched_id && action.roi &&
                                    bitwise_equal(*action.roi, target);
        require(keeps_given || creates_target,
                "evaluate_target keeps a given buffer alive or creates one for the target as is");
    }

    void is_ready() {
        planner_.is_ready(fuzz::hostile_integer<std::uint32_t>(data_, 40), inference_mode(),
                          data_.ConsumeBool(), data_.ConsumeBool());
    }

    void poll() {
        const std::vector<BufferMetadata> list = buffers();
        const double now = hostile(data_, 14.0);
        const InferenceMode mode = inference_mode();
        const bool has_state = data_.ConsumeBool();
        const bool flush = data_.ConsumeBool();
        const ExecutionPlan plan = planner_.poll(list, now, mode, has_state, flush);
        require(plan.buffers_to_drop.size() <= list.size() &&
                    std::ranges::all_of(plan.buffers_to_drop,
                                        [&](const std::string& id) { return has_id(list, id); }),
                "poll drops only given buffers, each at most once");
        if (!plan.command) return;
        const InferenceCommand& command = *plan.command;
        const auto runnable = [&](const BufferMetadata& buffer) {
            return buffer.id == command.buffer_id && buffer.count >= command.take_count &&
                   planner_.is_ready(buffer.count, mode, has_state, flush);
        };
        require(command.keep_count <= command.take_count && std::ranges::any_of(list, runnable),
                "poll runs a ready buffer that holds the frames it takes and keeps no more");
    }

    void buffer_configuration() {
        SessionConfig session;
        session.input_size = fuzz::hostile_integer<std::uint64_t>(data_, 40);
        session.n_inputs = fuzz::hostile_integer<std::uint64_t>(data_, 4);
        const BufferConfig config = compute_buffer_config(session);
        require(config.stream_max <= 150 && config.stream_max <= config.file_max &&
                    config.min_no_state >= 16,
                "buffer limits stay ordered");
    }

    void iou() {
        const Rect a = rect(kTypicalRect);
        const Rect b = rect({120.0f, 90.0f, 200.0f, 210.0f});
        const float value = compute_iou(a, b);
        require(value >= 0.0f, "IoU is neither negative nor NaN");
        require(!finite(a) || !finite(b) || bitwise_equal(value, compute_iou(b, a)),
                "IoU is symmetric");
    }

    void containment() {
        const Rect inner = rect({120.0f, 120.0f, 100.0f, 100.0f});
        const Rect outer = rect(kTypicalRect);
        const float fraction = hostile(data_, 0.8f);
        const bool contained = is_contained(inner, outer, fraction);
        require(contained || fraction != 0.0f || !finite_corners(inner) || !finite_corners(outer),
                "every finite rectangle is contained at fraction 0");
    }

    RoiMethod roi_method() {
        const auto kind =
            data_.ConsumeIntegralInRange<std::size_t>(0, std::size(kPresetRoiMethods));
        if (kind < std::size(kPresetRoiMethods)) return kPresetRoiMethods[kind];
        return roi_method::Custom{hostile(data_, 0.1f), hostile(data_, 0.2f), hostile(data_, 0.1f),
                                  hostile(data_, 0.3f)};
    }

    std::optional<float> container_extent(float typical) {
        if (data_.ConsumeIntegralInRange(0, 3) == 3) return std::nullopt;
        return hostile(data_, typical);
    }

    void roi() {
        const Rect face = rect(kTypicalRect);
        const RoiMethod method = roi_method();
        const FaceDetector detector =
            data_.ConsumeBool() ? FaceDetector::AppleVision : FaceDetector::Default;
        const std::optional<float> width = container_extent(640.0f);
        const std::optional<float> height = container_extent(480.0f);
        const bool force_even = data_.ConsumeBool();
        const Rect result = calculate_roi(face, method, detector, width, height, force_even);
        require(!width || !height || (result.width >= 0.0f && result.height >= 0.0f),
                "a clipped ROI has no negative or NaN extent");
        require(!force_even || (std::fmod(result.width, 2.0f) == 0.0f &&
                                std::fmod(result.height, 2.0f) == 0.0f),
                "an even ROI has whole, even extents");
    }

    FuzzedDataProvider& data_;
    const BufferPlanner planner_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    Operations(provider).run();
    return 0;
}
