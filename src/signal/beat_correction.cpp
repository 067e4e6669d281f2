// SPDX-License-Identifier: Apache-2.0
// correct_beats (Lipponen and Tarvainen 2019), on each run of beats whose intervals all stay
// within 2000 ms (a longer gap is a stretch without beats, not a missed one):
//   rr_i = t_i - t_(i-1) (s), rr_0 = mean of the others; dRR_i = rr_i - rr_(i-1), dRR_0 = mean of
//   the others. QD(v) over a centred window of 91 values (cut at the ends) is (Q3 - Q1) / 2 of |v|
//   there, with quantiles interpolated linearly between order statistics; th1 = max(5.2 QD(dRR),
//   0.1 s), d = dRR / th1. medRR is the median of rr over a centred window of 11; mRR = rr - medRR,
//   doubled where negative; th2 = max(5.2 QD(mRR), 0.1 s), m = mRR / th2. (The paper has no
//   floor; camera beat times carry a few milliseconds of noise, which a regular heart would
//   otherwise turn into artefacts.) With d extended by reflection at both ends
//   (d_-1 = d_1, d_-2 = d_2, d_n = d_(n-2), d_(n+1) = d_(n-3)):
//     s12_i = max(d_(i-1), d_(i+1)) where d_i > 0, min(...) where d_i < 0, 0 where d_i = 0;
//     s22_i = min(d_(i+1), d_(i+2)) where d_i >= 0, max(...) where d_i < 0.
//   For i = 0 .. n - 3 with |d_i| > 1 (the first classification of a beat stands):
//     ectopic   d_i > 1 and s12_i < -0.13 d_i - 0.17, or d_i < -1 and s12_i > -0.13 d_i + 0.17;
//     otherwise beat i, and beat i + 1 too when |d_(i+1)| < |d_(i+2)|, is, where long
//       (d_j > 1 and s22_j < -1), short (d_j < -1 and s22_j > 1) or |m_j| > 3:
//       extra     short and |rr_j + rr_(j+1) - medRR_j| < th2_j;
//       missed    long and |rr_j / 2 - medRR_j| < th2_j;
//       misplaced otherwise.
//   Extra beats are rejected; a missed beat is inserted halfway between beats j - 1 and j; then,
//   in time order, an ectopic or misplaced beat j (not the first or last) is moved halfway between
//   beat j - 1, as already moved, and beat j + 1: a premature beat and the one after it, both
//   flagged, end where a regular rhythm has them. The classification runs again on
//   the corrected run while it finds fewer artefacts than the time before (at most 8 times).
// NaN times compare false everywhere: such a beat stays as it is.
#include "signal/beat_correction.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>

