// SPDX-License-Identifier: Apache-2.0
#include "recording/recording.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string_view>
#include <type_traits>

#include "recording/csv.h"
#include "recording/decimal.h"
#include "registry/registry.h"

namespace quorvanta {
namespace {

constexpr std::array<std::string_view, 5> kFaceColumns{"face_x", "face_y", "face_w", "face_h",
                                                       "face_confidence"};
constexpr std::string_view kConfidenceSuffix = "_confidence";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kMaxReportedWarnings = 5;

// "FILE:LINE:COLUMN: " with the parts that are known (0 means unknown).
std::string location(const std::filesystem::path& file, std::size_t line = 0,
                     std::size_t column = 0) {
    std::string text = file.string();
    if (line != 0) text.append(":").append(std::to_string(line));
    if (column != 0) text.append(":").append(std::to_string(column));
    return text + ": ";
}

std::string read_text(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) throw InputError(location(file) + "cannot open the file");
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() > suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string quoted_list(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text.append(text.empty() ? "'" : ", '").append(name).append("'");
    return text;
}

std::string plain_list(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text.append(text.empty() ? "" : ", ").append(name);
    return text;
}

// The canonical id of the signal that `name` names (an id or an alias), if it names one.
std::optional<std::string> signal_named(std::string_view name) {
    const auto spec = lookup_vital(name);
    const auto ids = signal_ids();
    if (!spec || std::find(ids.begin(), ids.end(), spec->id) == ids.end()) return std::nullopt;
    return spec->id;
}

std::string expected_signals() {
    return "expected a signal: " + plain_list(signal_ids()) +
           " (or an alias that 'quorvanta vitals' lists, such as ppg or resp)";
}

// The complaint about a recording whose `names` name no signal: "no signal{none}" without
// names, else "no signal among {among}'a', 'b'".
std::string no_signal(const std::vector<std::string>& names, std::string_view none,
                      std::string_view among) {
    return "no signal" +
           (names.empty() ? std::string(none)
                          : " among " + std::string(among) + quoted_list(names)) +
           "; " + expected_signals();
}

// The warning about names that are neither a signal nor anything else the format knows.
void warn_unknown(std::vector<std::string>& warnings, const std::string& where,
                  const std::vector<std::string>& names, std::string_view what) {
    if (names.empty()) return;
    warnings.push_back(where + "ignoring " + std::string(what) + " " + quoted_list(names) +
                       ", which name no signal; " + expected_signals());
}

// How many of the file's timestamp units make a second.
double units_per_second(TimeUnit unit) {
    switch (unit) {
        case TimeUnit::Milliseconds:
            return 1e3;
        case TimeUnit::Microseconds:
            return 1e6;
        case TimeUnit::Seconds:
            break;
    }
    return 1.0;
}

// Timestamps are kept as they are (the session decides what to make of them) but reported when
// they do not increase on the last finite one, or are not finite themselves. The messages quote
// them as the file writes them.
class TimestampChecker {
public:
    explicit TimestampChecker(std::vector<std::string>& warnings) : warnings_(warnings) {}

    void check(double timestamp, const std::string& where) {
        if (!std::isfinite(timestamp)) {
            report(where + "timestamp " + format(timestamp) + " is not a finite time");
            return;
        }
        if (previous_ && !(timestamp > *previous_)) {
            report(where + "timestamp " + format(timestamp) +
                   " does not increase on the previous one (" + format(*previous_) + ")");
        }
        previous_ = timestamp;
    }

    void finish(const std::filesystem::path& file) {
        if (reported_ > kMaxReportedWarnings) {
            warnings_.push_back(location(file) + std::to_string(reported_ - kMaxReportedWarnings) +
                                " more timestamps do not increase or are not finite");
        }
    }

private:
    void report(std::string warning) {
        if (++reported_ <= kMaxReportedWarnings) warnings_.push_back(std::move(warning));
    }

    static std::string format(double value) {
        std::ostringstream text;
        text << value;
        return text.str();
    }

