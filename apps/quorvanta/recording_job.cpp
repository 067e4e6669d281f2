// SPDX-License-Identifier: Apache-2.0
#include "recording_job.h"

#include <tuple>

#include "output_file.h"
#include "svg_plot.h"

namespace quorvanta::cli {
namespace {

constexpr double kLongestFrameInterval = 1.0;  // seconds; frames further apart give no vital

double units_per_second(TimeUnit unit) {
    return unit == TimeUnit::Milliseconds ? 1e3 : unit == TimeUnit::Microseconds ? 1e6 : 1.0;
}

// Frames more than a second apart give no vitals; such intervals are timestamps in a smaller unit
// than the one the command was told, and the message names the unit that fits.
void require_plausible_frame_interval(const std::filesystem::path& file, const Recording& recording,
                                      TimeUnit unit) {
    const auto interval = median_frame_interval(recording);
    if (!interval || *interval <= kLongestFrameInterval) return;
    std::string message = file.string() + ": the median frame interval is " + fixed(*interval, 1) +
                          " s, too long for any vital";
    const double in_file_units = *interval * units_per_second(unit);
    for (const auto& [smaller, name, option] :
         {std::tuple{TimeUnit::Milliseconds, "milliseconds", "ms"},
          std::tuple{TimeUnit::Microseconds, "microseconds", "us"}}) {
        if (units_per_second(smaller) > units_per_second(unit) &&
            in_file_units / units_per_second(smaller) <= kLongestFrameInterval) {
            message += std::string(": the timestamps look like ") + name +
                       "; if they are, add --time-unit " + option;
            break;
        }
    }
    throw InputError(message);
}

std::optional<Truth> load_truth(const JobSettings& settings, const std::filesystem::path& file) {
    if (!settings.truth_file.empty()) return read_truth(settings.truth_file);
    const auto beside = truth_path_for(file);
    if (std::filesystem::exists(beside)) return read_truth(beside);
    return std::nullopt;
}

}  // namespace

bool names_folder(const std::string& target) {
    return !target.empty() && (target.back() == '/' || std::filesystem::is_directory(target));
}

std::filesystem::path output_path(const std::string& target, const std::filesystem::path& recording,
                                  std::string_view extension) {
    if (!names_folder(target)) return target;
    return std::filesystem::path(target) / (recording.stem().string() + std::string(extension));
}

JobResult run_job(const std::filesystem::path& file, const JobSettings& settings,
                  std::vector<std::string>& warnings, const Progress& progress) {
    JobResult job;
    job.recording = read_recording(file, warnings, settings.read);
    require_plausible_frame_interval(file, job.recording, settings.read.time_unit);
    job.truth = load_truth(settings, file);
    job.analysis = analyze(job.recording, settings.options, progress);
    const Truth* truth = job.truth ? &*job.truth : nullptr;
    job.rows = final_vitals(job.recording, job.analysis, truth);
    if (!settings.json_target.empty()) {
        job.json_file = output_path(settings.json_target, file, ".json");
        write_output(job.json_file, [&](std::ostream& out) {
            write_analysis_json(out, job.recording, job.analysis, job.rows, settings.json_content);
        });
    }
    if (!settings.plot_target.empty()) {
        job.plot_file = output_path(settings.plot_target, file, ".svg");
        write_output(job.plot_file, [&](std::ostream& out) {
            write_svg(out, "quorvanta analyze " + file.filename().string(),
                      analysis_panels(job.analysis, job.recording, truth));
        });
    }
    return job;
}

}  // namespace quorvanta::cli