namespace quorvanta {
namespace detail {
namespace {

constexpr double kMaxIntervalSeconds = 2.0;
constexpr double kMinNnMs = 300.0;
constexpr double kMaxNnMs = 2000.0;
constexpr double kAlpha = 5.2;
constexpr double kC1 = 0.13;
constexpr double kC2 = 0.17;
constexpr std::size_t kThresholdWindow = 91;
constexpr std::size_t kMedianWindow = 11;
// Beat times from camera frames are a few milliseconds uncertain, so a series whose intervals
// barely vary would otherwise flag that uncertainty as artefacts.
constexpr double kMinThresholdSeconds = 0.1;
constexpr double kMaxNnShareOffMedian = 0.2;
constexpr int kMaxPasses = 8;

enum class Artefact : std::uint8_t { None, Ectopic, Extra, Missed, Misplaced };

// Calls visit(i, sorted) for each i with the values of the centred window of `width` around i
// (cut at the ends) in ascending order, kept sorted as the window slides. NaN values are left out.
template <class Visit>
void for_each_sorted_window(std::span<const double> v, std::size_t width, Visit visit) {
    const std::size_t half = width / 2;
    std::vector<double> sorted;
    std::size_t added = 0, removed = 0;  // the window holds v[removed, added)
    for (std::size_t i = 0; i < v.size(); ++i) {
        for (const std::size_t last = std::min(v.size(), i + half + 1); added < last; ++added) {
            if (!std::isnan(v[added]))
                sorted.insert(std::upper_bound(sorted.begin(), sorted.end(), v[added]), v[added]);
        }
        for (const std::size_t first = i >= half ? i - half : 0; removed < first; ++removed) {
            if (!std::isnan(v[removed]))
                sorted.erase(std::lower_bound(sorted.begin(), sorted.end(), v[removed]));
        }
        visit(i, std::span<const double>(sorted));
    }
}

// The q-quantile of sorted values, interpolated linearly between order statistics; NaN for none.
double quantile(std::span<const double> sorted, double q) {
    if (sorted.empty()) return NAN;
    const double position = q * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(position);  // position >= 0: truncation floors
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] +
           (sorted[above] - sorted[below]) * (position - static_cast<double>(below));
}

// 5.2 times the quartile deviation of |v| around each value, at least the floor.
std::vector<double> thresholds(std::span<const double> v) {
    std::vector<double> magnitude(v.size());
    std::transform(v.begin(), v.end(), magnitude.begin(), [](double x) { return std::fabs(x); });
    std::vector<double> th(v.size());
    for_each_sorted_window(
        magnitude, kThresholdWindow, [&](std::size_t i, std::span<const double> window) {
            th[i] = std::max(kMinThresholdSeconds,
                             kAlpha * (quantile(window, 0.75) - quantile(window, 0.25)) / 2);
        });
    return th;
}

std::vector<double> medians(std::span<const double> v) {
    std::vector<double> result(v.size());
    for_each_sorted_window(v, kMedianWindow, [&](std::size_t i, std::span<const double> window) {
        result[i] = quantile(window, 0.5);
    });
    return result;
}

// v_i - v_(i-1), the first entry the mean of the others.
std::vector<double> differences(std::span<const double> v) {
    std::vector<double> d(v.size(), 0.0);
    double sum = 0;
    for (std::size_t i = 1; i < v.size(); ++i)
        sum += d[i] = v[i] - v[i - 1];
    if (v.size() > 1) d[0] = sum / static_cast<double>(v.size() - 1);
    return d;
}

struct Subspaces {
    std::vector<double> rr, d, m, s12, s22, median_rr, th2;
};

Subspaces subspaces(std::span<const double> times) {
    Subspaces s;
    s.rr = differences(times);
    s.d = differences(s.rr);
    const std::vector<double> th1 = thresholds(s.d);
    for (std::size_t i = 0; i < s.d.size(); ++i)
        s.d[i] /= th1[i];
    s.median_rr = medians(s.rr);
    s.m.resize(s.rr.size());
    for (std::size_t i = 0; i < s.rr.size(); ++i) {
        const double deviation = s.rr[i] - s.median_rr[i];
        s.m[i] = deviation < 0 ? 2 * deviation : deviation;
    }
    s.th2 = thresholds(s.m);
    for (std::size_t i = 0; i < s.m.size(); ++i)
        s.m[i] /= s.th2[i];
    const std::size_t n = s.d.size();
    // d extended by reflection: index k in -2 .. n + 1.
    const auto d_at = [&](std::ptrdiff_t k) {
        const auto size = static_cast<std::ptrdiff_t>(n);
        if (k < 0) k = -k;
        if (k >= size) k = 2 * (size - 1) - k;
        return s.d[static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(k, 0, size - 1))];
    };
    s.s12.assign(n, 0.0);
    s.s22.assign(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        const auto k = static_cast<std::ptrdiff_t>(i);
        const double before = d_at(k - 1), after = d_at(k + 1), second = d_at(k + 2);
        if (s.d[i] > 0) s.s12[i] = std::max(before, after);
        if (s.d[i] < 0) s.s12[i] = std::min(before, after);
        s.s22[i] = s.d[i] >= 0 ? std::min(after, second) : std::max(after, second);
    }
    return s;
}

Artefact long_or_short(const Subspaces& s, std::size_t j) {
    const bool long_beat = s.d[j] > 1 && s.s22[j] < -1;
    const bool short_beat = s.d[j] < -1 && s.s22[j] > 1;
    if (!long_beat && !short_beat && !(std::fabs(s.m[j]) > 3)) return Artefact::None;
    if (short_beat && std::fabs(s.rr[j] + s.rr[j + 1] - s.median_rr[j]) < s.th2[j])
        return Artefact::Extra;
    if (long_beat && std::fabs(s.rr[j] / 2 - s.median_rr[j]) < s.th2[j]) return Artefact::Missed;
    return Artefact::Misplaced;
}

std::vector<Artefact> classify(std::span<const double> times) {
    std::vector<Artefact> kind(times.size(), Artefact::None);
    if (times.size() < 4) return kind;
    const Subspaces s = subspaces(times);
    const auto mark = [&](std::size_t j, Artefact a) {
        if (kind[j] == Artefact::None) kind[j] = a;
    };
    for (std::size_t i = 0; i + 2 < times.size(); ++i) {
        const double d = s.d[i];
        if (!(std::fabs(d) > 1)) continue;
        if ((d > 1 && s.s12[i] < -kC1 * d - kC2) || (d < -1 && s.s12[i] > -kC1 * d + kC2)) {
            mark(i, Artefact::Ectopic);
            continue;
        }
        mark(i, long_or_short(s, i));
        if (std::fabs(s.d[i + 1]) < std::fabs(s.d[i + 2])) mark(i + 1, long_or_short(s, i + 1));
    }
    return kind;
}

std::size_t artefact_count(std::span<const Artefact> kind) {
    return static_cast<std::size_t>(
        std::count_if(kind.begin(), kind.end(), [](Artefact a) { return a != Artefact::None; }));
}

// One correction of a run: extra beats go to `rejected`, missed ones are inserted, the others
// moved.
std::vector<Beat> corrected(std::span<const Beat> run, std::span<const Artefact> kind,
                            std::vector<Beat>& rejected) {
    std::vector<Beat> kept;
    std::vector<bool> moves;
    for (std::size_t j = 0; j < run.size(); ++j) {
        if (kind[j] == Artefact::Extra) {
            rejected.push_back({run[j].time, BeatStatus::Rejected});
            continue;
        }
        if (kind[j] == Artefact::Missed && !kept.empty()) {
            kept.push_back({(kept.back().time + run[j].time) / 2, BeatStatus::Corrected});
            moves.push_back(false);
        }
        kept.push_back(run[j]);
        moves.push_back(kind[j] == Artefact::Ectopic || kind[j] == Artefact::Misplaced);
    }
    for (std::size_t j = 1; j + 1 < kept.size(); ++j) {
        if (moves[j]) kept[j] = {(kept[j - 1].time + kept[j + 1].time) / 2, BeatStatus::Corrected};
    }
    return kept;
}

std::vector<double> times_of(std::span<const Beat> beats) {
    std::vector<double> times(beats.size());
    std::transform(beats.begin(), beats.end(), times.begin(), [](const Beat& b) { return b.time; });
    return times;
}

void correct_run(std::span<const double> times, std::vector<Beat>& out) {
    std::vector<Beat> run(times.size());
    std::transform(times.begin(), times.end(), run.begin(), [](double t) { return Beat{t}; });
    std::vector<Beat> rejected;
    std::size_t previous = times.size() + 1;
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        const std::vector<Artefact> kind = classify(times_of(run));
        const std::size_t count = artefact_count(kind);
        if (count == 0 || count >= previous) break;
        previous = count;
        run = corrected(run, kind, rejected);
    }
    out.insert(out.end(), run.begin(), run.end());
    out.insert(out.end(), rejected.begin(), rejected.end());
}

}  // namespace
}  // namespace detail

