// SPDX-License-Identifier: Apache-2.0
// Tests of the recording reader: the layouts real tools write read alike, and every problem is
// either a warning beside a usable recording or one message naming its place.
#include "recording/recording.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace quorvanta {
namespace {

struct Read {
    Recording recording;
    std::vector<std::string> warnings;
};

Read read(const std::string& text, const ReadOptions& options = {}) {
    Read result;
    result.recording = parse_recording(text, "r", result.warnings, options);
    return result;
}

std::string error_of(const std::string& text, const ReadOptions& options = {}) {
    try {
        read(text, options);
    } catch (const InputError& error) {
        return error.what();
    }
    return "no error";
}

// Timestamps and the one signal's values, NaN written as "nan" so that tables compare them.
std::string frames_of(const Recording& recording) {
    std::string text;
    for (std::size_t i = 0; i < recording.frames(); ++i) {
        const float v = recording.signals.front().data[i];
        text += std::to_string(recording.timestamps[i]) + ":" +
                (std::isnan(v) ? "nan" : std::to_string(v)) + " ";
    }
    return text;
}

TEST(ReadRecording, TablesFromPandasAndOtherToolsReadAlike) {
    const std::string expected = "0.000000:1.000000 0.500000:nan 1.000000:3.000000 ";
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> warnings;
    } cases[] = {
        {"index column",
         ",timestamp,ppg\n0,0,1\n1,0.5,\n2,1,3\n",
         {"r:1:1: ignoring the first column, which has no name (a table's index)",
          "r:1:12: column 'ppg': 1 empty cells read as missing values (NaN)"}},
        {"rows",
         R"([{"timestamp":0,"ppg":1},{"timestamp":0.5,"ppg":null},{"timestamp":1,"ppg":3}])",
         {"r:1:17: column 'ppg': 1 nulls read as missing values (NaN)"}},
        {"a row without the cell",
         R"([{"timestamp":0,"ppg":1},{"timestamp":0.5},
          {"timestamp":1,"ppg":3}])",
         {"r:1:17: column 'ppg': 1 nulls read as missing values (NaN)"}},
        {"columns",
         R"({"timestamp":[0,0.5,1],"ppg":[1,null,3]})",
         {"r:1:24: column 'ppg': 1 nulls read as missing values (NaN)"}},
        {"columns by row",
         R"({"timestamp":{"0":0,"1":0.5,"2":1},"ppg":{"0":1,"1":null,"2":3}})",
         {"r:1:36: column 'ppg': 1 nulls read as missing values (NaN)"}},
        {"shuffled rows",
         "timestamp,ppg\n1,3\n0,1\n0.5,\n",
         {"r:1:11: column 'ppg': 1 empty cells read as missing values (NaN)",
          "r:3: timestamp 0 comes before the previous one (1): the frames are read in the order "
          "of their timestamps"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Read result = read(c.text);
        EXPECT_EQ(frames_of(result.recording), expected);
        EXPECT_EQ(result.warnings, c.warnings);
    }
}

TEST(ReadRecording, RowsNumberedByTheirIndexInOrderPastTen) {
    std::string cells;
    for (int i = 0; i < 12; ++i) {
        if (i > 0) cells += ',';
        cells.append("\"").append(std::to_string(i)).append("\":").append(std::to_string(i));
    }
    const Read result = read("{\"timestamp\":{" + cells + "},\"ppg\":{" + cells + "}}");
    EXPECT_TRUE(result.warnings.empty());
    ASSERT_EQ(result.recording.frames(), 12U);
    for (std::size_t i = 0; i < 12; ++i)
        EXPECT_EQ(result.recording.timestamps[i], static_cast<double>(i));
}

TEST(ReadRecording, SampleRateAndColumnMappingsTimeAndNameTheColumns) {
    ReadOptions at_4_hz;
    at_4_hz.sample_rate = 4;
    const Read single = read("1\n2\n3\n", at_4_hz);
    EXPECT_EQ(single.recording.signals.front().id, "ppg_waveform");
    EXPECT_EQ(single.recording.timestamps, (std::vector<double>{0, 0.25, 0.5}));
    EXPECT_EQ(
        single.warnings,
        std::vector<std::string>{"r:1: no header: the column of numbers is read as ppg_waveform"});

    ReadOptions mapped;
    mapped.columns = {{"ppg", "PLETH"}, {"timestamp", "Time [s]"}};
    const Read pleth =
        read("Time [s],PLETH,PLETH_confidence,timestamp\n0,1,0.5,9\n1,2,0.5,9\n", mapped);
    ASSERT_EQ(pleth.recording.signals.size(), 1U);
    EXPECT_EQ(pleth.recording.signals.front().id, "ppg_waveform");
    EXPECT_EQ(pleth.recording.signals.front().confidence, (std::vector<float>{0.5f, 0.5f}));
    EXPECT_EQ(pleth.recording.timestamps, (std::vector<double>{0, 1}));
    ASSERT_EQ(pleth.warnings.size(), 1U);
    EXPECT_TRUE(pleth.warnings.front().starts_with(
        "r:1: ignoring columns 'timestamp', which name no signal; expected a signal: "));

    mapped.sample_rate = 4;
    EXPECT_EQ(read("Time [s],PLETH\n0,1\n", mapped).warnings,
              std::vector<std::string>{
                  "r: ignoring the sample rate: column 'Time [s]' holds the timestamps"});
}

