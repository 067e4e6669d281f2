// SPDX-License-Identifier: Apache-2.0
#include "svg_plot.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "decimate.h"
#include "registry/registry.h"
#include "report.h"

namespace quorvanta::cli {
namespace {

constexpr double kWidth = 960;
constexpr double kPanelHeight = 190;
constexpr double kStripGap = 6;      // between a panel and its confidence strip
constexpr double kStripHeight = 24;  // the confidence strip
constexpr double kLeft = 70;
constexpr double kRight = 20;
constexpr double kTitleHeight = 50;
constexpr double kPanelGap = 60;  // below a strip: its time ticks, the next panel's title
constexpr double kPanelStride = kPanelHeight + kStripGap + kStripHeight + kPanelGap;
constexpr double kGapSteps = 5;      // a step this many times the median one breaks a line
constexpr double kPointSpacing = 2;  // pixels per estimate below which they draw as a line only
constexpr int kTicks = 5;
constexpr int kMaxTicks = 2 * kTicks;  // where precision runs out, the count is meaningless
constexpr const char* kTruthColor = "#555555";
constexpr const char* kQualityColor = "#222222";
constexpr double kLowQuality = 0.5;  // an estimate below it is drawn as a ring
constexpr const char* kUnprocessedColor = "#9E9E9E";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Range {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    void include(double value) {
        if (!std::isfinite(value)) return;
        low = std::min(low, value);
        high = std::max(high, value);
    }
    // A non-empty range: a little margin around the data, or a unit span around a single value.
    Range padded() const {
        if (!(low <= high)) return {0, 1};
        const double margin = high > low ? (high - low) * 0.05 : 0.5;
        return {low - margin, high + margin};
    }
};

// Round tick positions inside `range`: multiples of 1, 2 or 5 times a power of ten.
std::vector<double> ticks(const Range& range) {
    const double raw_step = (range.high - range.low) / kTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw_step)));
    double step = magnitude;
    for (const double factor : {2.0, 5.0, 10.0}) {
        if (step >= raw_step) break;
        step = magnitude * factor;
    }
    // Counted rather than accumulated: near 1e17 a step can vanish when added to a tick.
    const double first = std::ceil(range.low / step) * step;
    const double last = std::floor((range.high - first) / step);  // NaN without a usable step
    std::vector<double> positions;
    for (int i = 0; i <= last && i <= kMaxTicks; ++i)
        positions.push_back(first + i * step);
    return positions;
}

