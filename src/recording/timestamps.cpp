// SPDX-License-Identifier: Apache-2.0
#include "recording/timestamps.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>
#include <sstream>

#include "recording/place.h"

namespace quorvanta::detail {
namespace {

constexpr std::size_t kMaxReportedWarnings = 5;
// Missing values over more than this many seconds are named: a gap the plots show, and where the
// session has nothing to estimate from.
constexpr double kLongGapSeconds = 3.0;
constexpr std::size_t kMaxReportedGaps = 5;

std::string format(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

template <class T>
void reorder(std::vector<T>& values, const std::vector<std::size_t>& order) {
    if (values.size() != order.size()) return;
    std::vector<T> sorted;
    sorted.reserve(values.size());
    for (const std::size_t i : order)
        sorted.push_back(values[i]);
    values = std::move(sorted);
}

// Frames with finite timestamps in the order of those (ties as they came), in the places such
// frames held; frames without one stay where they were.
void sort_frames(Recording& recording) {
    const std::vector<double>& t = recording.timestamps;
    std::vector<std::size_t> order(t.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::vector<std::size_t> timed;
    std::copy_if(order.begin(), order.end(), std::back_inserter(timed),
                 [&](std::size_t i) { return std::isfinite(t[i]); });
    std::vector<std::size_t> sorted = timed;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](std::size_t a, std::size_t b) { return t[a] < t[b]; });
    for (std::size_t k = 0; k < timed.size(); ++k)
        order[timed[k]] = sorted[k];
    reorder(recording.timestamps, order);
    for (RecordedSignal& signal : recording.signals) {
        reorder(signal.data, order);
        reorder(signal.confidence, order);
    }
    if (recording.face) {
        reorder(recording.face->boxes, order);
        reorder(recording.face->confidence, order);
    }
}

}  // namespace

void TimestampChecker::check(double timestamp, const std::string& where) {
    if (!std::isfinite(timestamp)) {
        report(where + "timestamp " + format(timestamp) + " is not a finite time");
        return;
    }
    if (previous_ && timestamp == *previous_) {
        report(where + "timestamp " + format(timestamp) +
               " does not increase on the previous one (" + format(*previous_) + ")");
    } else if (previous_ && timestamp < *previous_ && !out_of_order_) {
        out_of_order_ = where + "timestamp " + format(timestamp) +
                        " comes before the previous one (" + format(*previous_) +
                        "): the frames are read in the order of their timestamps";
    }
    previous_ = timestamp;
}

void TimestampChecker::finish(const std::filesystem::path& file, Recording& recording) {
    if (reported_ > kMaxReportedWarnings) {
        warnings_.push_back(location(file) + std::to_string(reported_ - kMaxReportedWarnings) +
                            " more timestamps do not increase or are not finite");
    }
    if (!out_of_order_) return;
    warnings_.push_back(*out_of_order_);
    sort_frames(recording);
}

void TimestampChecker::report(std::string warning) {
    if (++reported_ <= kMaxReportedWarnings) warnings_.push_back(std::move(warning));
}

void to_seconds(std::vector<double>& timestamps, TimeUnit unit) {
    if (unit == TimeUnit::Seconds) return;
    const double per_second = units_per_second(unit);
    for (double& timestamp : timestamps)
        timestamp /= per_second;
}

void warn_missing_stretches(const Recording& recording, const std::filesystem::path& file,
                            std::vector<std::string>& warnings) {
    const std::vector<double>& t = recording.timestamps;
    for (const RecordedSignal& signal : recording.signals) {
        std::size_t reported = 0, more = 0;
        std::size_t i = 0;
        while (i < signal.data.size()) {
            if (std::isfinite(signal.data[i])) {
                ++i;
                continue;
            }
            const std::size_t first = i;
            while (i < signal.data.size() && !std::isfinite(signal.data[i]))
                ++i;
            // From the last value before the stretch to the first after it.
            const double from = t[first == 0 ? 0 : first - 1];
            const double to = t[i == t.size() ? i - 1 : i];
            if (!(to - from > kLongGapSeconds)) continue;
            if (reported == kMaxReportedGaps) {
                ++more;
                continue;
            }
            ++reported;
            warnings.push_back(location(file) + signal.id + " has no values from " + format(from) +
                               " s to " + format(to) + " s");
        }
        if (more > 0) {
            warnings.push_back(location(file) + signal.id + " has " + std::to_string(more) +
                               " more stretches without values");
        }
    }
}

}  // namespace quorvanta::detail