TEST(ReadRecording, MissingStretchesOfSecondsAreNamed) {
    std::string text = "timestamp,ppg\n";
    for (int i = 0; i <= 100; ++i)
        text += std::to_string(i * 0.1) + "," + (i > 20 && i < 70 ? "" : "1") + "\n";
    EXPECT_EQ(read(text).warnings,
              (std::vector<std::string>{
                  "r:1:11: column 'ppg': 49 empty cells read as missing values (NaN)",
                  "r: ppg_waveform has no values from 2 s to 7 s"}));
}

TEST(ReadRecording, MembersTheFormatDoesNotKnowAreNamed) {
    const Read result = read(
        R"({"timestamp":[0,1],"Face":{},"signals":{"ppg":{"data":[1,2],"Confidence":[1,1]}}})");
    EXPECT_EQ(result.warnings,
              (std::vector<std::string>{
                  "r: ignoring members 'Face', which the format does not know; expected "
                  "\"timestamp\", \"signals\", \"face\"",
                  "r: signals.ppg: ignoring members 'Confidence', which the format does not know; "
                  "expected \"data\", \"confidence\""}));
}

TEST(ReadRecording, ProblemsNameTheirPlace) {
    ReadOptions pleth;
    pleth.columns = {{"ppg", "PLETH"}};
    ReadOptions unknown_target;
    unknown_target.columns = {{"pulse", "PLETH"}};
    ReadOptions resampled;
    resampled.resample_rate = 30;
    ReadOptions no_rate;
    no_rate.resample_rate = 0;
    const struct {
        const char* name;
        std::string text;
        ReadOptions options;
        std::string message;
    } cases[] = {
        {"UTF-16 with its mark", "\xFF\xFEt\0i\0", {}, "r: UTF-16 text: save it as UTF-8"},
        {"UTF-16 without", std::string("t\0i\0m\0e\0", 8), {}, "r: UTF-16 text: save it as UTF-8"},
        {"binary",
         std::string("\x7F"
                     "ELF\x02\x01\x01\0\0\0\0",
                     12),
         {},
         "r: not a text file"},
        {"a key twice",
         "{\"timestamp\": [0],\n \"timestamp\": [1], \"signals\": {}}",
         {},
         "r:2:2: \"timestamp\" appears twice in one object; it first appears at 1:2"},
        {"beyond double in CSV",
         "timestamp,ppg\n0,1e400\n",
         {},
         "r:2:3: the number 1e400 is out of range"},
        {"beyond float in CSV",
         "timestamp,ppg\n0,-1e39\n",
         {},
         "r:2:3: the number -1e39 is out of range"},
        {"beyond float in JSON",
         "{\"timestamp\": [0],\n \"ppg\": [ 1e39]}",
         {},
         "r:2:11: the number 1e39 is out of range"},
        {"numbers without a rate",
         "1\n2\n",
         {},
         "r:1: a column of numbers without a header: give its sample rate (--fs) to read it as "
         "ppg_waveform"},
        {"numbers in a header",
         "0,1\n1,2\n",
         {},
         "r:1: the first line holds numbers where the column names belong; add a header naming "
         "the columns"},
        {"no timestamps", "PLETH\n1\n", pleth,
         "r:1: no 'timestamp' column: the header is the one column 'PLETH' (columns are separated "
         "by ',', ';' or tabs); without timestamps, give the sample rate (--fs)"},
        {"no timestamps in JSON",
         R"([{"ppg": 1}])",
         {},
         "r: no 'timestamp' column among 'ppg'; without timestamps, give the sample rate (--fs)"},
        {"a mapping to no column", "timestamp,PLETH\n0,1\n", unknown_target,
         "r: the column mapping 'pulse=PLETH': 'pulse' is neither 'timestamp' nor a signal"},
        {"a mapping of no column", "timestamp,ppg\n0,1\n", pleth,
         "r: the column mapping 'ppg=PLETH' names no column of the file"},
        {"resampling milliseconds read as seconds", "timestamp,ppg\n0,1\n1000,2\n2000,3\n",
         resampled,
         "r: resampling at 30 fps would make 60001 frames of the 3 read, more than 16 times as "
         "many: are the timestamps in seconds?"},
        {"resampling without a time", "timestamp,ppg\nnan,1\n", resampled,
         "r: no finite timestamp to resample by"},
        {"resampling at no rate", "timestamp,ppg\n0,1\n", no_rate,
         "r: the resample rate must be a positive number of frames a second"},
        {"columns of two lengths",
         R"({"timestamp": [0, 1], "ppg": [1]})",
         {},
         "r: timestamp: 2 values where ppg has 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(error_of(c.text, c.options), c.message);
    }
}

}  // namespace
}  // namespace quorvanta
