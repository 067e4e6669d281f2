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
#include "state/frames.h"

namespace {

using namespace quorvanta;
using fuzz::hostile;
using fuzz::require;

constexpr int kMaxOperations = 16;
constexpr std::size_t kMaxBuffers = 16;
constexpr const char* kBufferIds[] = {"a", "b", "c", "d"};  // few, so that ids repeat

bool bitwise_equal(const Rect& a, const Rect& b) {
    return std::memcmp(&a, &b, sizeof(Rect)) == 0;
}

bool finite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
           std::isfinite(r.height);
}

class Operations {
public:
    explicit Operations(FuzzedDataProvider& data) : data_(data), planner_(buffer_config()) {}

    void run() {
        for (int i = 0; i < kMaxOperations && data_.remaining_bytes() > 0; ++i) {
            switch (data_.ConsumeIntegralInRange(0, 6)) {
                case 0:
                    evaluate_target();
                    break;
                case 1:
                    is_ready();
                    break;
                case 2:
                    poll();
                    break;
                case 3:
                    buffer_configuration();
                    break;
                case 4:
                    iou();
                    break;
                case 5:
                    containment();
                    break;
                default:
                    roi();
                    break;
            }
        }
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
            buffer.roi = rect({100.0f, 100.0f, 200.0f, 200.0f});
            buffer.count = fuzz::hostile_integer<std::uint32_t>(data_, 40);
            buffer.created_at = hostile(data_, created += 1.0);
            buffer.last_seen = hostile(data_, created + 0.5);
        }
        return list;
    }

    static bool has_id(const std::vector<BufferMetadata>& list, const std::string& id) {
        return std::any_of(list.begin(), list.end(),
                           [&id](const BufferMetadata& buffer) { return buffer.id == id; });
    }

    void evaluate_target() {
        const Rect target = rect({110.0f, 105.0f, 190.0f, 200.0f});
        const double timestamp = hostile(data_, 14.0);
        const std::vector<BufferMetadata> list = buffers();
        const BufferAction action = planner_.evaluate_target(target, timestamp, list);
        if (action.action == BufferActionType::KeepAlive) {
            require(action.matched_id && has_id(list, *action.matched_id) && !action.roi,
                    "KeepAlive names one of the given buffers");
        } else {
            require(action.action == BufferActionType::Create, "evaluate_target never ignores");
            require(!action.matched_id && action.roi && bitwise_equal(*action.roi, target),
                    "Create carries the target unchanged");
        }
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
        const auto& drops = plan.buffers_to_drop;
        require(drops.size() <= list.size(), "poll drops each buffer at most once");
        for (const std::string& id : drops)
            require(has_id(list, id), "poll drops only given buffers");
        if (!plan.command) return;
        const InferenceCommand& command = *plan.command;
        require(command.keep_count <= command.take_count, "poll keeps no more than it takes");
        const bool chosen_holds_enough =
            std::any_of(list.begin(), list.end(), [&](const BufferMetadata& buffer) {
                return buffer.id == command.buffer_id && buffer.count >= command.take_count &&
                       planner_.is_ready(buffer.count, mode, has_state, flush);
            });
        require(chosen_holds_enough, "poll runs a ready buffer that holds the frames it takes");
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
        const Rect a = rect({100.0f, 100.0f, 200.0f, 200.0f});
        const Rect b = rect({120.0f, 90.0f, 200.0f, 210.0f});
        const float value = compute_iou(a, b);
        require(value >= 0.0f, "IoU is neither negative nor NaN");
        if (finite(a) && finite(b)) {
            const float swapped = compute_iou(b, a);
            require(std::memcmp(&value, &swapped, sizeof value) == 0, "IoU is symmetric");
        }
    }

    void containment() {
        const Rect inner = rect({120.0f, 120.0f, 100.0f, 100.0f});
        const Rect outer = rect({100.0f, 100.0f, 200.0f, 200.0f});
        const float fraction = hostile(data_, 0.8f);
        const bool contained = is_contained(inner, outer, fraction);
        if (fraction == 0.0f && finite(inner) && finite(outer) &&
            std::isfinite(inner.x + inner.width) && std::isfinite(inner.y + inner.height) &&
            std::isfinite(outer.x + outer.width) && std::isfinite(outer.y + outer.height))
            require(contained, "every finite rectangle is contained at fraction 0");
    }

    RoiMethod roi_method() {
        switch (data_.ConsumeIntegralInRange(0, 4)) {
            case 0:
                return roi_method::Face{};
            case 1:
                return roi_method::Forehead{};
            case 2:
                return roi_method::UpperBody{};
            case 3:
                return roi_method::UpperBodyCropped{};
            default:
                return roi_method::Custom{hostile(data_, 0.1f), hostile(data_, 0.2f),
                                          hostile(data_, 0.1f), hostile(data_, 0.3f)};
        }
    }

    std::optional<float> container_extent(float typical) {
        if (data_.ConsumeIntegralInRange(0, 3) == 3) return std::nullopt;
        return hostile(data_, typical);
    }

    void roi() {
        const Rect face = rect({100.0f, 100.0f, 200.0f, 200.0f});
        const RoiMethod method = roi_method();
        const FaceDetector detector =
            data_.ConsumeBool() ? FaceDetector::AppleVision : FaceDetector::Default;
        const std::optional<float> width = container_extent(640.0f);
        const std::optional<float> height = container_extent(480.0f);
        const bool force_even = data_.ConsumeBool();
        const Rect result = calculate_roi(face, method, detector, width, height, force_even);
        if (width && height) {
            require(result.width >= 0.0f && result.height >= 0.0f,
                    "a clipped ROI has no negative or NaN extent");
        }
        if (force_even) {
            for (const float extent : {result.width, result.height})
                require(std::fmod(extent, 2.0f) == 0.0f, "an even ROI has whole, even extents");
        }
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
