// SPDX-License-Identifier: Apache-2.0
#include "svg_plot.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>

#include "registry/registry.h"
#include "report.h"

namespace quorvanta::cli {
namespace {

constexpr double kWidth = 960;
constexpr double kPanelHeight = 190;
constexpr double kLeft = 70;
constexpr double kRight = 20;
constexpr double kTitleHeight = 50;
constexpr double kPanelGap = 55;
constexpr int kTicks = 5;
constexpr const char* kTruthColor = "#555555";

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
    std::vector<double> positions;
    for (double tick = std::ceil(range.low / step) * step; tick <= range.high; tick += step) {
        positions.push_back(tick);
    }
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
    std::ostringstream text;
    text << std::fixed << std::setprecision(decimals) << value;
    return text.str();
}

std::string vital_color(const std::string& id) {
    const auto info = get_vital_info(id);
    return info ? info->color : "#000000";
}

// Maps data coordinates into one panel's plotting area.
struct Frame {
    Range x, y;
    double top;
    double px(double t) const {
        return kLeft + (t - x.low) / (x.high - x.low) * (kWidth - kLeft - kRight);
    }
    double py(double v) const {
        return top + kPanelHeight - (v - y.low) / (y.high - y.low) * kPanelHeight;
    }
};

void draw_axes(std::ostream& out, const Frame& frame, const std::string& title) {
    out << "<text x=\"" << kLeft << "\" y=\"" << number(frame.top - 10) << "\" class=\"panel\">"
        << escaped(title) << "</text>\n";
    out << "<rect x=\"" << kLeft << "\" y=\"" << number(frame.top) << "\" width=\""
        << kWidth - kLeft - kRight << "\" height=\"" << kPanelHeight << "\" class=\"frame\"/>\n";
    for (const double t : ticks(frame.x)) {
        out << "<text x=\"" << number(frame.px(t)) << "\" y=\""
            << number(frame.top + kPanelHeight + 16) << "\" class=\"tick\" text-anchor=\"middle\">"
            << number(t, decimals_for(frame.x)) << " s</text>\n";
    }
    for (const double v : ticks(frame.y)) {
        out << "<text x=\"" << kLeft - 6 << "\" y=\"" << number(frame.py(v) + 4)
            << "\" class=\"tick\" text-anchor=\"end\">" << number(v, decimals_for(frame.y))
            << "</text>\n";
    }
}

// A line through the finite points, broken where a value is missing.
void draw_line(std::ostream& out, const Frame& frame, const PlotSeries& series) {
    std::string points;
    const auto flush = [&] {
        if (points.empty()) return;
        out << "<polyline fill=\"none\" stroke=\"" << series.color << "\" stroke-width=\"1.2\""
            << (series.dashed ? " stroke-dasharray=\"6 4\"" : "") << " points=\"" << points
            << "\"/>\n";
        points.clear();
    };
    for (std::size_t i = 0; i < series.times.size(); ++i) {
        if (!std::isfinite(series.values[i])) {
            flush();
            continue;
        }
        points +=
            number(frame.px(series.times[i])) + "," + number(frame.py(series.values[i])) + " ";
    }
    flush();
}

void draw_points(std::ostream& out, const Frame& frame, const PlotSeries& series) {
    for (std::size_t i = 0; i < series.times.size(); ++i) {
        if (!std::isfinite(series.values[i])) continue;
        const double opacity = std::clamp(series.confidence[i], 0.1, 1.0);
        out << "<circle cx=\"" << number(frame.px(series.times[i])) << "\" cy=\""
            << number(frame.py(series.values[i])) << "\" r=\"3\" fill=\"" << series.color
            << "\" fill-opacity=\"" << number(opacity, 2) << "\"><title>" << escaped(series.label)
            << " " << number(series.values[i], 2) << " (confidence "
            << number(series.confidence[i], 2) << ")</title></circle>\n";
    }
}

void draw_legend(std::ostream& out, const Frame& frame, const std::vector<PlotSeries>& series) {
    double x = kWidth - kRight;
    for (auto it = series.rbegin(); it != series.rend(); ++it) {
        x -= 8.0 * static_cast<double>(it->label.size()) + 30;
        out << "<line x1=\"" << number(x) << "\" y1=\"" << number(frame.top - 14) << "\" x2=\""
            << number(x + 16) << "\" y2=\"" << number(frame.top - 14) << "\" stroke=\"" << it->color
            << "\" stroke-width=\"2\"" << (it->dashed ? " stroke-dasharray=\"4 3\"" : "") << "/>\n";
        out << "<text x=\"" << number(x + 20) << "\" y=\"" << number(frame.top - 10)
            << "\" class=\"tick\">" << escaped(it->label) << "</text>\n";
    }
}

PlotSeries waveform_series(const GatheredWaveform& waveform, const std::string& id) {
    PlotSeries series{get_vital_info(id) ? get_vital_info(id)->display_name + " (cleaned)" : id,
                      vital_color(id),
                      waveform.frames.timestamps,
                      {},
                      {},
                      false};
    for (const WaveformSample& sample : waveform.frames.samples)
        series.values.push_back(sample.value);
    return series;
}

// One point per batch: the vital's value at the batch's last frame, with its confidence.
PlotSeries rate_series(const Analysis& analysis, const Recording& recording,
                       const std::string& id) {
    PlotSeries series{"estimate", vital_color(id), {}, {}, {}, false};
    for (const BatchSummary& batch : analysis.batches) {
        const BatchVital* vital = batch.find(id);
        if (vital == nullptr) continue;
        series.times.push_back(batch_time(recording, batch));
        series.values.push_back(vital->value);
        series.confidence.push_back(vital->confidence);
    }
    return series;
}

// The truth at each estimate's time, averaged over the window the estimator reads, so that a
// perfect estimator would lie on it.
std::optional<PlotSeries> truth_series(const Truth* truth, const PlotSeries& estimate,
                                       const std::string& id) {
    if (truth == nullptr || truth->vitals.count(id) == 0) return std::nullopt;
    PlotSeries series{"truth (window mean)", kTruthColor, estimate.times, {}, {}, true};
    for (const double time : estimate.times) {
        series.values.push_back(truth->mean_over(id, time, estimator_window(id))
                                    .value_or(std::numeric_limits<double>::quiet_NaN()));
    }
    return series;
}

}  // namespace