    std::vector<std::string>& warnings_;
    std::optional<double> previous_;
    std::size_t reported_ = 0;
};

// --- CSV ---------------------------------------------------------------------------------------

// A number, with a decimal comma accepted where the separator is not a comma.
std::optional<double> parse_number(std::string_view text, char separator) {
    std::string with_point;
    if (separator != ',' && text.find(',') != std::string_view::npos) {
        with_point.assign(text);
        std::replace(with_point.begin(), with_point.end(), ',', '.');
        text = with_point;
    }
    return parse_decimal(text);
}

// Where each column's values go: the timestamps, a signal's data or confidence, or the face.
struct CsvLayout {
    char separator = ',';
    std::vector<std::string> names;
    std::size_t timestamp = 0;
    std::vector<std::pair<std::size_t, std::size_t>> data;        // column, signal index
    std::vector<std::pair<std::size_t, std::size_t>> confidence;  // column, signal index
    std::optional<std::array<std::size_t, 5>> face;               // x, y, w, h, confidence
};

class HeaderReader {
public:
    HeaderReader(const std::filesystem::path& file, const std::vector<CsvField>& header,
                 char separator)
        : file_(file), header_(header) {
        layout_.separator = separator;
        for (const CsvField& field : header) {
            if (field.text.empty()) throw error(field, "empty column name");
            if (std::find(layout_.names.begin(), layout_.names.end(), field.text) !=
                layout_.names.end()) {
                throw error(field, "column '" + std::string(field.text) + "' appears twice");
            }
            layout_.names.emplace_back(field.text);
        }
    }

    CsvLayout layout(Recording& recording, std::vector<std::string>& warnings) {
        layout_.timestamp = timestamp_column();
        find_face(recording);
        std::vector<std::string> unknown;
        for (std::size_t i = 0; i < header_.size(); ++i) {
            if (role_taken(i) || ends_with(layout_.names[i], kConfidenceSuffix)) continue;
            const auto id = signal_named(layout_.names[i]);
            if (!id) {
                unknown.push_back(layout_.names[i]);
                continue;
            }
            require_first(i, *id, recording);
            layout_.data.emplace_back(i, recording.signals.size());
            recording.signals.push_back({*id, {}, {}});
        }
        for (std::size_t i = 0; i < header_.size(); ++i) {
            if (!role_taken(i) && ends_with(layout_.names[i], kConfidenceSuffix))
                add_confidence(i, recording, unknown);
        }
        const std::string where = location(file_, header_.front().line);
        if (recording.signals.empty())
            throw InputError(where + no_signal(unknown, " column", "the columns "));
        warn_unknown(warnings, where, unknown, "columns");
        return layout_;
    }

private:
    InputError error(const CsvField& field, const std::string& what) const {
        return InputError(location(file_, field.line, field.column) + what);
    }

    std::size_t timestamp_column() const {
        const auto found = std::find(layout_.names.begin(), layout_.names.end(), "timestamp");
        if (found != layout_.names.end())
            return static_cast<std::size_t>(found - layout_.names.begin());
        const std::string where = location(file_, header_.front().line) + "no 'timestamp' column";
        if (layout_.names.size() == 1) {
            throw InputError(where + ": the header is the one column " +
                             quoted_list(layout_.names) +
                             " (columns are separated by ',', ';' or tabs)");
        }
        throw InputError(where + " among " + quoted_list(layout_.names) + " (separated by " +
                         separator_name(layout_.separator) + ")");
    }

    void find_face(Recording& recording) {
        std::array<std::size_t, 5> columns{};
        std::size_t found = 0;
        for (std::size_t i = 0; i < kFaceColumns.size(); ++i) {
            const auto column =
                std::find(layout_.names.begin(), layout_.names.end(), kFaceColumns[i]);
            if (column == layout_.names.end()) continue;
            columns[i] = static_cast<std::size_t>(column - layout_.names.begin());
            ++found;
        }
        if (found == 0) return;
        if (found != kFaceColumns.size()) {
            throw InputError(
                location(file_, header_.front().line) +
                "the face needs all of face_x, face_y, face_w, face_h and face_confidence");
        }
        layout_.face = columns;
        recording.face.emplace();
    }