int decimals_for(const Range& range) {
    const double span = range.high - range.low;
    return span >= 20 ? 0 : span >= 2 ? 1 : 2;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string number(double value, int decimals = 1) {
    if (value == 0) value = 0;  // no "-0" labels
    return fixed(value, decimals);
}

std::string vital_color(const std::string& id) {
    const auto info = get_vital_info(id);
    return info ? info->color : "#000000";
}

// Maps data coordinates into one panel's plotting area, or into its confidence strip.
struct Frame {
    Range x, y;
    double top = 0;
    double height = kPanelHeight;

    double px(double t) const {
        return kLeft + (t - x.low) / (x.high - x.low) * (kWidth - kLeft - kRight);
    }
    double py(double v) const { return top + height - (v - y.low) / (y.high - y.low) * height; }
    Frame strip() const { return {x, {0, 1}, top + kPanelHeight + kStripGap, kStripHeight}; }
};

// The median step between consecutive times, or 0 with fewer than two.
double median_step(const std::vector<double>& times) {
    std::vector<double> steps;
    for (std::size_t i = 1; i < times.size(); ++i)
        steps.push_back(times[i] - times[i - 1]);
    if (steps.empty()) return 0;
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return *middle;
}

// The series' points in pixels, in runs that break at missing values and at gaps in time.
std::vector<std::vector<PlotPoint>> runs(const Frame& frame, const std::vector<double>& times,
                                         const std::vector<double>& values) {
    const double longest_step = kGapSteps * median_step(times);
    std::vector<std::vector<PlotPoint>> runs(1);
    for (std::size_t i = 0; i < times.size(); ++i) {
        const bool gap = i > 0 && times[i] - times[i - 1] > longest_step;
        if (!std::isfinite(values[i]) || !std::isfinite(times[i]) || gap) {
            if (!runs.back().empty()) runs.emplace_back();
            if (!std::isfinite(values[i]) || !std::isfinite(times[i])) continue;
        }
        runs.back().push_back({frame.px(times[i]), frame.py(values[i])});
    }
    if (runs.back().empty()) runs.pop_back();
    return runs;
}

std::string points_text(const std::vector<PlotPoint>& points) {
    std::string text;
    for (const PlotPoint& point : points)
        text += number(point.x) + "," + number(point.y) + " ";
    return text;
}

std::string style_class(PlotSeries::Style style) {
    switch (style) {
        case PlotSeries::Style::Unprocessed:
            return "unprocessed";
        case PlotSeries::Style::Estimate:
            return "estimate";
        case PlotSeries::Style::Truth:
            return "truth";
        case PlotSeries::Style::Checked:
            return "checked";
        case PlotSeries::Style::Line:
            break;
    }
    return "line";
}

// Whether the estimates are few enough to draw each as a point; otherwise their line alone shows
// them, and the strip their confidence.
bool as_points(const PlotSeries& series) {
    return series.style == PlotSeries::Style::Estimate &&
           static_cast<double>(series.times.size()) * kPointSpacing <= kWidth - kLeft - kRight;
}

// Line attributes by style: a faint line joins estimates drawn as points, which carry the colour.
std::string stroke(const PlotSeries& series) {
    const std::string color = "stroke=\"" + series.color + "\"";
    switch (series.style) {
        case PlotSeries::Style::Estimate:
            return color + (as_points(series) ? " stroke-width=\"1\" stroke-opacity=\"0.35\""
                                              : " stroke-width=\"1\"");
        case PlotSeries::Style::Truth:
            return color + " stroke-width=\"1.2\" stroke-dasharray=\"6 4\"";
        case PlotSeries::Style::Checked:
            return color + " stroke-width=\"1.5\" stroke-dasharray=\"2 2\"";
        case PlotSeries::Style::Line:
        case PlotSeries::Style::Unprocessed:
            break;
    }
    return color + " stroke-width=\"1\"";
}

void draw_line(std::ostream& out, const Frame& frame, const PlotSeries& series) {
    for (const auto& run : runs(frame, series.times, series.values)) {
        out << "<polyline class=\"" << style_class(series.style) << "\" fill=\"none\" "
            << stroke(series) << " points=\"" << points_text(min_max_per_column(run)) << "\"/>\n";
    }
}

// What a point's title says of its checks.
std::string quality_text(const PlotSeries& series, std::size_t i) {
    if (i >= series.quality.size() || std::isnan(series.quality[i])) return "";
    std::string text = ", quality " + number(series.quality[i], 2);
    if (i < series.checks.size() && !series.checks[i].empty()) text += ": " + series.checks[i];
    return text;
}

bool low_quality(const PlotSeries& series, std::size_t i) {
    return i < series.quality.size() && series.quality[i] < kLowQuality;
}

// The estimates as points, each as opaque as it is confident; one of low quality as a ring.
void draw_points(std::ostream& out, const Frame& frame, const PlotSeries& series) {
    for (std::size_t i = 0; i < series.times.size(); ++i) {
        if (!std::isfinite(series.values[i])) continue;
        const double opacity = std::clamp(series.confidence[i], 0.05, 1.0);
        const std::string paint =
            low_quality(series, i)
                ? "fill=\"none\" stroke=\"" + series.color + "\" stroke-opacity=\""
                : "fill=\"" + series.color + "\" fill-opacity=\"";
        out << "<circle class=\"" << (low_quality(series, i) ? "estimate low-quality" : "estimate")
            << "\" cx=\"" << number(frame.px(series.times[i])) << "\" cy=\""
            << number(frame.py(series.values[i])) << "\" r=\"3\" " << paint << number(opacity, 2)
            << "\"><title>" << escaped(series.label) << " " << number(series.values[i], 2)
            << " (confidence " << number(series.confidence[i], 2)
            << escaped(quality_text(series, i)) << ")</title></circle>\n";
    }
}

// The quality as a line over the strip's 0..1, named under the confidence.
void draw_quality(std::ostream& out, const Frame& panel, const PlotSeries& quality) {
    const Frame strip = panel.strip();
    out << "<text x=\"" << kLeft - 6 << "\" y=\"" << number(strip.top + kStripHeight - 1)
        << "\" class=\"tick\" text-anchor=\"end\">quality</text>\n";
    for (const auto& run : runs(strip, quality.times, quality.values)) {
        out << "<polyline class=\"quality\" fill=\"none\" stroke=\"" << quality.color
            << "\" stroke-width=\"1\" points=\"" << points_text(min_max_per_column(run))
            << "\"><title>quality 0 to 1</title></polyline>\n";
    }
}

// The confidence as an area over 0..1 under the panel, named higher up when the quality shares
// the strip.
void draw_confidence(std::ostream& out, const Frame& panel, const PlotSeries& confidence,
                     bool with_quality) {
    const Frame strip = panel.strip();
    out << "<rect x=\"" << kLeft << "\" y=\"" << number(strip.top) << "\" width=\""
        << kWidth - kLeft - kRight << "\" height=\"" << kStripHeight << "\" class=\"frame\"/>\n"
        << "<text x=\"" << kLeft - 6 << "\" y=\""
        << number(strip.top + (with_quality ? 10 : kStripHeight / 2 + 4))
        << "\" class=\"tick\" text-anchor=\"end\">confidence</text>\n";
    for (const auto& run : runs(strip, confidence.times, confidence.values)) {
        const auto kept = min_max_per_column(run);
        out << "<polygon class=\"confidence\" fill=\"" << confidence.color
            << "\" fill-opacity=\"0.35\" stroke=\"none\" points=\"" << number(kept.front().x) << ","
            << number(strip.py(0)) << " " << points_text(kept) << number(kept.back().x) << ","
            << number(strip.py(0)) << "\"><title>confidence 0 to 1</title></polygon>\n";
    }
}

void draw_unprocessed(std::ostream& out, const Frame& frame,
                      const std::pair<double, double>& span) {
    const double left = frame.px(span.first);
    const double width = std::max(frame.px(span.second) - left, 1.0);
    out << "<rect class=\"unprocessed-span\" x=\"" << number(left) << "\" y=\"" << number(frame.top)
        << "\" width=\"" << number(width) << "\" height=\"" << kPanelHeight
        << "\" fill=\"#EEEEEE\"><title>returned unprocessed until the session held enough "
           "history</title></rect>\n"
        << "<text x=\"" << number(left + 4) << "\" y=\"" << number(frame.top + 14)
        << "\" class=\"tick\">unprocessed</text>\n";
}

void draw_axes(std::ostream& out, const Frame& frame, const std::string& title) {
    out << "<text x=\"" << kLeft << "\" y=\"" << number(frame.top - 10) << "\" class=\"panel\">"
        << escaped(title) << "</text>\n";
    out << "<rect x=\"" << kLeft << "\" y=\"" << number(frame.top) << "\" width=\""
        << kWidth - kLeft - kRight << "\" height=\"" << kPanelHeight << "\" class=\"frame\"/>\n";
    const double below = frame.strip().top + kStripHeight + 16;
    for (const double t : ticks(frame.x)) {
        out << "<text x=\"" << number(frame.px(t)) << "\" y=\"" << number(below)
            << "\" class=\"tick\" text-anchor=\"middle\">" << number(t, decimals_for(frame.x))
            << " s</text>\n";
    }
    for (const double v : ticks(frame.y)) {
        out << "<text x=\"" << kLeft - 6 << "\" y=\"" << number(frame.py(v) + 4)
            << "\" class=\"tick\" text-anchor=\"end\">" << number(v, decimals_for(frame.y))
            << "</text>\n";
    }
}

void draw_legend(std::ostream& out, const Frame& frame, const std::vector<PlotSeries>& series) {
    double x = kWidth - kRight;
    for (auto it = series.rbegin(); it != series.rend(); ++it) {
        const std::string label = as_points(*it) ? it->label + " (opacity: confidence)" : it->label;
        x -= 7.0 * static_cast<double>(label.size()) + 30;
        out << "<line x1=\"" << number(x) << "\" y1=\"" << number(frame.top - 14) << "\" x2=\""
            << number(x + 16) << "\" y2=\"" << number(frame.top - 14) << "\" "
            << (as_points(*it) ? "stroke=\"" + it->color + "\" stroke-width=\"2\"" : stroke(*it))
            << "/>\n";
        out << "<text x=\"" << number(x + 20) << "\" y=\"" << number(frame.top - 10)
            << "\" class=\"tick\">" << escaped(label) << "</text>\n";
    }
}

// A series with its points; per-point extras are filled in by the caller.
PlotSeries series_of(std::string label, std::string color, PlotSeries::Style style,
                     std::vector<double> times = {}, std::vector<double> values = {}) {
    PlotSeries series;
    series.label = std::move(label);
    series.color = std::move(color);
    series.style = style;
    series.times = std::move(times);
    series.values = std::move(values);
    return series;
}

// The times at which the recording has no value of the signal `id`, in order.
std::vector<double> times_without_values(const Recording& recording, const std::string& id) {
    std::vector<double> times;
    const auto signal = std::ranges::find(recording.signals, id, &RecordedSignal::id);
    if (signal == recording.signals.end()) return times;
    for (std::size_t i = 0; i < signal->data.size(); ++i) {
        if (!std::isfinite(signal->data[i]) && std::isfinite(recording.timestamps[i]))
            times.push_back(recording.timestamps[i]);
    }
    std::sort(times.begin(), times.end());
    return times;
}

// A waveform over the whole analysis: the leading frames the session returned raw in grey, the
// rest as cleaned, and their confidence. Frames at `missing` times, where the recording had no
// value and the session's waveform fills in, are left out: the line and the confidence show a
// gap there.
PlotPanel waveform_panel(const GatheredWaveform& waveform, const std::string& id,
                         const std::string& title, const std::vector<double>& missing) {
    const auto& frames = waveform.frames;
    const std::string name = get_vital_info(id)->display_name;
    PlotSeries cleaned = series_of(name + " (cleaned)", vital_color(id), PlotSeries::Style::Line);
    PlotSeries raw =
        series_of("returned unprocessed", kUnprocessedColor, PlotSeries::Style::Unprocessed);
    PlotSeries confidence = series_of("confidence", vital_color(id), PlotSeries::Style::Line);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        PlotSeries& series = i < waveform.unprocessed ? raw : cleaned;
        const bool filled =
            std::binary_search(missing.begin(), missing.end(), frames.timestamps[i]);
        series.times.push_back(frames.timestamps[i]);
        series.values.push_back(filled ? NAN : frames.samples[i].value);
        confidence.times.push_back(frames.timestamps[i]);
        confidence.values.push_back(filled ? NAN : frames.samples[i].confidence);
    }
    // The cleaned line continues from the last raw frame, so that no gap opens between them.
    if (!raw.times.empty() && !cleaned.times.empty()) {
        raw.times.push_back(cleaned.times.front());
        raw.values.push_back(cleaned.values.front());
    }
    PlotPanel panel{title, {}, std::move(confidence), std::nullopt, std::nullopt};
    if (!raw.times.empty()) {
        panel.unprocessed = {raw.times.front(), raw.times.back()};
        panel.series.push_back(std::move(raw));
    }
    if (!cleaned.times.empty()) panel.series.push_back(std::move(cleaned));
    return panel;
}

