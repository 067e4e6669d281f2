// SPDX-License-Identifier: Apache-2.0
#include "recording_job.h"

#include <string>

#include "output_file.h"
#include "state/frame_interval.h"
#include "svg_plot.h"

namespace quorvanta::cli {
namespace {

// Frames more than a second apart give no vitals; such intervals are timestamps in a smaller unit
// than the one the command was told, and the message names the unit that fits.
void require_plausible_frame_interval(const std::filesystem::path& file, const Recording& recording,
                                      TimeUnit unit) {
    const auto problem = long_frame_interval_problem(
        recording.timestamps, units_per_second(unit),
        [](const SmallerTimeUnit& fits) { return "add --time-unit " + std::string(fits.symbol); });
    if (problem) throw InputError(file.string() + ": " + *problem);
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