std::vector<PlotPanel> analysis_panels(const Analysis& analysis, const Recording& recording,
                                       const Truth* truth) {
    std::vector<PlotPanel> panels;
    for (const char* id : {"ppg_waveform", "respiratory_waveform"}) {
        const auto found = analysis.waveforms.find(id);
        if (found == analysis.waveforms.end() || found->second.frames.size() == 0) continue;
        panels.push_back({found->first == "ppg_waveform" ? "PPG" : "Respiration",
                          {waveform_series(found->second, id)}});
    }
    for (const char* id : {"heart_rate", "respiratory_rate"}) {
        PlotSeries estimate = rate_series(analysis, recording, id);
        if (estimate.times.empty()) continue;
        PlotPanel panel{get_vital_info(id)->display_name + " (per minute)", {}};
        if (auto true_values = truth_series(truth, estimate, id))
            panel.series.push_back(std::move(*true_values));
        panel.series.push_back(std::move(estimate));
        panels.push_back(std::move(panel));
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
    const double height =
        kTitleHeight + static_cast<double>(panels.size()) * (kPanelHeight + kPanelGap);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\""
        << number(height, 0) << "\" viewBox=\"0 0 " << kWidth << " " << number(height, 0) << "\">\n"
        << "<style>text{font-family:sans-serif;fill:#222}.title{font-size:18px}"
           ".panel{font-size:14px}.tick{font-size:11px}"
           ".frame{fill:none;stroke:#999;stroke-width:1}</style>\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
        << "<text x=\"" << kLeft << "\" y=\"28\" class=\"title\">" << escaped(title) << "</text>\n";
    for (std::size_t i = 0; i < panels.size(); ++i) {
        Range y;
        for (const PlotSeries& series : panels[i].series) {
            for (const double v : series.values)
                y.include(v);
        }
        const Frame frame{
            x.padded(), y.padded(),
            kTitleHeight + kPanelGap - 20 + static_cast<double>(i) * (kPanelHeight + kPanelGap)};
        out << "<g>\n";
        draw_axes(out, frame, panels[i].title);
        draw_legend(out, frame, panels[i].series);
        for (const PlotSeries& series : panels[i].series) {
            draw_line(out, frame, series);
            if (!series.confidence.empty()) draw_points(out, frame, series);
        }
        out << "</g>\n";
    }
    out << "</svg>\n";
}

}  // namespace quorvanta::cli