    bool role_taken(std::size_t column) const {
        return column == layout_.timestamp ||
               (layout_.face && std::find(layout_.face->begin(), layout_.face->end(), column) !=
                                    layout_.face->end());
    }

    // Each signal has one data column: a second name for it (an alias) is an error.
    void require_first(std::size_t column, const std::string& id,
                       const Recording& recording) const {
        for (const auto& [other, signal] : layout_.data) {
            if (recording.signals[signal].id == id) {
                throw error(header_[column], "column '" + layout_.names[column] +
                                                 "' names the same signal as column '" +
                                                 layout_.names[other] + "' (" + id + ")");
            }
        }
    }

    void add_confidence(std::size_t column, const Recording& recording,
                        std::vector<std::string>& unknown) {
        const std::string& name = layout_.names[column];
        const std::string_view prefix =
            std::string_view(name).substr(0, name.size() - kConfidenceSuffix.size());
        const auto id = signal_named(prefix);
        if (!id) {
            unknown.push_back(name);
            return;
        }
        const auto data = std::find_if(layout_.data.begin(), layout_.data.end(), [&](auto entry) {
            return recording.signals[entry.second].id == *id;
        });
        if (data == layout_.data.end()) {
            throw error(header_[column],
                        "column '" + name + "' has no signal column '" + std::string(prefix) + "'");
        }
        for (const auto& [other, signal] : layout_.confidence) {
            if (signal == data->second) {
                throw error(header_[column], "column '" + name +
                                                 "' is the confidence of the same signal as "
                                                 "column '" +
                                                 layout_.names[other] + "' (" + *id + ")");
            }
        }
        layout_.confidence.emplace_back(column, data->second);
    }

    const std::filesystem::path& file_;
    const std::vector<CsvField>& header_;
    CsvLayout layout_;
};

void read_csv_row(const std::filesystem::path& file, std::size_t line,
                  const std::vector<CsvField>& fields, const CsvLayout& layout,
                  Recording& recording, TimestampChecker& timestamps) {
    if (fields.size() != layout.names.size()) {
        throw InputError(location(file, line) + std::to_string(fields.size()) +
                         " cells where the header names " + std::to_string(layout.names.size()));
    }
    std::vector<double> values(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto value = parse_number(fields[i].text, layout.separator);
        if (!value) {
            throw InputError(location(file, fields[i].line, fields[i].column) + "'" +
                             std::string(fields[i].text) + "' in column '" + layout.names[i] +
                             "' is not a number");
        }
        values[i] = *value;
    }
    timestamps.check(values[layout.timestamp], location(file, line));
    recording.timestamps.push_back(values[layout.timestamp]);
    for (const auto& [column, signal] : layout.data) {
        recording.signals[signal].data.push_back(static_cast<float>(values[column]));
    }
    for (const auto& [column, signal] : layout.confidence) {
        recording.signals[signal].confidence.push_back(static_cast<float>(values[column]));
    }
    if (layout.face) {
        const auto& face = *layout.face;
        recording.face->boxes.push_back(
            {static_cast<float>(values[face[0]]), static_cast<float>(values[face[1]]),
             static_cast<float>(values[face[2]]), static_cast<float>(values[face[3]])});
        recording.face->confidence.push_back(static_cast<float>(values[face[4]]));
    }
}

Recording read_csv(const std::filesystem::path& file, std::string_view text,
                   std::vector<std::string>& warnings) {
    Recording recording;
    TimestampChecker timestamps(warnings);
    const char separator = detect_separator(text);
    CsvReader reader(text, separator, file);
    std::vector<CsvField> header;
    std::vector<CsvField> fields;
    CsvLayout layout;
    if (reader.next(header))
        layout = HeaderReader(file, header, separator).layout(recording, warnings);
    while (reader.next(fields))
        read_csv_row(file, reader.line(), fields, layout, recording, timestamps);
    timestamps.finish(file);
    return recording;
}

// --- JSON --------------------------------------------------------------------------------------

using Json = nlohmann::json;

std::pair<std::size_t, std::size_t> line_and_column(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    const std::string_view before = text.substr(0, offset);
    const std::size_t line =
        static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
    const std::size_t line_start = before.rfind('\n');
    return {line, offset - (line_start == std::string_view::npos ? 0 : line_start + 1)};
}

// Builds the document as Json::parse does, but names the place of a number beyond the range of
// double, which the parser reports as a range error without one.
class DocumentBuilder : public nlohmann::detail::json_sax_dom_parser<Json> {
public:
    DocumentBuilder(Json& document, const std::filesystem::path& file, std::string_view text)
        : json_sax_dom_parser(document), file_(file), text_(text) {}