std::vector<Beat> correct_beats(std::span<const double> times) {
    std::vector<Beat> beats;
    std::size_t first = 0;
    for (std::size_t i = 1; i <= times.size(); ++i) {
        if (i < times.size() && !(times[i] - times[i - 1] > detail::kMaxIntervalSeconds)) continue;
        detail::correct_run(times.subspan(first, i - first), beats);
        first = i;
    }
    // Ascending, NaN last: a strict order whatever the times.
    std::stable_sort(beats.begin(), beats.end(), [](const Beat& a, const Beat& b) {
        return a.time < b.time || (!std::isnan(a.time) && std::isnan(b.time));
    });
    return beats;
}

NnIntervals nn_intervals(std::span<const Beat> beats) {
    std::vector<double> intervals;
    const Beat* previous = nullptr;
    for (const Beat& beat : beats) {
        if (beat.status == BeatStatus::Rejected) continue;
        if (previous) intervals.push_back((beat.time - previous->time) * 1000.0);
        previous = &beat;
    }
    const std::vector<double> local_median = detail::medians(intervals);
    NnIntervals nn;
    bool in_run = false;
    for (std::size_t i = 0; i < intervals.size(); ++i) {
        const double ms = intervals[i];
        const bool normal =
            ms >= detail::kMinNnMs && ms <= detail::kMaxNnMs &&
            std::fabs(ms - local_median[i]) <= detail::kMaxNnShareOffMedian * local_median[i];
        if (normal) {
            nn.ms.push_back(static_cast<float>(ms));
        } else if (in_run) {
            nn.run_ends.push_back(nn.ms.size());
        }
        in_run = normal;
    }
    if (in_run) nn.run_ends.push_back(nn.ms.size());
    return nn;
}

}  // namespace quorvanta
