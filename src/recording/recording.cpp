// SPDX-License-Identifier: Apache-2.0
#include "recording/recording.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <numeric>
#include <sstream>
#include <string_view>

#include "recording/columns.h"
#include "recording/csv.h"
#include "recording/decimal.h"
#include "recording/json_document.h"
#include "recording/names.h"
#include "recording/place.h"
#include "recording/resample.h"
#include "recording/timestamps.h"
#include "state/frame_interval.h"

namespace quorvanta {
namespace detail {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// The bytes looked at to tell what kind of file this is.
constexpr std::size_t kSniffedBytes = 4096;
// A header-less single column is read as this signal.
constexpr std::string_view kPulseWaveform = "ppg_waveform";

std::string read_text(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) throw InputError(location(file) + "cannot open the file");
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

// Refuses text that is not UTF-8 or ASCII, saying what it looks like: UTF-16 (a byte-order mark,
// or zero bytes at every other place) or not text at all (zero bytes or other control codes).
void require_text(std::string_view text, const std::filesystem::path& file) {
    const std::string_view head = text.substr(0, kSniffedBytes);
    const bool utf16_mark = head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF");
    std::size_t zeros_even = 0, zeros_odd = 0, controls = 0;
    for (std::size_t i = 0; i < head.size(); ++i) {
        const auto c = static_cast<unsigned char>(head[i]);
        if (c == 0) ++(i % 2 == 0 ? zeros_even : zeros_odd);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') ++controls;
    }
    const std::size_t pairs = head.size() / 2;
    const bool utf16_zeros = pairs > 0 && (zeros_even == 0) != (zeros_odd == 0) &&
                             std::max(zeros_even, zeros_odd) * 2 > pairs;
    if (utf16_mark || utf16_zeros)
        throw InputError(location(file) + "UTF-16 text: save it as UTF-8");
    if (controls > 0) throw InputError(location(file) + "not a text file");
}

// A number in a cell, with a decimal comma accepted where the separator is not a comma; nothing
// for an empty cell. Values beyond the range of float, which signals are kept in, are refused.
std::optional<double> cell_value(const CsvField& field, char separator,
                                 const std::filesystem::path& file, const std::string& column) {
    if (field.text.empty()) return std::nullopt;
    std::string with_point;
    std::string_view text = field.text;
    if (separator != ',' && text.find(',') != std::string_view::npos) {
        with_point.assign(text);
        std::replace(with_point.begin(), with_point.end(), ',', '.');
        text = with_point;
    }
    const TextPlace place{field.line, field.column};
    const auto value = parse_decimal(text);
    if ((!value && is_decimal_syntax(text)) ||
        (value && std::isfinite(*value) && std::fabs(*value) > std::numeric_limits<float>::max())) {
        throw InputError(location(file, place) + "the number " + std::string(field.text) +
                         " is out of range");
    }
    if (!value) {
        throw InputError(location(file, place) + "'" + std::string(field.text) + "' in column '" +
                         column + "' is not a number");
    }
    return value;
}

// --- CSV ---------------------------------------------------------------------------------------

bool all_numbers(const std::vector<CsvField>& fields, char separator) {
    return std::all_of(fields.begin(), fields.end(), [&](const CsvField& field) {
        std::string text(field.text);
        if (separator != ',') std::replace(text.begin(), text.end(), ',', '.');
        return is_decimal_syntax(text);
    });
}

class CsvRecordingReader {
public:
    CsvRecordingReader(const std::filesystem::path& file, std::string_view text,
                       const ReadOptions& options, std::vector<std::string>& warnings)
        : file_(file),
          separator_(detect_separator(text)),
          reader_(text, separator_, file),
          options_(options),
          warnings_(warnings) {}

    Recording read() {
        std::vector<CsvField> header;
        if (!reader_.next(header)) return {};
        header_line_ = header.front().line;
        const bool headerless = all_numbers(header, separator_);
        std::vector<NamedColumn> columns =
            headerless ? headerless_column(header) : named_columns(header);
        const ColumnSource source = column_source();
        const ColumnPlan plan = plan_columns(columns, source, options_, warnings_);
        if (headerless) read_row(header, columns, header_line_);
        std::vector<CsvField> fields;
        while (reader_.next(fields))
            read_row(fields, columns, reader_.line());
        return recording_from_columns(std::move(columns), plan, source, options_, warnings_);
    }

private:
    ColumnSource column_source() const {
        return {file_,
                {header_line_, 0},
                separator_name(separator_),
                "empty cells",
                [this](std::size_t frame) {
                    return location(file_, {row_lines_[frame], 0});
                }};
    }