    template <class Exception>
    bool parse_error(std::size_t end, const std::string& token, const Exception& error) {
        if constexpr (std::is_same_v<Exception, Json::out_of_range>) {
            const auto [line, column] = line_and_column(text_, end - std::min(end, token.size()));
            throw InputError(location(file_, line, column + 1) + "the number " + token +
                             " is out of range");
        }
        throw error;
    }

private:
    const std::filesystem::path& file_;
    std::string_view text_;
};

Json parse_json(const std::filesystem::path& file, std::string_view text) {
    try {
        Json document;
        DocumentBuilder builder(document, file, text);
        Json::sax_parse(text, &builder);
        return document;
    } catch (const Json::parse_error& error) {
        const auto [line, column] = line_and_column(text, error.byte);
        const std::string what = error.what();
        const std::size_t detail = what.rfind(": ");
        throw InputError(location(file, line, std::max<std::size_t>(column, 1)) + "invalid JSON: " +
                         (detail == std::string::npos ? what : what.substr(detail + 2)));
    }
}

class JsonReader {
public:
    explicit JsonReader(const std::filesystem::path& file) : file_(file) {}

    const Json& member(const Json& object, const std::string& path, const char* name) const {
        if (!object.is_object() || !object.contains(name))
            fail(path, std::string("no \"") + name + "\"");
        return object.at(name);
    }

    template <class T>
    std::vector<T> numbers(const Json& array, const std::string& path) const {
        if (!array.is_array()) fail(path, "expected an array of numbers");
        std::vector<T> values;
        values.reserve(array.size());
        for (std::size_t i = 0; i < array.size(); ++i) {
            if (!array[i].is_number())
                fail(path + "[" + std::to_string(i) + "]", "expected a number");
            values.push_back(array[i].get<T>());
        }
        return values;
    }

    void require_frames(const std::string& path, std::size_t count, std::size_t frames) const {
        if (count != frames) {
            fail(path,
                 std::to_string(count) + " values for " + std::to_string(frames) + " timestamps");
        }
    }

