// SPDX-License-Identifier: Apache-2.0
#include "recording.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string_view>

namespace quorvanta::cli {
namespace {

constexpr std::array<std::string_view, 5> kFaceColumns{"face_x", "face_y", "face_w", "face_h",
                                                       "face_confidence"};
constexpr std::string_view kConfidenceSuffix = "_confidence";
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

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() > suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::optional<double> parse_number(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// Timestamps that do not increase are kept as they are (the session decides what to make of
// them) but reported.
class TimestampChecker {
public:
    explicit TimestampChecker(std::vector<std::string>& warnings) : warnings_(warnings) {}

    void check(double timestamp, const std::string& where) {
        if (previous_ && !(timestamp > *previous_)) {
            if (++reported_ <= kMaxReportedWarnings) {
                warnings_.push_back(where + "timestamp " + format(timestamp) +
                                    " does not increase on the previous one (" +
                                    format(*previous_) + ")");
            }
        }
        previous_ = timestamp;
    }

    void finish(const std::filesystem::path& file) {
        if (reported_ > kMaxReportedWarnings) {
            warnings_.push_back(location(file) + std::to_string(reported_ - kMaxReportedWarnings) +
                                " more timestamps do not increase");
        }
    }

private:
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

struct Cell {
    std::string_view text;
    std::size_t column;  // 1-based character position in the line
};

std::vector<Cell> split_cells(std::string_view line) {
    std::vector<Cell> cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        const std::string_view cell = line.substr(start, comma - start);
        cells.push_back({trim(cell), start + 1});
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return cells;
}

// Where each column's values go: the timestamps, a signal's data or confidence, or the face.
struct CsvLayout {
    std::size_t timestamp = 0;
    std::vector<std::pair<std::size_t, std::size_t>> data;        // column, signal index
    std::vector<std::pair<std::size_t, std::size_t>> confidence;  // column, signal index
    std::optional<std::array<std::size_t, 5>> face;               // x, y, w, h, confidence
};

CsvLayout layout_from_header(const std::filesystem::path& file, const std::vector<Cell>& header,
                             Recording& recording) {
    std::map<std::string_view, std::size_t> columns;
    for (std::size_t i = 0; i < header.size(); ++i) {
        const Cell& cell = header[i];
        if (cell.text.empty())
            throw InputError(location(file, 1, cell.column) + "empty column name");
        if (!columns.emplace(cell.text, i).second) {
            throw InputError(location(file, 1, cell.column) + "column '" + std::string(cell.text) +
                             "' appears twice");
        }
    }
    CsvLayout layout;
    const auto timestamp = columns.find("timestamp");
    if (timestamp == columns.end()) throw InputError(location(file, 1) + "no 'timestamp' column");
    layout.timestamp = timestamp->second;

    const auto face_count =
        std::count_if(kFaceColumns.begin(), kFaceColumns.end(),
                      [&](std::string_view name) { return columns.count(name); });
    if (face_count != 0 && face_count != static_cast<long>(kFaceColumns.size())) {
        throw InputError(
            location(file, 1) +
            "the face needs all of face_x, face_y, face_w, face_h and face_confidence");
    }
    if (face_count != 0) {
        layout.face.emplace();
        for (std::size_t i = 0; i < kFaceColumns.size(); ++i)
            (*layout.face)[i] = columns.at(kFaceColumns[i]);
        recording.face.emplace();
    }
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string_view name = header[i].text;
        const bool face =
            std::find(kFaceColumns.begin(), kFaceColumns.end(), name) != kFaceColumns.end();
        if (i == layout.timestamp || face || ends_with(name, kConfidenceSuffix)) continue;
        layout.data.emplace_back(i, recording.signals.size());
        recording.signals.push_back({std::string(name), {}, {}});
    }
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string_view name = header[i].text;
        if (!ends_with(name, kConfidenceSuffix) || name == "face_confidence") continue;
        const std::string_view signal = name.substr(0, name.size() - kConfidenceSuffix.size());
        const auto found = std::find_if(recording.signals.begin(), recording.signals.end(),
                                        [&](const RecordedSignal& s) { return s.id == signal; });
        if (found == recording.signals.end()) {
            throw InputError(location(file, 1, header[i].column) + "column '" + std::string(name) +
                             "' has no signal column '" + std::string(signal) + "'");
        }
        layout.confidence.emplace_back(i,
                                       static_cast<std::size_t>(found - recording.signals.begin()));
    }
    return layout;
}

void read_csv_row(const std::filesystem::path& file, std::size_t line_number,
                  const std::vector<Cell>& header, const CsvLayout& layout, std::string_view line,
                  Recording& recording, TimestampChecker& timestamps) {
    const std::vector<Cell> cells = split_cells(line);
    if (cells.size() != header.size()) {
        throw InputError(location(file, line_number) + std::to_string(cells.size()) +
                         " cells where the header names " + std::to_string(header.size()));
    }
    std::vector<double> values(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const auto value = parse_number(cells[i].text);
        if (!value) {
            throw InputError(location(file, line_number, cells[i].column) + "'" +
                             std::string(cells[i].text) + "' in column '" +
                             std::string(header[i].text) + "' is not a number");
        }
        values[i] = *value;
    }
    timestamps.check(values[layout.timestamp], location(file, line_number));
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
    std::vector<Cell> header;
    CsvLayout layout;
    std::size_t line_number = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        if (trim(line).empty()) continue;
        if (header.empty()) {
            header = split_cells(line);
            layout = layout_from_header(file, header, recording);
            continue;
        }
        read_csv_row(file, line_number, header, layout, line, recording, timestamps);
    }
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

Json parse_json(const std::filesystem::path& file, const std::string& text) {
    try {
        return Json::parse(text);
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

Recording read_json(const std::filesystem::path& file, const std::string& text,
                    std::vector<std::string>& warnings) {
    const Json document = parse_json(file, text);
    const JsonReader reader(file);
    Recording recording;
    recording.timestamps =
        reader.numbers<double>(reader.member(document, "", "timestamp"), "timestamp");
    const std::size_t frames = recording.frames();
    TimestampChecker timestamps(warnings);
    for (std::size_t i = 0; i < frames; ++i) {
        timestamps.check(recording.timestamps[i],
                         location(file) + "timestamp[" + std::to_string(i) + "]: ");
    }
    timestamps.finish(file);
    const Json& signals = reader.member(document, "", "signals");
    if (!signals.is_object()) reader.fail("signals", "expected an object of signals");
    for (const auto& [id, signal] : signals.items()) {
        const std::string path = "signals." + id;
        RecordedSignal recorded{
            id, reader.numbers<float>(reader.member(signal, path, "data"), path + ".data"), {}};
        reader.require_frames(path + ".data", recorded.data.size(), frames);
        recorded.confidence = confidence_or_ones(reader, signal, path, frames);
        recording.signals.push_back(std::move(recorded));
    }
    if (document.contains("face"))
        recording.face = read_json_face(reader, document.at("face"), frames);
    return recording;
}

bool looks_like_json(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

}  // namespace

Recording read_recording(const std::filesystem::path& file, std::vector<std::string>& warnings) {
    return parse_recording(read_text(file), file, warnings);
}

Recording parse_recording(const std::string& text, const std::filesystem::path& file,
                          std::vector<std::string>& warnings) {
    if (trim(text).empty() || text.find_first_not_of(" \t\r\n") == std::string::npos) {
        throw InputError(location(file) + "the file is empty");
    }
    Recording recording =
        looks_like_json(text) ? read_json(file, text, warnings) : read_csv(file, text, warnings);
    if (recording.frames() == 0) throw InputError(location(file) + "the recording has no frames");
    for (RecordedSignal& signal : recording.signals) {
        if (signal.confidence.empty()) signal.confidence.assign(signal.data.size(), 1.0F);
    }
    return recording;
}

}  // namespace quorvanta::cli
