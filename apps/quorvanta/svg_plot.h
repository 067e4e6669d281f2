// SPDX-License-Identifier: Apache-2.0
// An SVG plot of an analysis: the PPG and respiration waveforms over time, with the stretch the
// session returned unprocessed marked as such, heart rate and respiratory rate per batch (points
// as opaque as they are confident, lines broken where a batch gave no estimate), the true values
// when the recording has them, and under each panel a strip with the confidence of what it shows.
// Rate panels add the value the session's checks stand behind, their quality as a line on the
// strip, and draw an estimate of low quality as a ring.
// Long waveforms are drawn as their envelope, two points per pixel column at most.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "analysis.h"
#include "truth.h"

namespace quorvanta::cli {

struct PlotSeries {
    enum class Style { Line, Unprocessed, Estimate, Truth, Checked };

    std::string label;
    std::string color;  // "#RRGGBB"
    Style style = Style::Line;
    std::vector<double> times;
    std::vector<double> values;       // NaN where there is no value: the line breaks there
    std::vector<double> confidence;   // per point, 0..1 (Estimate: its opacity)
    std::vector<double> quality;      // Estimate: per point, 0..1 (NaN: unchecked); low: a ring
    std::vector<std::string> checks;  // Estimate: per point, the checks' reasons
};

struct PlotPanel {
    std::string title;
    std::vector<PlotSeries> series;
    PlotSeries confidence;              // drawn as a strip of 0..1 under the panel
    std::optional<PlotSeries> quality;  // drawn as a line on the strip
    std::optional<std::pair<double, double>> unprocessed;  // times returned unprocessed
};

std::vector<PlotPanel> analysis_panels(const Analysis& analysis, const Recording& recording,
                                       const Truth* truth);

void write_svg(std::ostream& out, const std::string& title, const std::vector<PlotPanel>& panels);

}  // namespace quorvanta::cli