    [[noreturn]] void fail(const std::string& path, const std::string& what) const {
        throw InputError(location(file_) + (path.empty() ? "" : path + ": ") + what);
    }

private:
    const std::filesystem::path& file_;
};

std::vector<float> confidence_or_ones(const JsonReader& reader, const Json& object,
                                      const std::string& path, std::size_t frames) {
    if (!object.contains("confidence")) return std::vector<float>(frames, 1.0F);
    auto values = reader.numbers<float>(object.at("confidence"), path + ".confidence");
    reader.require_frames(path + ".confidence", values.size(), frames);
    return values;
}

FaceTrack read_json_face(const JsonReader& reader, const Json& face, std::size_t frames) {
    const Json& coordinates = reader.member(face, "face", "coordinates");
    if (!coordinates.is_array()) reader.fail("face.coordinates", "expected an array of boxes");
    reader.require_frames("face.coordinates", coordinates.size(), frames);
    FaceTrack track;
    for (std::size_t i = 0; i < coordinates.size(); ++i) {
        const std::string path = "face.coordinates[" + std::to_string(i) + "]";
        const auto box = reader.numbers<float>(coordinates[i], path);
        if (box.size() < 4) reader.fail(path, "expected [x, y, width, height]");
        track.boxes.push_back({box[0], box[1], box[2], box[3]});
    }
    track.confidence = confidence_or_ones(reader, face, "face", frames);
    return track;
}

void read_json_signals(const JsonReader& reader, const Json& signals, const std::string& where,
                       Recording& recording, std::vector<std::string>& warnings) {
    if (!signals.is_object()) reader.fail("signals", "expected an object of signals");
    std::map<std::string, std::string> names;  // canonical id -> the name the file uses
    std::vector<std::string> unknown;
    for (const auto& [name, signal] : signals.items()) {
        const auto id = signal_named(name);
        if (!id) {
            unknown.push_back(name);
            continue;
        }
        const std::string path = "signals." + name;
        if (const auto [first, added] = names.emplace(*id, name); !added) {
            reader.fail(path,
                        "names the same signal as signals." + first->second + " (" + *id + ")");
        }
        RecordedSignal recorded{
            *id, reader.numbers<float>(reader.member(signal, path, "data"), path + ".data"), {}};
        reader.require_frames(path + ".data", recorded.data.size(), recording.frames());
        recorded.confidence = confidence_or_ones(reader, signal, path, recording.frames());
        recording.signals.push_back(std::move(recorded));
    }
    if (recording.signals.empty()) reader.fail("signals", no_signal(unknown, "", ""));
    warn_unknown(warnings, where, unknown, "signals");
}

Recording read_json(const std::filesystem::path& file, std::string_view text,
                    std::vector<std::string>& warnings) {
    const Json document = parse_json(file, text);
    const JsonReader reader(file);
    Recording recording;
    recording.timestamps =
        reader.numbers<double>(reader.member(document, "", "timestamp"), "timestamp");
    TimestampChecker timestamps(warnings);
    for (std::size_t i = 0; i < recording.frames(); ++i) {
        timestamps.check(recording.timestamps[i],
                         location(file) + "timestamp[" + std::to_string(i) + "]: ");
    }
    timestamps.finish(file);
    read_json_signals(reader, reader.member(document, "", "signals"), location(file), recording,
                      warnings);
    if (document.contains("face"))
        recording.face = read_json_face(reader, document.at("face"), recording.frames());
    return recording;
}

bool looks_like_json(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

}  // namespace

Recording read_recording(const std::filesystem::path& file, std::vector<std::string>& warnings,
                         const ReadOptions& options) {
    return parse_recording(read_text(file), file, warnings, options);
}

Recording parse_recording(const std::string& text, const std::filesystem::path& file,
                          std::vector<std::string>& warnings, const ReadOptions& options) {
    std::string_view content = text;
    if (content.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        content.remove_prefix(kByteOrderMark.size());
    if (content.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        throw InputError(location(file) + "the file is empty");
    }
    Recording recording = looks_like_json(content) ? read_json(file, content, warnings)
                                                   : read_csv(file, content, warnings);
    if (recording.frames() == 0) throw InputError(location(file) + "the recording has no frames");
    for (RecordedSignal& signal : recording.signals) {
        if (signal.confidence.empty()) signal.confidence.assign(signal.data.size(), 1.0F);
    }
    const double units = units_per_second(options.time_unit);
    if (units != 1.0) {
        for (double& timestamp : recording.timestamps)
            timestamp /= units;
    }
    return recording;
}

std::vector<std::string> signal_ids() {
    std::vector<std::string> ids;
    const auto add = [&](const std::string& id) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    };
    for (const std::string_view id : vital_ids()) {
        const auto spec = lookup_vital(id);
        if (!spec->scalar_only && spec->methods.empty()) add(spec->id);  // a waveform
        for (const EstimationMethod& method : spec->methods) {
            for (const std::string& signal : method.signals)
                add(signal);
        }
    }
    return ids;
}

}  // namespace quorvanta