// One point per batch: the vital's value at the batch's last frame with its confidence and what
// the checks said of it, NaN for a batch without an estimate.
PlotSeries rate_series(const Analysis& analysis, const Recording& recording,
                       const std::string& id) {
    PlotSeries series = series_of("estimate", vital_color(id), PlotSeries::Style::Estimate);
    for (const BatchSummary& batch : analysis.batches) {
        const BatchVital* vital = batch.find(id);
        const VitalCheck* check = vital != nullptr && vital->check ? &*vital->check : nullptr;
        series.times.push_back(batch_time(recording, batch));
        series.values.push_back(vital != nullptr ? vital->value : kNaN);
        series.confidence.push_back(vital != nullptr ? vital->confidence : kNaN);
        series.quality.push_back(check != nullptr ? check->quality : kNaN);
        series.checks.push_back(check != nullptr ? check->reasons_text() : "");
    }
    return series;
}

// The value the checks stand behind at each batch's time, NaN where a batch has none.
PlotSeries checked_series(const Analysis& analysis, const PlotSeries& estimate,
                          const std::string& id) {
    PlotSeries series =
        series_of("checked", kQualityColor, PlotSeries::Style::Checked, estimate.times);
    for (const BatchSummary& batch : analysis.batches) {
        const BatchVital* vital = batch.find(id);
        series.values.push_back(vital != nullptr && vital->check ? vital->check->checked_value
                                                                 : kNaN);
    }
    return series;
}

