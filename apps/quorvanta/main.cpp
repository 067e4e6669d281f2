// SPDX-License-Identifier: Apache-2.0
// quorvanta: analyse recordings of per-frame model outputs with the library, and list its vitals.
//
//   quorvanta analyze [FILE] [options]   stream FILE (the bundled sample without one) through a
//                                        session and show the vitals
//   quorvanta analyze FILE|FOLDER ...    the same for many recordings on threads, one summary
//                                        row each
//   quorvanta vitals                     list the vital registry
//
// Exit status: 0 on success, 1 when the input or an output file fails, 2 on a usage error.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "analysis.h"
#include "batch.h"
#include "ffi/contract_version.h"
#include "output_file.h"
#include "progress.h"
#include "recording/recording.h"
#include "recording_job.h"
#include "registry/registry.h"
#include "report.h"
#include "state/session.h"

namespace quorvanta::cli {
namespace {

struct AnalyzeArguments {
    std::vector<std::string> files;
    unsigned jobs = std::max(1U, std::thread::hardware_concurrency());
    std::string mode = "stream";
    std::string waveform_mode = "incremental";
    std::string time_unit = "s";
    std::optional<double> sample_rate;
    std::optional<double> resample_rate;
    std::vector<std::string> columns;  // SIGNAL=COLUMN
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
        auto installed =
            command.parent_path().parent_path() / "share" / "quorvanta" / "sample_recording.csv";
        if (std::filesystem::exists(installed)) return installed;
    }
    return QUORVANTA_SOURCE_SAMPLE;
}

// The command spells the modes in lower case, with the window's seconds after a colon.
constexpr WaveformModeNames kCommandModeNames{"incremental", "global", "windowed"};

// The positive number of seconds `text` holds entirely, or nothing.
std::optional<float> positive_seconds(const std::string& text) {
    try {
        std::size_t used = 0;
        const float seconds = std::stof(text, &used);
        if (used == text.size() && seconds > 0) return seconds;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

WaveformMode parse_waveform_mode(const std::string& text) {
    const auto colon = text.find(':');
    std::optional<WaveformMode> mode;
    if (colon == std::string::npos) {
        mode = waveform_mode_named(text, std::nullopt, kCommandModeNames);
    } else if (const auto seconds = positive_seconds(text.substr(colon + 1))) {
        mode = waveform_mode_named(std::string_view(text).substr(0, colon), seconds,
                                   kCommandModeNames);
    }
    if (mode) return *mode;
    throw CLI::ValidationError(
        "--waveform-mode", "expected incremental, global or windowed:SECONDS, got '" + text + "'");
}

TimeUnit parse_time_unit(const std::string& text) {
    if (text == "ms") return TimeUnit::Milliseconds;
    if (text == "us") return TimeUnit::Microseconds;
    return TimeUnit::Seconds;
}

// A --column mapping, SIGNAL=COLUMN (or timestamp=COLUMN), as its target and the file's name.
std::pair<std::string, std::string> parse_column_mapping(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == 0 || equals == std::string::npos || equals + 1 == text.size()) {
        throw CLI::ValidationError(
            "--column", "expected SIGNAL=COLUMN, such as ppg_waveform=PLETH, got '" + text + "'");
    }
    return {text.substr(0, equals), text.substr(equals + 1)};
}

// "N frames, S s at F fps", from the timestamps; the frame rate the session was given follows
// when it differs from the measured one (set by --fps, or 30 where nothing can be measured).
std::string describe_timing(const Recording& recording, float fps_target) {
    const auto span = time_span(recording);
    std::string text = std::to_string(recording.frames()) + " frames";
    std::string measured;
    if (!span) {
        text += " without a finite timestamp";
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

// The recordings that `paths` name: files as given, and the CSV and JSON files of each folder
// (truth files aside) in name order.
std::vector<std::filesystem::path> recordings_in(const std::vector<std::string>& paths) {
    if (paths.empty()) return {bundled_sample()};
    std::vector<std::filesystem::path> files;
    for (const std::filesystem::path path : paths) {
        if (!std::filesystem::is_directory(path)) {
            files.push_back(path);
            continue;
        }
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(path)) {
            const std::string name = entry.path().filename().string();
            const bool recording =
                entry.path().extension() == ".csv" ||
                (entry.path().extension() == ".json" && !name.ends_with(".truth.json"));
            if (entry.is_regular_file() && recording) found.push_back(entry.path());
        }
        if (found.empty()) {
            throw InputError(path.string() + ": no recording (.csv or .json file) in the folder");
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

JobSettings job_settings(const AnalyzeArguments& arguments) {
    JobSettings settings;
    settings.options = arguments.options;
    settings.options.mode = arguments.mode == "file" ? InferenceMode::File : InferenceMode::Stream;
    settings.options.waveform_mode = parse_waveform_mode(arguments.waveform_mode);
    settings.options.fps = arguments.fps;
    settings.options.keep_waveforms = arguments.json_waveforms || !arguments.plot_file.empty();
    settings.options.keep_face = arguments.json_face;
    settings.read.time_unit = parse_time_unit(arguments.time_unit);
    settings.read.sample_rate = arguments.sample_rate;
    settings.read.resample_rate = arguments.resample_rate;
    for (const std::string& mapping : arguments.columns)
        settings.read.columns.push_back(parse_column_mapping(mapping));
    settings.truth_file = arguments.truth_file;
    settings.json_target = arguments.json_file;
    settings.json_content = {arguments.json_waveforms, arguments.json_face};
    settings.plot_target = arguments.plot_file;
    return settings;
}

// Options that name one recording's output or input make no sense for many.
void require_options_for_many(const AnalyzeArguments& arguments,
                              const std::vector<std::filesystem::path>& files) {
    constexpr const char* kFolder =
        "with several recordings, give a folder (ending in /) for one file per recording";
    if (!arguments.json_file.empty() && !names_folder(arguments.json_file))
        throw CLI::ValidationError("--json", kFolder);
    if (!arguments.plot_file.empty() && !names_folder(arguments.plot_file))
        throw CLI::ValidationError("--plot", kFolder);
    if (!arguments.truth_file.empty()) {
        throw CLI::ValidationError("--truth",
                                   "with several recordings, each is compared with the "
                                   "NAME.truth.json beside it");
    }
    if (arguments.timeline)
        throw CLI::ValidationError("--timeline", "shows the batches of one recording only");
    if (arguments.json_file.empty() && arguments.plot_file.empty()) return;
    std::map<std::string, std::filesystem::path> names;
    for (const auto& file : files) {
        const auto [other, added] = names.emplace(file.stem().string(), file);
        if (!added) {
            throw CLI::ValidationError("FILES", other->second.string() + " and " + file.string() +
                                                    " would write outputs of the same name");
        }
    }
}

// Creates the folder an output target names, when it ends in '/' and does not exist yet.
void create_output_folder(const std::string& target) {
    if (target.empty() || target.back() != '/') return;
    std::error_code error;
    std::filesystem::create_directories(target, error);
    if (error) throw OutputError(target + ": cannot create the folder: " + error.message());
}

void print_warnings(const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings)
        std::cerr << "quorvanta: warning: " << warning << '\n';
}

// One recording, reported in full.
int report_one(const std::filesystem::path& file, const JobSettings& settings, bool timeline) {
    std::vector<std::string> warnings;
    JobResult job;
    try {
        ProgressBar progress;
        job = run_job(file, settings, warnings,
                      [&](std::size_t done, std::size_t total) { progress.update(done, total); });
    } catch (...) {
        print_warnings(warnings);
        throw;
    }
    print_warnings(warnings);
    if (settings.json_target == "-") return 0;  // standard output holds the JSON alone
    const Analysis& analysis = job.analysis;
    print_summary(std::cout, file, job.recording, analysis);
    if (timeline) {
        print_timeline(std::cout, job.recording, analysis);
        std::cout << '\n';
    }
    if (std::ranges::all_of(job.rows,
                            [](const VitalRow& row) { return row.missing.has_value(); })) {
        std::cout << (analysis.batches.empty()
                          ? "No vitals: the recording gave the model no batch to run.\n"
                          : "No vitals: the recording is too short for any estimate.\n");
        return 0;
    }
    std::cout << "Vitals at " << std::fixed << std::setprecision(2)
              << batch_time(job.recording, analysis.batches.back()) << " s\n"
              << std::defaultfloat;
    print_vitals_table(std::cout, job.rows, job.truth.has_value());
    if (!job.plot_file.empty()) std::cout << "\nPlot written to " << job.plot_file.string() << '\n';
    if (!job.json_file.empty()) std::cout << "JSON written to " << job.json_file.string() << '\n';
    return 0;
}

int analyze_command(const AnalyzeArguments& arguments) {
    const std::vector<std::filesystem::path> files = recordings_in(arguments.files);
    const bool many =
        files.size() > 1 ||
        std::any_of(arguments.files.begin(), arguments.files.end(),
                    [](const std::string& path) { return std::filesystem::is_directory(path); });
    if (many) require_options_for_many(arguments, files);
    const JobSettings settings = job_settings(arguments);
    create_output_folder(settings.json_target);
    create_output_folder(settings.plot_target);
    if (!many) return report_one(files.front(), settings, arguments.timeline);
    return run_batch(files, settings, arguments.jobs, std::cout, std::cerr) == 0 ? 0 : 1;
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
        .add_option("FILES", arguments.files,
                    "Recordings (CSV or JSON) or folders of them; the bundled sample when left out")
        ->check(CLI::ExistingPath);
    command
        .add_option("-j,--jobs", arguments.jobs,
                    "Recordings analysed at once (default: the number of cores)")
        ->check(CLI::Range(1U, 4096U));
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
        .add_option("--fs", arguments.sample_rate,
                    "Frames per second of a recording without timestamps: its frames are timed by "
                    "their number")
        ->check(kPositive);
    command
        .add_option("--resample", arguments.resample_rate,
                    "Resample the recording to HZ frames per second before the analysis (each "
                    "frame the mean of the samples in its frame interval)")
        ->check(kPositive);
    command.add_option("--column", arguments.columns,
                       "Read a column of another name as a signal or the timestamps: "
                       "SIGNAL=COLUMN, such as ppg_waveform=PLETH (repeatable)");
    command
        .add_option("--truth", arguments.truth_file,
                    "True values (default: NAME.truth.json beside the recording, if present)")
        ->check(CLI::ExistingFile);
    command.add_flag("--timeline", arguments.timeline, "Also print one row per batch");
    command.add_option("--json", arguments.json_file,
                       "Write the results as JSON to FILE ('-': stdout; FOLDER/: one file each)");
    command.add_flag("--json-waveforms", arguments.json_waveforms,
                     "Include the waveforms in the JSON");
    command.add_flag("--json-face", arguments.json_face, "Include the face track in the JSON");
    command.add_option("--plot", arguments.plot_file,
                       "Write an SVG plot to FILE (FOLDER/: one plot each)");
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
    } catch (const CLI::ParseError& error) {  // found once the folders are read
        app.exit(error);
        return 2;
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
    try {
        return quorvanta::cli::run(argc, argv);
    } catch (const std::exception& error) {  // such as running out of memory
        std::cerr << "quorvanta: error: " << error.what() << '\n';
    }
    return 1;
}
