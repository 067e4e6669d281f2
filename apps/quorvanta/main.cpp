// SPDX-License-Identifier: Apache-2.0
// quorvanta: analyse recordings of per-frame model outputs with the library, and list its vitals.
//
//   quorvanta analyze [FILE] [options]   stream FILE (the bundled sample without one) through a
//                                        session and show the vitals
//   quorvanta vitals                     list the vital registry
//
// Exit status: 0 on success, 1 when the input or an output file fails, 2 on a usage error.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <optional>
#include <string>

#include "analysis.h"
#include "ffi/contract_version.h"
#include "output_file.h"
#include "progress.h"
#include "recording.h"
#include "registry/registry.h"
#include "report.h"
#include "svg_plot.h"
#include "truth.h"

namespace quorvanta::cli {
namespace {

struct AnalyzeArguments {
    std::string file;
    std::string mode = "stream";
    std::string waveform_mode = "incremental";
    std::string time_unit = "s";
    std::optional<float> fps;
    std::string truth_file;
    bool timeline = false;
    std::string json_file;
    bool json_waveforms = false;
    bool json_face = false;
    std::string plot_file;
    AnalysisOptions options;
};

// The sample recording: installed beside the command (../share/quorvanta), else in the source tree.
std::filesystem::path bundled_sample() {
    std::error_code error;
    const auto command = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto installed =
            command.parent_path().parent_path() / "share" / "quorvanta" / "sample_recording.csv";
        if (std::filesystem::exists(installed)) return installed;
    }
    return QUORVANTA_SOURCE_SAMPLE;
}

WaveformMode parse_waveform_mode(const std::string& text) {
    if (text == "incremental") return waveform_mode::Incremental{};
    if (text == "global") return waveform_mode::Global{};
    constexpr std::string_view kWindowed = "windowed:";
    if (text.rfind(kWindowed, 0) == 0) {
        try {
            std::size_t used = 0;
            const float seconds = std::stof(text.substr(kWindowed.size()), &used);
            if (used == text.size() - kWindowed.size() && seconds > 0) {
                return waveform_mode::Windowed{seconds};
            }
        } catch (const std::exception&) {
        }
    }
    throw CLI::ValidationError(
        "--waveform-mode", "expected incremental, global or windowed:SECONDS, got '" + text + "'");
}

TimeUnit parse_time_unit(const std::string& text) {
    if (text == "ms") return TimeUnit::Milliseconds;
    if (text == "us") return TimeUnit::Microseconds;
    return TimeUnit::Seconds;
}

// Frames more than a second apart give no vitals; such intervals are timestamps in a smaller unit
// than the one the command was told.
void require_plausible_frame_interval(const std::filesystem::path& file, const Recording& recording,
                                      const std::string& unit) {
    constexpr double kLongestInterval = 1.0;  // seconds
    const auto interval = median_frame_interval(recording);
    if (!interval || *interval <= kLongestInterval) return;
    std::string message = file.string() + ": the median frame interval is " + fixed(*interval, 1) +
                          " s, too long for any vital";
    const double in_file_units = *interval * (unit == "ms" ? 1e3 : unit == "us" ? 1e6 : 1.0);
    if (unit == "s" && in_file_units <= 1e3 * kLongestInterval) {
        message += ": the timestamps look like milliseconds; if they are, add --time-unit ms";
    } else if (unit != "us" && in_file_units <= 1e6 * kLongestInterval) {
        message += ": the timestamps look like microseconds; if they are, add --time-unit us";
    }
    throw InputError(message);
}

// "N frames, S s at F fps", from the timestamps; the frame rate the session was given follows
// when it differs from the measured one (set by --fps, or 30 where nothing can be measured).
std::string describe_timing(const Recording& recording, float fps_target) {
    const auto span = time_span(recording);
    std::string text = std::to_string(recording.frames()) + " frames";
    std::string measured;
    if (!span) {
        text += " without a finite timestamp";
    } else if (span->seconds() < 0) {
        text += ", timestamps running backwards from " + fixed(span->first, 1) + " s to " +
                fixed(span->last, 1) + " s";
    } else if (span->frames() < 2 || span->seconds() == 0) {
        text += " at " + fixed(span->first, 1) + " s";
    } else {
        measured = fixed(measured_fps(recording), 1);
        text += ", " + fixed(span->seconds(), 1) + " s at " + measured + " fps";
    }
    const std::string analysed = fixed(fps_target, 1);
    if (analysed != measured) text += ", analysed at " + analysed + " fps";
    return text;
}

void print_summary(std::ostream& out, const std::filesystem::path& file, const Recording& recording,
                   const Analysis& analysis) {
    const BufferConfig& buffers = analysis.buffers;
    out << "Recording  " << file.string() << "\n           "
        << describe_timing(recording, analysis.config.fps_target) << "; signals";
    for (std::size_t i = 0; i < recording.signals.size(); ++i) {
        out << (i == 0 ? " " : ", ") << recording.signals[i].id;
    }
    out << (recording.face ? "; face track\n" : "\n");
    const std::uint32_t most =
        analysis.mode == InferenceMode::File ? buffers.file_max : buffers.stream_max;
    out << "Inference  " << analysis.batches.size() << " batches of at most " << most << " frames ("
        << buffers.min_no_state << " to start, " << buffers.min_with_state << " with state), "
        << buffers.overlap << " of overlap";
    if (analysis.dropped_frames != 0) out << "; " << analysis.dropped_frames << " frames dropped";
    out << "\n\n";
}

std::optional<Truth> load_truth(const AnalyzeArguments& arguments,
                                const std::filesystem::path& file) {
    if (!arguments.truth_file.empty()) return read_truth(arguments.truth_file);
    const auto beside = truth_path_for(file);
    if (std::filesystem::exists(beside)) return read_truth(beside);
    return std::nullopt;
}

int analyze_command(AnalyzeArguments arguments) {
    const std::filesystem::path file =
        arguments.file.empty() ? bundled_sample() : std::filesystem::path(arguments.file);
    std::vector<std::string> warnings;
    const Recording recording =
        read_recording(file, warnings, {parse_time_unit(arguments.time_unit)});
    for (const std::string& warning : warnings)
        std::cerr << "quorvanta: warning: " << warning << '\n';
    require_plausible_frame_interval(file, recording, arguments.time_unit);
    const std::optional<Truth> truth = load_truth(arguments, file);

    arguments.options.mode = arguments.mode == "file" ? InferenceMode::File : InferenceMode::Stream;
    arguments.options.waveform_mode = parse_waveform_mode(arguments.waveform_mode);
    arguments.options.fps = arguments.fps;
    arguments.options.keep_waveforms = arguments.json_waveforms || !arguments.plot_file.empty();
    arguments.options.keep_face = arguments.json_face;
    Analysis analysis = [&] {
        ProgressBar progress;
        return analyze(recording, arguments.options,
                       [&](std::size_t done, std::size_t total) { progress.update(done, total); });
    }();
    const Truth* known_truth = truth ? &*truth : nullptr;
    const std::vector<VitalRow> rows = final_vitals(recording, analysis, known_truth);

    if (!arguments.json_file.empty()) {
        write_output(arguments.json_file, [&](std::ostream& out) {
            write_analysis_json(out, recording, analysis, rows,
                                {arguments.json_waveforms, arguments.json_face});
        });
    }
    if (!arguments.plot_file.empty()) {
        write_output(arguments.plot_file, [&](std::ostream& out) {
            write_svg(out, "quorvanta analyze " + file.filename().string(),
                      analysis_panels(analysis, recording, known_truth));
        });
    }
    if (arguments.json_file == "-") return 0;  // standard output holds the JSON alone
    print_summary(std::cout, file, recording, analysis);
    if (arguments.timeline) {
        print_timeline(std::cout, recording, analysis);
        std::cout << '\n';
    }
    if (rows.empty()) {
        std::cout << (analysis.batches.empty()
                          ? "No vitals: the recording gave the model no batch to run.\n"
                          : "No vitals: the recording is too short for any estimate.\n");
        return 0;
    }
    std::cout << "Vitals at " << std::fixed << std::setprecision(2)
              << batch_time(recording, analysis.batches.back()) << " s\n"
              << std::defaultfloat;
    print_vitals_table(std::cout, rows, known_truth != nullptr);
    if (!arguments.plot_file.empty())
        std::cout << "\nPlot written to " << arguments.plot_file << '\n';
    if (!arguments.json_file.empty())
        std::cout << "JSON written to " << arguments.json_file << '\n';
    return 0;
}

int vitals_command() {
    std::vector<std::vector<std::string>> table{
        {"Id", "Aliases", "Name", "Unit", "Colour", "Emoji"}};
    for (const std::string_view id : vital_ids()) {
        const auto info = get_vital_info(id);
        std::string aliases;
        for (const std::string_view alias : vital_aliases(id)) {
            aliases += (aliases.empty() ? "" : ", ") + std::string(alias);
        }
        table.push_back({std::string(id), aliases.empty() ? "-" : aliases, info->display_name,
                         info->unit, info->color, info->emoji});
    }
    print_aligned(std::cout, table);
    return 0;
}

// Finite numbers above zero.
const CLI::Validator kPositive(
    [](const std::string& text) {
        try {
            const double value = std::stod(text);
            if (std::isfinite(value) && value > 0) return std::string();
        } catch (const std::exception&) {
        }
        return "expected a number above zero, got '" + text + "'";
    },
    "POSITIVE");

void add_analyze_options(CLI::App& command, AnalyzeArguments& arguments) {
    command
        .add_option("FILE", arguments.file,
                    "Recording (CSV or JSON); the bundled sample when left out")
        ->check(CLI::ExistingFile);
    command.add_option("--input-size", arguments.options.input_size, "Model input edge in pixels")
        ->capture_default_str();
    command.add_option("--n-inputs", arguments.options.n_inputs, "Frames per inference")
        ->capture_default_str();
    command.add_option("--mode", arguments.mode, "Inference mode")
        ->check(CLI::IsMember({"stream", "file"}))
        ->capture_default_str();
    command
        .add_option("--waveform-mode", arguments.waveform_mode,
                    "incremental, global or windowed:SECONDS")
        ->capture_default_str();
    command
        .add_option("--poll-interval", arguments.options.poll_interval,
                    "Seconds of recording between planner polls")
        ->check(kPositive)
        ->capture_default_str();
    command.add_option("--fps", arguments.fps, "Frame rate fed to the model (default: measured)")
        ->check(kPositive);
    command.add_option("--time-unit", arguments.time_unit, "Unit of the recording's timestamps")
        ->check(CLI::IsMember({"s", "ms", "us"}))
        ->capture_default_str();
    command
        .add_option("--truth", arguments.truth_file,
                    "True values (default: NAME.truth.json beside the recording, if present)")
        ->check(CLI::ExistingFile);
    command.add_flag("--timeline", arguments.timeline, "Also print one row per batch");
    command.add_option("--json", arguments.json_file,
                       "Write the results as JSON to FILE ('-': stdout)");
    command.add_flag("--json-waveforms", arguments.json_waveforms,
                     "Include the waveforms in the JSON");
    command.add_flag("--json-face", arguments.json_face, "Include the face track in the JSON");
    command.add_option("--plot", arguments.plot_file, "Write an SVG plot to FILE");
}

int run(int argc, char** argv) {
    CLI::App app{"Vital signs from the per-frame outputs of a camera-based vital-sign model."};
    app.name("quorvanta");
    app.set_version_flag("--version", std::string("quorvanta (quorvanta_core ") +
                                          QUORVANTA_VERSION + ", C interface contract version " +
                                          std::to_string(ffi::kContractVersion) + ")");
    app.require_subcommand(1);
    AnalyzeArguments arguments;
    CLI::App* analyze = app.add_subcommand("analyze", "Analyse a recording of model outputs");
    add_analyze_options(*analyze, arguments);
    CLI::App* vitals = app.add_subcommand("vitals", "List the vitals the library knows");
    try {
        app.parse(argc, argv);
        if (analyze->parsed()) parse_waveform_mode(arguments.waveform_mode);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : 2;
    }
    try {
        if (vitals->parsed()) return vitals_command();
        return analyze_command(arguments);
    } catch (const InputError& error) {
        std::cerr << "quorvanta: error: " << error.what() << '\n';
    } catch (const OutputError& error) {
        std::cerr << "quorvanta: error: " << error.what() << '\n';
    }
    return 1;
}

}  // namespace
}  // namespace quorvanta::cli

int main(int argc, char** argv) {
    return quorvanta::cli::run(argc, argv);
}