// The truth at each batch's time, averaged over the history the estimate summarises, so that a
// perfect estimator would lie on it.
std::optional<PlotSeries> truth_series(const Analysis& analysis, const Truth* truth,
                                       const PlotSeries& estimate, const std::string& id) {
    if (truth == nullptr || truth->vitals.count(id) == 0) return std::nullopt;
    const double window = truth_window(analysis, id);
    PlotSeries series =
        series_of(std::isinf(window) ? "truth (mean so far)" : "truth (window mean)", kTruthColor,
                  PlotSeries::Style::Truth, estimate.times);
    for (const double time : estimate.times)
        series.values.push_back(truth->mean_over(id, time, window).value_or(kNaN));
    return series;
}

std::optional<PlotPanel> rate_panel(const Analysis& analysis, const Recording& recording,
                                    const Truth* truth, const std::string& id) {
    PlotSeries estimate = rate_series(analysis, recording, id);
    if (std::none_of(estimate.values.begin(), estimate.values.end(),
                     [](double v) { return std::isfinite(v); })) {
        return std::nullopt;
    }
    PlotPanel panel{get_vital_info(id)->display_name + " (per minute)",
                    {},
                    series_of("confidence", estimate.color, PlotSeries::Style::Line, estimate.times,
                              estimate.confidence),
                    series_of("quality", kQualityColor, PlotSeries::Style::Line, estimate.times,
                              estimate.quality),
                    std::nullopt};
    if (auto true_values = truth_series(analysis, truth, estimate, id))
        panel.series.push_back(std::move(*true_values));
    PlotSeries checked = checked_series(analysis, estimate, id);
    if (std::any_of(checked.values.begin(), checked.values.end(),
                    [](double v) { return std::isfinite(v); }))
        panel.series.push_back(std::move(checked));
    panel.series.push_back(std::move(estimate));
    return panel;
}