    // A file that starts with numbers: one column of them is a pulse waveform, timed by the sample
    // rate; more columns need their names.
    std::vector<NamedColumn> headerless_column(const std::vector<CsvField>& first) {
        const std::string where = location(file_, {header_line_, 0});
        if (first.size() != 1) {
            throw InputError(where +
                             "the first line holds numbers where the column names belong; "
                             "add a header naming the columns");
        }
        if (!options_.sample_rate) {
            throw InputError(where +
                             "a column of numbers without a header: give its sample rate (--fs) "
                             "to read it as " +
                             std::string(kPulseWaveform));
        }
        warnings_.push_back(where + "no header: the column of numbers is read as " +
                            std::string(kPulseWaveform));
        return {NamedColumn{std::string(kPulseWaveform), {header_line_, 1}, {}, 0}};
    }

    std::vector<NamedColumn> named_columns(const std::vector<CsvField>& header) {
        std::vector<NamedColumn> columns;
        columns.reserve(header.size());
        for (std::size_t i = 0; i < header.size(); ++i) {
            const CsvField& field = header[i];
            if (field.text.empty() && i == 0 && header.size() > 1) {
                skip_index_ = true;
                warnings_.push_back(location(file_, {field.line, field.column}) +
                                    "ignoring the first column, which has no name (a table's "
                                    "index)");
                continue;
            }
            if (field.text.empty())
                throw InputError(location(file_, {field.line, field.column}) + "empty column name");
            columns.push_back({std::string(field.text), {field.line, field.column}, {}, 0});
        }
        return columns;
    }

    void read_row(const std::vector<CsvField>& fields, std::vector<NamedColumn>& columns,
                  std::size_t line) {
        const std::size_t skipped = skip_index_ ? 1 : 0;
        if (fields.size() != columns.size() + skipped) {
            throw InputError(location(file_, {line, 0}) + std::to_string(fields.size()) +
                             " cells where the header names " +
                             std::to_string(columns.size() + skipped));
        }
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const auto value = cell_value(fields[i + skipped], separator_, file_, columns[i].name);
            if (!value) ++columns[i].missing;
            columns[i].values.push_back(value.value_or(std::numeric_limits<double>::quiet_NaN()));
        }
        row_lines_.push_back(line);
    }

    const std::filesystem::path& file_;
    char separator_;
    CsvReader reader_;
    const ReadOptions& options_;
    std::vector<std::string>& warnings_;
    std::size_t header_line_ = 0;
    bool skip_index_ = false;
    std::vector<std::size_t> row_lines_;
};

// --- JSON --------------------------------------------------------------------------------------

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

