// SPDX-License-Identifier: Apache-2.0
#include "recording/columns.h"

#include <array>
#include <cmath>
#include <optional>
#include <unordered_map>

#include "recording/column_index.h"
#include "recording/names.h"
#include "recording/timestamps.h"

namespace quorvanta::detail {
namespace {

constexpr std::array<std::string_view, 5> kFaceColumns{"face_x", "face_y", "face_w", "face_h",
                                                       "face_confidence"};
constexpr std::string_view kConfidenceSuffix = "_confidence";

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() > suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::vector<float> as_floats(const std::vector<double>& values) {
    return {values.begin(), values.end()};
}

// Gives each column its role from its name: the timestamps, a signal's data or confidence, a face
// column, or none.
class ColumnPlanner {
public:
    ColumnPlanner(const std::vector<NamedColumn>& columns, const ColumnSource& source,
                  const ReadOptions& options)
        : columns_(columns), source_(source), index_(columns, source, options.columns) {
        plan_.used.assign(columns.size(), false);
        plan_.timestamp = timestamp_column(options);
        if (plan_.timestamp) plan_.used[*plan_.timestamp] = true;
        find_face();
    }

    ColumnPlan plan(std::vector<std::string>& warnings) {
        std::vector<std::string> unknown;
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (plan_.used[i] || (is_confidence(i) && !index_.is_mapped(i))) continue;
            if (const auto id = index_.signal_of(i)) {
                add_signal(i, *id);
            } else {
                unknown.push_back(columns_[i].name);
            }
        }
        plan_.confidence.resize(plan_.signals.size());
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (!plan_.used[i] && !index_.is_mapped(i) && is_confidence(i))
                add_confidence(i, unknown);
        }
        const std::string where = location(source_.file, source_.header);
        if (plan_.signals.empty())
            throw InputError(where + no_signal(unknown, " column", "the columns "));
        warn_unknown(warnings, where, unknown, "columns");
        return std::move(plan_);
    }

private:
    InputError error(std::size_t column, const std::string& what) const {
        return InputError(location(source_.file, columns_[column].place) + what);
    }

    InputError header_error(const std::string& what) const {
        return InputError(location(source_.file, source_.header) + what);
    }

    bool is_confidence(std::size_t column) const {
        return ends_with(columns_[column].name, kConfidenceSuffix);
    }

    std::optional<std::size_t> timestamp_column(const ReadOptions& options) const {
        if (const auto mapped = index_.mapped_timestamp()) return mapped;
        if (const auto found = index_.find(kTimestampColumn); found && !index_.is_mapped(*found))
            return found;
        if (options.sample_rate) return std::nullopt;
        std::vector<std::string> names;
        for (const NamedColumn& column : columns_)
            names.push_back(column.name);
        const std::string hint = "; without timestamps, give the sample rate (--fs)";
        if (source_.separator.empty())
            throw header_error("no 'timestamp' column among " + quoted_list(names) + hint);
        if (names.size() == 1) {
            throw header_error("no 'timestamp' column: the header is the one column " +
                               quoted_list(names) + " (columns are separated by ',', ';' or tabs)" +
                               hint);
        }
        throw header_error("no 'timestamp' column among " + quoted_list(names) + " (separated by " +
                           source_.separator + ")" + hint);
    }

    void find_face() {
        std::array<std::size_t, 5> face{};
        std::size_t found = 0;
        for (std::size_t i = 0; i < kFaceColumns.size(); ++i) {
            const auto column = index_.find(kFaceColumns[i]);
            if (!column || index_.is_mapped(*column) || plan_.used[*column]) continue;
            face[i] = *column;
            ++found;
        }
        if (found == 0) return;
        if (found != kFaceColumns.size()) {
            throw header_error(
                "the face needs all of face_x, face_y, face_w, face_h and face_confidence");
        }
        plan_.face = face;
        for (const std::size_t column : face)
            plan_.used[column] = true;
    }

    // Each signal has one data column: a second name for it (an alias) is an error.
    void add_signal(std::size_t column, const std::string& id) {
        const auto [other, added] = signal_index_.emplace(id, plan_.signals.size());
        if (!added) {
            throw error(column,
                        "column '" + columns_[column].name + "' names the same signal as column '" +
                            columns_[plan_.signals[other->second].second].name + "' (" + id + ")");
        }
        plan_.signals.emplace_back(id, column);
        plan_.used[column] = true;
    }

