// SPDX-License-Identifier: Apache-2.0
// An SVG plot of an analysis: the cleaned PPG and respiration waveforms over time, heart rate
// and respiratory rate per batch (points shaded by their confidence), and the true values when
// the recording has them.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "analysis.h"
#include "truth.h"

namespace quorvanta::cli {

struct PlotSeries {
    std::string label;
    std::string color;  // "#RRGGBB"
    std::vector<double> times;
    std::vector<double> values;
    std::vector<double> confidence;  // per point, 0..1; empty draws a plain line
    bool dashed = false;
};

struct PlotPanel {
    std::string title;
    std::vector<PlotSeries> series;
};

std::vector<PlotPanel> analysis_panels(const Analysis& analysis, const Recording& recording,
                                       const Truth* truth);

void write_svg(std::ostream& out, const std::string& title, const std::vector<PlotPanel>& panels);

}  // namespace quorvanta::cli
