// SPDX-License-Identifier: Apache-2.0
#include "truth.h"

#include <fstream>
#include <nlohmann/json.hpp>

#include "recording/recording.h"

namespace quorvanta::cli {

std::optional<double> Truth::mean_over(const std::string& vital, double end, double seconds) const {
    const auto found = vitals.find(vital);
    if (found == vitals.end()) return std::nullopt;
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < timestamps.size() && i < found->second.size(); ++i) {
        if (timestamps[i] > end - seconds && timestamps[i] <= end) {
            sum += found->second[i];
            ++count;
        }
    }
    if (count == 0) return std::nullopt;
    return sum / static_cast<double>(count);
}

std::filesystem::path truth_path_for(const std::filesystem::path& recording) {
    std::filesystem::path truth = recording;
    truth.replace_extension(".truth.json");
    return truth;
}

Truth read_truth(const std::filesystem::path& file) {
    std::ifstream stream(file);
    if (!stream) throw InputError(file.string() + ": cannot open the file");
    try {
        const nlohmann::json document = nlohmann::json::parse(stream);
        Truth truth;
        truth.timestamps = document.at("timestamp").get<std::vector<double>>();
        for (const auto& [id, values] : document.at("vitals").items()) {
            truth.vitals[id] = values.get<std::vector<double>>();
        }
        return truth;
    } catch (const nlohmann::json::exception&) {
        throw InputError(file.string() +
                         ": not a truth file: expected {\"timestamp\": [numbers], \"vitals\": "
                         "{\"<id>\": [numbers]}}");
    }
}

}  // namespace quorvanta::cli