    void add_confidence(std::size_t column, std::vector<std::string>& unknown) {
        const std::string& name = columns_[column].name;
        const std::string_view prefix =
            std::string_view(name).substr(0, name.size() - kConfidenceSuffix.size());
        const auto id = index_.signal_of_prefix(prefix);
        if (!id) {
            unknown.push_back(name);
            return;
        }
        const auto signal = signal_index_.find(*id);
        if (signal == signal_index_.end()) {
            throw error(column,
                        "column '" + name + "' has no signal column '" + std::string(prefix) + "'");
        }
        std::optional<std::size_t>& confidence = plan_.confidence[signal->second];
        if (confidence) {
            throw error(column, "column '" + name +
                                    "' is the confidence of the same signal as column '" +
                                    columns_[*confidence].name + "' (" + *id + ")");
        }
        confidence = column;
        plan_.used[column] = true;
    }

    const std::vector<NamedColumn>& columns_;
    const ColumnSource& source_;
    const ColumnIndex index_;
    ColumnPlan plan_;
    std::unordered_map<std::string, std::size_t> signal_index_;  // id -> index in plan_.signals
};

FaceTrack face_track(const std::vector<NamedColumn>& columns,
                     const std::array<std::size_t, 5>& face) {
    FaceTrack track;
    const std::size_t frames = columns[face[0]].values.size();
    track.boxes.reserve(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        track.boxes.push_back({static_cast<float>(columns[face[0]].values[i]),
                               static_cast<float>(columns[face[1]].values[i]),
                               static_cast<float>(columns[face[2]].values[i]),
                               static_cast<float>(columns[face[3]].values[i])});
    }
    track.confidence = as_floats(columns[face[4]].values);
    return track;
}

std::vector<double> timestamps_at(double sample_rate, std::size_t frames) {
    std::vector<double> timestamps(frames);
    for (std::size_t i = 0; i < frames; ++i)
        timestamps[i] = static_cast<double>(i) / sample_rate;
    return timestamps;
}

}  // namespace

ColumnPlan plan_columns(const std::vector<NamedColumn>& columns, const ColumnSource& source,
                        const ReadOptions& options, std::vector<std::string>& warnings) {
    return ColumnPlanner(columns, source, options).plan(warnings);
}

Recording recording_from_columns(std::vector<NamedColumn> columns, const ColumnPlan& plan,
                                 const ColumnSource& source, const ReadOptions& options,
                                 std::vector<std::string>& warnings) {
    Recording recording;
    const std::size_t frames = columns.empty() ? 0 : columns.front().values.size();
    if (plan.timestamp) {
        if (options.sample_rate) {
            warnings.push_back(location(source.file) + "ignoring the sample rate: column '" +
                               columns[*plan.timestamp].name + "' holds the timestamps");
        }
        recording.timestamps = std::move(columns[*plan.timestamp].values);
    } else {
        recording.timestamps = timestamps_at(*options.sample_rate, frames);
    }
    for (std::size_t s = 0; s < plan.signals.size(); ++s) {
        const auto& [id, column] = plan.signals[s];
        recording.signals.push_back({id, as_floats(columns[column].values),
                                     plan.confidence[s]
                                         ? as_floats(columns[*plan.confidence[s]].values)
                                         : std::vector<float>{}});
    }
    if (plan.face) recording.face = face_track(columns, *plan.face);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].missing == 0 || !plan.used[i]) continue;
        warnings.push_back(location(source.file, columns[i].place) + "column '" + columns[i].name +
                           "': " + std::to_string(columns[i].missing) + " " +
                           std::string(source.missing_kind) + " read as missing values (NaN)");
    }
    if (plan.timestamp) {
        TimestampChecker checker(warnings);
        for (std::size_t i = 0; i < recording.frames(); ++i)
            checker.check(recording.timestamps[i], source.frame_place(i));
        checker.finish(source.file, recording);
        to_seconds(recording.timestamps, options.time_unit);
    }
    return recording;
}

}  // namespace quorvanta::detail
