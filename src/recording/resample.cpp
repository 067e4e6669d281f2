// SPDX-License-Identifier: Apache-2.0
#include "recording/resample.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "recording/place.h"

namespace quorvanta {
namespace detail {
namespace {

constexpr float kMissing = std::numeric_limits<float>::quiet_NaN();

// The source frames with finite timestamps, in time order.
std::vector<std::size_t> timed_frames(const std::vector<double>& timestamps) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < timestamps.size(); ++i) {
        if (std::isfinite(timestamps[i])) order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return timestamps[a] < timestamps[b]; });
    return order;
}

// For each new frame, the range [first, last) of `order` whose timestamps fall in its interval.
struct FrameWindow {
    std::size_t first = 0;
    std::size_t last = 0;
};

std::vector<FrameWindow> frame_windows(const std::vector<double>& timestamps,
                                       const std::vector<std::size_t>& order,
                                       const std::vector<double>& frame_times, double rate) {
    const double half = 0.5 / rate;
    std::vector<FrameWindow> windows(frame_times.size());
    std::size_t first = 0;
    std::size_t last = 0;
    for (std::size_t k = 0; k < frame_times.size(); ++k) {
        while (first < order.size() && timestamps[order[first]] < frame_times[k] - half)
            ++first;
        last = std::max(last, first);
        while (last < order.size() && timestamps[order[last]] < frame_times[k] + half)
            ++last;
        windows[k] = {first, last};
    }
    return windows;
}

struct Sample {
    float value;
    float confidence;
};

Sample window_mean(const RecordedSignal& signal, const std::vector<std::size_t>& order,
                   FrameWindow window) {
    double values = 0;
    double confidences = 0;
    std::size_t finite = 0;
    for (std::size_t i = window.first; i < window.last; ++i) {
        const std::size_t frame = order[i];
        if (!std::isfinite(signal.data[frame])) continue;
        values += signal.data[frame];
        confidences += signal.confidence[frame];
        ++finite;
    }
    if (finite == 0) return {kMissing, 0.0F};
    const auto count = static_cast<double>(finite);
    return {static_cast<float>(values / count), static_cast<float>(confidences / count)};
}

// Between the samples on either side of time `t` (window.first is the first sample after it).
Sample interpolated(const RecordedSignal& signal, const std::vector<double>& timestamps,
                    const std::vector<std::size_t>& order, FrameWindow window, double t) {
    if (window.first == 0 || window.first == order.size()) return {kMissing, 0.0F};
    const std::size_t before = order[window.first - 1];
    const std::size_t after = order[window.first];
    const double gap = timestamps[after] - timestamps[before];
    if (!(gap <= kLongestInterpolatedGap) || !std::isfinite(signal.data[before]) ||
        !std::isfinite(signal.data[after]))
        return {kMissing, 0.0F};
    const double weight = gap > 0 ? (t - timestamps[before]) / gap : 0.0;
    const auto between = [weight](float a, float b) {
        return static_cast<float>(a + weight * (static_cast<double>(b) - a));
    };
    return {between(signal.data[before], signal.data[after]),
            between(signal.confidence[before], signal.confidence[after])};
}

RecordedSignal resampled_signal(const RecordedSignal& signal, const std::vector<double>& timestamps,
                                const std::vector<std::size_t>& order,
                                const std::vector<FrameWindow>& windows,
                                const std::vector<double>& frame_times) {
    RecordedSignal result{signal.id, {}, {}};
    result.data.reserve(windows.size());
    result.confidence.reserve(windows.size());
    for (std::size_t k = 0; k < windows.size(); ++k) {
        const Sample sample =
            windows[k].first < windows[k].last
                ? window_mean(signal, order, windows[k])
                : interpolated(signal, timestamps, order, windows[k], frame_times[k]);
        result.data.push_back(sample.value);
        result.confidence.push_back(sample.confidence);
    }
    return result;
}

// The source frame nearest each new frame's time, the earlier one on a tie.
FaceTrack resampled_face(const FaceTrack& face, const std::vector<double>& timestamps,
                         const std::vector<std::size_t>& order,
                         const std::vector<double>& frame_times) {
    FaceTrack result;
    std::size_t next = 0;
    for (const double t : frame_times) {
        while (next < order.size() && timestamps[order[next]] < t)
            ++next;
        std::size_t nearest = order[std::min(next, order.size() - 1)];
        if (next > 0 && (next == order.size() ||
                         t - timestamps[order[next - 1]] <= timestamps[order[next]] - t))
            nearest = order[next - 1];
        result.boxes.push_back(face.boxes[nearest]);
        result.confidence.push_back(face.confidence[nearest]);
    }
    return result;
}

std::vector<double> frame_times_at(double rate, double first, double last,
                                   std::size_t source_frames, const std::filesystem::path& file) {
    // A millionth of a frame of slack keeps the last sample when rounding puts it just short.
    const double frames = std::floor((last - first) * rate + 1e-6) + 1;
    const double most = kMostResampledFramesPerFrame * static_cast<double>(source_frames);
    if (frames > most) {
        std::ostringstream message;
        message << location(file) << "resampling at " << rate << " fps would make " << std::fixed
                << std::setprecision(0) << frames << " frames of the " << source_frames
                << " read, more than " << kMostResampledFramesPerFrame
                << " times as many: are the timestamps in seconds?";
        throw InputError(message.str());
    }
    std::vector<double> times(static_cast<std::size_t>(frames));
    for (std::size_t k = 0; k < times.size(); ++k)
        times[k] = first + static_cast<double>(k) / rate;
    return times;
}

}  // namespace
}  // namespace detail

Recording resampled(const Recording& recording, double rate, const std::filesystem::path& file) {
    using namespace detail;
    const std::vector<double>& timestamps = recording.timestamps;
    const std::vector<std::size_t> order = timed_frames(timestamps);
    if (order.empty()) throw InputError(location(file) + "no finite timestamp to resample by");
    Recording result;
    result.timestamps = frame_times_at(rate, timestamps[order.front()], timestamps[order.back()],
                                       recording.frames(), file);
    const std::vector<FrameWindow> windows =
        frame_windows(timestamps, order, result.timestamps, rate);
    for (const RecordedSignal& signal : recording.signals)
        result.signals.push_back(
            resampled_signal(signal, timestamps, order, windows, result.timestamps));
    if (recording.face)
        result.face = resampled_face(*recording.face, timestamps, order, result.timestamps);
    return result;
}

}  // namespace quorvanta