    // Names the members of `object` that the format does not know, in one warning.
    void warn_unknown_members(const Json& object, const std::string& path,
                              std::initializer_list<std::string_view> known,
                              std::vector<std::string>& warnings) const {
        std::vector<std::string> unknown;
        for (const auto& [name, value] : object.items()) {
            if (std::find(known.begin(), known.end(), name) == known.end()) unknown.push_back(name);
        }
        if (unknown.empty()) return;
        std::string expected;
        for (const std::string_view name : known)
            expected.append(expected.empty() ? "\"" : ", \"").append(name).append("\"");
        warnings.push_back(location(file_) + (path.empty() ? "" : path + ": ") +
                           "ignoring members " + quoted_list(unknown) +
                           ", which the format does not know; expected " + expected);
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

FaceTrack read_json_face(const JsonReader& reader, const Json& face, std::size_t frames,
                         std::vector<std::string>& warnings) {
    const Json& coordinates = reader.member(face, "face", "coordinates");
    if (!coordinates.is_array()) reader.fail("face.coordinates", "expected an array of boxes");
    reader.require_frames("face.coordinates", coordinates.size(), frames);
    reader.warn_unknown_members(face, "face", {"coordinates", "confidence"}, warnings);
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
        reader.warn_unknown_members(signal, path, {"data", "confidence"}, warnings);
        recorded.confidence = confidence_or_ones(reader, signal, path, recording.frames());
        recording.signals.push_back(std::move(recorded));
    }
    if (recording.signals.empty()) reader.fail("signals", no_signal(unknown, "", ""));
    warn_unknown(warnings, where, unknown, "signals");
}

// The format with "timestamp", "signals" and "face" members.
Recording read_json_signals_format(const std::filesystem::path& file, const Json& document,
                                   const ReadOptions& options, std::vector<std::string>& warnings) {
    const JsonReader reader(file);
    Recording recording;
    recording.timestamps =
        reader.numbers<double>(reader.member(document, "", "timestamp"), "timestamp");
    TimestampChecker timestamps(warnings);
    for (std::size_t i = 0; i < recording.frames(); ++i) {
        timestamps.check(recording.timestamps[i],
                         location(file) + "timestamp[" + std::to_string(i) + "]: ");
    }
    reader.warn_unknown_members(document, "", {"timestamp", "signals", "face"}, warnings);
    read_json_signals(reader, reader.member(document, "", "signals"), location(file), recording,
                      warnings);
    if (document.contains("face"))
        recording.face = read_json_face(reader, document.at("face"), recording.frames(), warnings);
    timestamps.finish(file, recording);
    to_seconds(recording.timestamps, options.time_unit);
    return recording;
}

bool table_cell(const Json& cell) {
    return cell.is_number() || cell.is_null();
}

// A cell of a JSON table (a number, or null for a missing value) added to `column`.
void add_cell(const Json& cell, NamedColumn& column) {
    if (cell.is_null()) ++column.missing;
    column.values.push_back(cell.is_null() ? std::numeric_limits<double>::quiet_NaN()
                                           : cell.get<double>());
}

constexpr const char* kNotACell = "expected a number or null";

TextPlace place_of(const MemberPlaces& places, std::string_view name) {
    const auto found = places.find(name);
    return found == places.end() ? TextPlace{} : found->second;
}

// An array of rows, each an object of cells by column name.
std::vector<NamedColumn> json_rows(const JsonReader& reader, const Json& rows,
                                   const MemberPlaces& places) {
    std::vector<NamedColumn> columns;
    std::map<std::string, std::size_t, std::less<>> index;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const auto path = [&] { return "[" + std::to_string(row) + "]"; };
        if (!rows[row].is_object()) reader.fail(path(), "expected an object of columns");
        for (const auto& [name, value] : rows[row].items()) {
            auto [entry, added] = index.emplace(name, columns.size());
            if (added) {
                // A column first seen here had no value in the rows before.
                columns.push_back(
                    {name, place_of(places, name),
                     std::vector<double>(row, std::numeric_limits<double>::quiet_NaN()), row});
            }
            if (!table_cell(value)) reader.fail(path() + "." + name, kNotACell);
            add_cell(value, columns[entry->second]);
        }
        for (NamedColumn& column : columns) {
            if (column.values.size() == row + 1) continue;
            column.values.push_back(std::numeric_limits<double>::quiet_NaN());
            ++column.missing;
        }
    }
    return columns;
}

// The cells of a column stored by row name, in the order of the numbers when every name is one
// (a table's index, which the parser would otherwise order as text: "0", "1", "10", "100", ...).
std::vector<Json::const_iterator> cells_in_row_order(const Json& cells) {
    std::vector<Json::const_iterator> rows;
    std::vector<double> numbers;
    rows.reserve(cells.size());
    numbers.reserve(cells.size());
    for (auto cell = cells.begin(); cell != cells.end(); ++cell) {
        rows.push_back(cell);
        if (const auto number = parse_decimal(cell.key())) numbers.push_back(*number);
    }
    if (numbers.size() == rows.size()) {
        std::vector<std::size_t> order(rows.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return numbers[a] < numbers[b]; });
        std::vector<Json::const_iterator> sorted;
        sorted.reserve(rows.size());
        for (const std::size_t k : order)
            sorted.push_back(rows[k]);
        rows = std::move(sorted);
    }
    return rows;
}