// The panel's value range: of what it shows processed, when there is any.
Range value_range(const PlotPanel& panel) {
    Range y;
    for (const bool raw : {false, true}) {
        for (const PlotSeries& series : panel.series) {
            if ((series.style == PlotSeries::Style::Unprocessed) != raw) continue;
            for (const double v : series.values)
                y.include(v);
        }
        if (y.low <= y.high) break;
    }
    return y;
}

void draw_panel(std::ostream& out, const PlotPanel& panel, const Frame& frame, std::size_t index) {
    const std::string clip = "panel-" + std::to_string(index);
    out << "<g>\n<clipPath id=\"" << clip << "\"><rect x=\"" << kLeft << "\" y=\""
        << number(frame.top) << "\" width=\"" << kWidth - kLeft - kRight << "\" height=\""
        << kPanelHeight << "\"/></clipPath>\n";
    if (panel.unprocessed) draw_unprocessed(out, frame, *panel.unprocessed);
    draw_axes(out, frame, panel.title);
    draw_legend(out, frame, panel.series);
    out << "<g clip-path=\"url(#" << clip << ")\">\n";
    for (const PlotSeries& series : panel.series) {
        draw_line(out, frame, series);
        if (as_points(series)) draw_points(out, frame, series);
    }
    out << "</g>\n";
    draw_confidence(out, frame, panel.confidence, panel.quality.has_value());
    if (panel.quality) draw_quality(out, frame, *panel.quality);
    out << "</g>\n";
}

}  // namespace

std::vector<PlotPanel> analysis_panels(const Analysis& analysis, const Recording& recording,
                                       const Truth* truth) {
    std::vector<PlotPanel> panels;
    for (const auto& [id, title] :
         {std::pair{"ppg_waveform", "PPG"}, std::pair{"respiratory_waveform", "Respiration"}}) {
        const auto found = analysis.waveforms.find(id);
        if (found != analysis.waveforms.end() && found->second.frames.size() != 0)
            panels.push_back(
                waveform_panel(found->second, id, title, times_without_values(recording, id)));
    }
    for (const char* id : {"heart_rate", "respiratory_rate"}) {
        if (auto panel = rate_panel(analysis, recording, truth, id))
            panels.push_back(std::move(*panel));
    }
    return panels;
}

void write_svg(std::ostream& out, const std::string& title, const std::vector<PlotPanel>& panels) {
    Range x;
    for (const PlotPanel& panel : panels) {
        for (const PlotSeries& series : panel.series) {
            for (const double t : series.times)
                x.include(t);
        }
    }
    const double height = kTitleHeight + static_cast<double>(panels.size()) * kPanelStride;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\""
        << number(height, 0) << "\" viewBox=\"0 0 " << kWidth << " " << number(height, 0) << "\">\n"
        << "<style>text{font-family:sans-serif;fill:#222}.title{font-size:18px}"
           ".panel{font-size:14px}.tick{font-size:11px}"
           ".frame{fill:none;stroke:#999;stroke-width:1}</style>\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
        << "<text x=\"" << kLeft << "\" y=\"28\" class=\"title\">" << escaped(title) << "</text>\n";
    for (std::size_t i = 0; i < panels.size(); ++i) {
        const Frame frame{x.padded(), value_range(panels[i]).padded(),
                          kTitleHeight + kPanelGap - 20 + static_cast<double>(i) * kPanelStride};
        draw_panel(out, panels[i], frame, i);
    }
    out << "</svg>\n";
}

}  // namespace quorvanta::cli
