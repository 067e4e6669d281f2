// SPDX-License-Identifier: Apache-2.0
// Runs one core operation on command-line arguments and standard input and prints the result as
// text, so that the Python module's tests can compare the module with the core directly.
//
//   find_peaks FS REFINE HINT MIN_RATE MAX_RATE THRESHOLD WINDOW_CYCLES MAX_RATE_CHANGE < signal
//   estimate_heart_rate FS < signal
//   estimate_hrv_metric FS METRIC HINT < signal line, confidence line
//   calculate_roi X Y W H METHOD DETECTOR CONTAINER_W CONTAINER_H FORCE_EVEN
//   get_vital_info ID
//
// Numbers are parsed as doubles and narrowed to float, as the module narrows Python floats.
// HINT, CONTAINER_W and CONTAINER_H may be "none"; REFINE and FORCE_EVEN are 0 or 1; METRIC is a
// canonical HRV metric name; METHOD is a built-in method name or "l,t,r,b"; DETECTOR is
// "default" or "apple_vision". Standard input holds one whitespace-separated sequence per line.
// Floats are printed with %.9g, which round-trips every float exactly.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "geometry/roi.h"
#include "registry/registry.h"
#include "signal/hrv.h"
#include "signal/peaks.h"
#include "signal/rate.h"

namespace {

using namespace quorvanta;
using Args = std::vector<std::string>;

float parse_float(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') throw std::invalid_argument("not a number: " + text);
    return static_cast<float>(value);
}

std::optional<float> parse_optional(const std::string& text) {
    if (text == "none") return std::nullopt;
    return parse_float(text);
}

std::vector<float> read_line_of_floats() {
    std::string line, token;
    std::getline(std::cin, line);
    std::istringstream tokens(line);
    std::vector<float> values;
    while (tokens >> token)
        values.push_back(parse_float(token));
    return values;
}

void print_floats(const std::vector<float>& values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        std::printf("%s%.9g", i == 0 ? "" : " ", static_cast<double>(values[i]));
    std::printf("\n");
}

void find_peaks(const Args& args) {
    const PeakDetectorConfig config{.rate_hint = parse_optional(args.at(2)),
                                    .fs = parse_float(args.at(0)),
                                    .min_rate = parse_float(args.at(3)),
                                    .max_rate = parse_float(args.at(4)),
                                    .detection_threshold = parse_float(args.at(5)),
                                    .window_cycles = parse_float(args.at(6)),
                                    .max_rate_change = parse_float(args.at(7)),
                                    .refractory_fraction = 0.25f,
                                    .refine = args.at(1) == "1",
                                    .presmooth = true};
    std::vector<float> positions;
    for (const auto& segment : detect_peaks(read_line_of_floats(), config)) {
        for (const Peak& peak : segment)
            positions.push_back(peak.position);
    }
    print_floats(positions);
}

void estimate_heart_rate(const Args& args) {
    const RateEstimate estimate =
        estimate_rate(read_line_of_floats(), RateMethod{MethodKind::Periodogram, 0, 0.005f},
                      std::nullopt, nullptr, parse_float(args.at(0)), 40.0f, 220.0f);
    print_floats({estimate.rate, estimate.confidence});
}

// Spelled out rather than looked up, so that the module's name lookup is checked too.
void estimate_hrv_metric(const Args& args) {
    static const std::map<std::string, HrvMetric> metrics = {
        {"sdnn", HrvMetric::Sdnn},   {"rmssd", HrvMetric::Rmssd},
        {"lfhf", HrvMetric::LfHf},   {"stress_index", HrvMetric::StressIndex},
        {"pnn50", HrvMetric::Pnn50}, {"sd1sd2", HrvMetric::Sd1Sd2}};
    const std::vector<float> signal = read_line_of_floats();
    const std::vector<float> confidence = read_line_of_floats();
    const HrvEstimate estimate =
        estimate_hrv(signal, metrics.at(args.at(1)), {}, confidence, parse_optional(args.at(2)),
                     parse_float(args.at(0)), 40.0f, 220.0f);
    print_floats({estimate.value, estimate.confidence});
}

RoiMethod parse_roi_method(const std::string& text) {
    static const std::map<std::string, RoiMethod> named = {
        {"face", roi_method::Face{}},
        {"forehead", roi_method::Forehead{}},
        {"upper_body", roi_method::UpperBody{}},
        {"upper_body_cropped", roi_method::UpperBodyCropped{}}};
    if (const auto found = named.find(text); found != named.end()) return found->second;
    std::vector<float> offsets;
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ',');)
        offsets.push_back(parse_float(part));
    return roi_method::Custom{offsets.at(0), offsets.at(1), offsets.at(2), offsets.at(3)};
}

void calculate_roi(const Args& args) {
    const Rect face{parse_float(args.at(0)), parse_float(args.at(1)), parse_float(args.at(2)),
                    parse_float(args.at(3))};
    const FaceDetector detector =
        args.at(5) == "apple_vision" ? FaceDetector::AppleVision : FaceDetector::Default;
    const Rect roi = quorvanta::calculate_roi(face, parse_roi_method(args.at(4)), detector,
                                              parse_optional(args.at(6)),
                                              parse_optional(args.at(7)), args.at(8) == "1");
    print_floats({roi.x, roi.y, roi.width, roi.height});
}

// One field a line, or "none" when the name finds nothing.
void vital_info(const Args& args) {
    const auto meta = get_vital_info(args.at(0));
    if (!meta) {
        std::printf("none\n");
        return;
    }
    for (const std::string* field : {&meta->id, &meta->display_name, &meta->short_name, &meta->unit,
                                     &meta->color, &meta->emoji})
        std::printf("%s\n", field->c_str());
}

}  // namespace

// A function-try-block: a usage error or a failed operation exits with status 2.
int main(int argc, char** argv) try {
    const std::map<std::string, void (*)(const Args&)> commands = {
        {"find_peaks", find_peaks},
        {"estimate_heart_rate", estimate_heart_rate},
        {"estimate_hrv_metric", estimate_hrv_metric},
        {"calculate_roi", calculate_roi},
        {"get_vital_info", vital_info}};
    const auto command = commands.find(argc > 1 ? argv[1] : "");
    if (command == commands.end())
        throw std::invalid_argument("usage: COMMAND ARGS... (see the source)");
    command->second(Args(argv + 2, argv + argc));
    return 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
    return 2;
}
