// SPDX-License-Identifier: Apache-2.0
#include "signal/region_motion.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "signal/parabola.h"

namespace quorvanta {
namespace detail {
namespace {

constexpr std::size_t kFewestRows = 3;

struct Rise {
    double rows = 0;  // upward, in rows
    double ncc = 0;
};

bool all_finite(std::span<const float> values) {
    return std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); });
}

// ncc of the reference rows i with the frame's rows i + lag, over the rows where both exist.
std::optional<double> ncc_at_lag(std::span<const float> reference, std::span<const float> frame,
                                 std::ptrdiff_t lag) {
    const auto rows = static_cast<std::ptrdiff_t>(reference.size());
    const std::ptrdiff_t first = std::max<std::ptrdiff_t>(0, -lag);
    const std::ptrdiff_t end = std::min(rows, rows - lag);
    const auto count = static_cast<double>(end - first);
    double sum_a = 0, sum_b = 0;
    for (std::ptrdiff_t i = first; i < end; ++i) {
        sum_a += reference[static_cast<std::size_t>(i)];
        sum_b += frame[static_cast<std::size_t>(i + lag)];
    }
    const double mean_a = sum_a / count, mean_b = sum_b / count;
    double ab = 0, aa = 0, bb = 0;
    for (std::ptrdiff_t i = first; i < end; ++i) {
        const double a = reference[static_cast<std::size_t>(i)] - mean_a;
        const double b = frame[static_cast<std::size_t>(i + lag)] - mean_b;
        ab += a * b;
        aa += a * a;
        bb += b * b;
    }
    if (!(aa > 0 && bb > 0)) return std::nullopt;
    return ab / std::sqrt(aa * bb);
}

// The lag of best ncc, refined by the parabola through its neighbours, as a rise.
std::optional<Rise> rise_of(std::span<const float> reference, std::span<const float> frame) {
    const auto reach = static_cast<std::ptrdiff_t>(std::max<std::size_t>(1, reference.size() / 8));
    std::vector<std::optional<double>> scores;
    for (std::ptrdiff_t lag = -reach; lag <= reach; ++lag)
        scores.push_back(ncc_at_lag(reference, frame, lag));
    std::optional<std::size_t> best;
    for (std::size_t k = 0; k < scores.size(); ++k) {
        if (scores[k] && (!best || *scores[k] > *scores[*best])) best = k;
    }
    if (!best) return std::nullopt;
    const std::size_t k = *best;
    double lag = static_cast<double>(static_cast<std::ptrdiff_t>(k) - reach);
    if (k > 0 && k + 1 < scores.size() && scores[k - 1] && scores[k + 1]) {
        const auto offset =
            parabola_vertex(static_cast<float>(*scores[k - 1]), static_cast<float>(*scores[k]),
                            static_cast<float>(*scores[k + 1]), 0.0f);
        if (offset && std::abs(*offset) <= 0.5f) lag += *offset;
    }
    return Rise{-lag, *scores[k]};
}

}  // namespace
}  // namespace detail

std::optional<std::string> profile_mismatch(std::size_t reference_rows, std::size_t frame_rows) {
    const std::string given =
        "Length mismatch: frame_rows has length " + std::to_string(frame_rows);
    if (reference_rows == 0) {
        if (frame_rows == 0) return std::nullopt;
        return given + ", expected 0 (reference_rows is empty)";
    }
    if (frame_rows % reference_rows == 0) return std::nullopt;
    return given + ", expected a multiple of " + std::to_string(reference_rows) +
           " (the length of reference_rows)";
}

SignalInput extract_respiration(std::span<const float> reference_rows,
                                std::span<const float> frame_rows) {
    const std::size_t rows = reference_rows.size();
    const std::size_t frames = rows == 0 ? 0 : frame_rows.size() / rows;
    const bool usable = rows >= detail::kFewestRows && detail::all_finite(reference_rows);
    SignalInput result;
    result.data.assign(frames, std::numeric_limits<float>::quiet_NaN());
    result.confidence.assign(frames, 0.0f);
    for (std::size_t f = 0; usable && f < frames; ++f) {
        const auto frame = frame_rows.subspan(f * rows, rows);
        if (!detail::all_finite(frame)) continue;
        if (const auto rise = detail::rise_of(reference_rows, frame)) {
            result.data[f] = static_cast<float>(rise->rows);
            result.confidence[f] = static_cast<float>(std::clamp(rise->ncc, 0.0, 1.0));
        }
    }
    return result;
}

}  // namespace quorvanta