// An object of columns, each an array of cells or an object of cells by row.
std::vector<NamedColumn> json_columns(const JsonReader& reader, const Json& table,
                                      const MemberPlaces& places) {
    std::vector<NamedColumn> columns;
    for (const auto& member : table.items()) {
        const std::string& name = member.key();
        const Json& cells = member.value();
        if (!cells.is_array() && !cells.is_object())
            reader.fail(name, "expected an array of numbers or an object of them by row");
        NamedColumn column{name, place_of(places, name), {}, 0};
        // `row` names the cell's row, only for the message.
        const auto add = [&](const Json& cell, const auto& row) {
            if (!table_cell(cell))
                reader.fail(std::string(name).append("[").append(row()) + "]", kNotACell);
            add_cell(cell, column);
        };
        if (cells.is_array()) {
            for (std::size_t i = 0; i < cells.size(); ++i)
                add(cells[i], [i] { return std::to_string(i); });
        } else {
            for (const auto& cell : cells_in_row_order(cells))
                add(cell.value(), [&cell] { return cell.key(); });
        }
        if (!columns.empty() && column.values.size() != columns.front().values.size()) {
            reader.fail(name, std::to_string(column.values.size()) + " values where " +
                                  columns.front().name + " has " +
                                  std::to_string(columns.front().values.size()));
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

Recording read_json_table(const std::filesystem::path& file, const Json& table,
                          const MemberPlaces& places, const ReadOptions& options,
                          std::vector<std::string>& warnings) {
    const JsonReader reader(file);
    const bool rows = table.is_array();
    std::vector<NamedColumn> columns =
        rows ? json_rows(reader, table, places) : json_columns(reader, table, places);
    if (columns.empty()) reader.fail("", "no columns");
    const std::string frame_prefix = rows ? "" : columns.front().name;
    const ColumnSource source{file, {}, "", "nulls", [&](std::size_t frame) {
                                  return location(file) + frame_prefix + "[" +
                                         std::to_string(frame) + "]: ";
                              }};
    const ColumnPlan plan = plan_columns(columns, source, options, warnings);
    return recording_from_columns(std::move(columns), plan, source, options, warnings);
}

// Whether `cells` can be a column of a table: numbers or nulls, in an array or by row.
bool table_column(const Json& cells) {
    return (cells.is_array() || cells.is_object()) &&
           std::all_of(cells.begin(), cells.end(),
                       [](const Json& cell) { return cell.is_number() || cell.is_null(); });
}

// An array, or an object whose members are all columns, is a table; any other document is read
// in the format with "signals", whose messages say what it lacks.
bool json_table(const Json& root) {
    if (root.is_array()) return true;
    return root.is_object() && !root.empty() && !root.contains("signals") &&
           std::all_of(root.begin(), root.end(), table_column);
}

Recording read_json(const std::filesystem::path& file, std::string_view text,
                    const ReadOptions& options, std::vector<std::string>& warnings) {
    MemberPlaces places;
    const Json document = parse_json_document(text, file, places);
    if (json_table(document)) return read_json_table(file, document, places, options, warnings);
    return read_json_signals_format(file, document, options, warnings);
}

bool looks_like_json(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && (text[first] == '{' || text[first] == '[');
}

}  // namespace
}  // namespace detail

Recording read_recording(const std::filesystem::path& file, std::vector<std::string>& warnings,
                         const ReadOptions& options) {
    return parse_recording(detail::read_text(file), file, warnings, options);
}

Recording parse_recording(const std::string& text, const std::filesystem::path& file,
                          std::vector<std::string>& warnings, const ReadOptions& options) {
    using namespace detail;
    std::string_view content = text;
    if (content.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        content.remove_prefix(kByteOrderMark.size());
    require_text(content, file);
    if (content.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        throw InputError(location(file) + "the file is empty");
    }
    for (const auto& [rate, name] : {std::pair{options.sample_rate, "sample rate"},
                                     std::pair{options.resample_rate, "resample rate"}}) {
        if (rate && !(std::isfinite(*rate) && *rate > 0)) {
            throw InputError(location(file) + "the " + name +
                             " must be a positive number of frames a second");
        }
    }
    Recording recording = looks_like_json(content)
                              ? read_json(file, content, options, warnings)
                              : CsvRecordingReader(file, content, options, warnings).read();
    if (recording.frames() == 0) throw InputError(location(file) + "the recording has no frames");
    for (RecordedSignal& signal : recording.signals) {
        if (signal.confidence.empty()) signal.confidence.assign(signal.data.size(), 1.0F);
    }
    warn_missing_stretches(recording, file, warnings);
    if (options.resample_rate) return resampled(recording, *options.resample_rate, file);
    return recording;
}

void warn_of_long_frame_interval(const std::filesystem::path& file, const Recording& recording,
                                 TimeUnit unit, std::string (*set_unit)(std::string_view symbol),
                                 std::vector<std::string>& warnings) {
    const auto problem = long_frame_interval_problem(
        recording.timestamps, units_per_second(unit),
        [set_unit](const SmallerTimeUnit& fits) { return set_unit(fits.symbol); });
    if (problem) warnings.push_back(location(file) + *problem);
}

}  // namespace quorvanta
