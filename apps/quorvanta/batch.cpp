// SPDX-License-Identifier: Apache-2.0
#include "batch.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "progress.h"

namespace quorvanta::cli {
namespace {

struct Outcome {
    std::vector<std::string> warnings;
    std::optional<RecordingSummary> summary;
    std::string error;  // when it failed
};

Outcome run_one(const std::filesystem::path& file, const JobSettings& settings) {
    Outcome outcome;
    try {
        const JobResult job = run_job(file, settings, outcome.warnings, nullptr);
        outcome.summary = summarize(file, job.recording, job.analysis);
    } catch (const std::exception& error) {  // InputError, OutputError, or a fault of this file
        outcome.error = error.what();
    }
    return outcome;
}

}  // namespace

std::size_t run_batch(const std::vector<std::filesystem::path>& files, const JobSettings& settings,
                      unsigned threads, std::ostream& out, std::ostream& errors) {
    std::vector<Outcome> outcomes(files.size());
    std::atomic<std::size_t> next{0};
    std::mutex progress_mutex;
    std::size_t done = 0;
    {
        ProgressBar progress("recordings");
        const auto work = [&] {
            for (std::size_t i = next++; i < files.size(); i = next++) {
                outcomes[i] = run_one(files[i], settings);
                const std::lock_guard lock(progress_mutex);
                progress.update(++done, files.size());
            }
        };
        std::vector<std::jthread> pool;
        const std::size_t workers =
            std::max<std::size_t>(1, std::min<std::size_t>(threads, files.size()));
        for (std::size_t i = 0; i < workers; ++i)
            pool.emplace_back(work);
    }
    std::vector<RecordingSummary> summaries;
    std::size_t failed = 0;
    for (Outcome& outcome : outcomes) {
        for (const std::string& warning : outcome.warnings)
            errors << "quorvanta: warning: " << warning << '\n';
        if (outcome.summary) {
            summaries.push_back(std::move(*outcome.summary));
        } else {
            errors << "quorvanta: error: " << outcome.error << '\n';
            ++failed;
        }
    }
    print_recordings_table(out, summaries);
    if (failed != 0) {
        errors << "quorvanta: " << failed << " of " << files.size() << " recordings failed\n";
    }
    return failed;
}

}  // namespace quorvanta::cli
