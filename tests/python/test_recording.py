# SPDX-License-Identifier: Apache-2.0
"""read_recording gives the command's reader to Python: the files real tools write and a pandas
DataFrame read alike into NumPy arrays and batches a Session takes, and a file that cannot be read
raises ValueError with the command's message."""

import warnings
from pathlib import Path

import numpy as np
import pandas
import pytest

import quorvanta_core as qv

SAMPLE = Path(__file__).resolve().parents[2] / "data/sample_recording.csv"


@pytest.fixture(name="table")
def table_fixture():
    """The sample's first 300 frames of PPG, ten of them missing."""
    table = pandas.read_csv(SAMPLE, usecols=["timestamp", "ppg_waveform"]).head(300)
    table.loc[100:109, "ppg_waveform"] = np.nan
    return table


def same_recording(a, b):
    np.testing.assert_array_equal(a["timestamp"], b["timestamp"])
    assert a["signals"].keys() == b["signals"].keys()
    for name, signal in a["signals"].items():
        np.testing.assert_array_equal(signal["data"], b["signals"][name]["data"])
        np.testing.assert_array_equal(signal["confidence"], b["signals"][name]["confidence"])


def test_files_pandas_writes_and_the_data_frame_itself_read_alike(tmp_path, table):
    table.to_csv(tmp_path / "index.csv")
    table.to_json(tmp_path / "rows.json", orient="records")
    table.rename(columns={"ppg_waveform": "PLETH"}).sample(frac=1, random_state=2).to_csv(
        tmp_path / "pleth.csv", index=False)
    expected = qv.read_recording(table)
    assert expected["warnings"] == [
        "DataFrame:1:11: column 'ppg_waveform': 10 empty cells read as missing values (NaN)"]
    assert expected["timestamp"].dtype == np.float64
    assert expected["signals"]["ppg_waveform"]["data"].dtype == np.float32
    assert np.isnan(expected["signals"]["ppg_waveform"]["data"][100:110]).all()
    for name, options in [("index.csv", {}), ("rows.json", {}),
                          ("pleth.csv", {"columns": {"ppg": "PLETH"}})]:
        same_recording(qv.read_recording(tmp_path / name, **options), expected)


def test_a_column_of_numbers_is_timed_by_its_rate(tmp_path):
    path = tmp_path / "pleth.txt"
    np.savetxt(path, np.sin(np.arange(500) / 10))
    read = qv.read_recording(str(path), fs=100)
    np.testing.assert_array_equal(read["timestamp"], np.arange(500) / 100)
    assert read["warnings"] == [f"{path}:1: no header: the column of numbers is read as "
                                "ppg_waveform"]


def test_timing_is_resampled_and_a_long_frame_interval_is_named(tmp_path):
    path = tmp_path / "pleth.txt"
    path.write_text("1\n2\n3\n4\n5\n")
    read = qv.read_recording(path, fs=4, resample=2)  # each frame the mean of its half second
    np.testing.assert_array_equal(read["timestamp"], [0, 0.5, 1])
    np.testing.assert_array_equal(read["signals"]["ppg_waveform"]["data"], [1, 2.5, 4.5])
    milliseconds = pandas.DataFrame({"timestamp": [0, 33, 66], "ppg": [1, 2, 3]})
    assert qv.read_recording(milliseconds)["warnings"] == [
        "DataFrame: the median frame interval is 33.0 s, too long for any vital: the timestamps "
        "look like milliseconds; if they are, pass time_unit='ms'"]


def test_batches_cover_the_recording_and_stream_through_a_session():
    read = qv.read_recording(SAMPLE, batch_frames=100)
    batches = read["batches"]
    assert [len(batch.timestamp) for batch in batches] == [100] * 27
    np.testing.assert_array_equal(np.concatenate([b.timestamp for b in batches]),
                                  read["timestamp"])
    assert batches[5].face.coordinates[0] == read["face"]["coordinates"][500].tolist()
    assert read["face"]["coordinates"].shape == (2700, 4)
    session = qv.Session(qv.SessionConfig(
        "reader", ["heart_rate", "respiratory_rate", "spo2", "sbp", "dbp"], 30.0, 40, 4, "face"))
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # the session reads every signal of the sample
        for batch in batches:
            result = session.process(batch, "Incremental")
    assert 60 < result.vitals["heart_rate"].value < 90


@pytest.mark.parametrize("content, options, error", [
    ("timestamp,ppg\n0,1\n".encode("utf-16"), {}, "UTF-16 text: save it as UTF-8"),
    (b"0.5\n0.6\n", {}, ":1: a column of numbers without a header: give its sample rate (--fs) to "
     "read it as ppg_waveform"),
    (b"PLETH\n1\n", {"columns": {"pulse": "PLETH"}}, ": the column mapping 'pulse=PLETH': 'pulse' "
     "is neither 'timestamp' nor a signal"),
])
def test_a_file_that_cannot_be_read_raises_the_commands_message(tmp_path, content, options, error):
    path = tmp_path / "bad.csv"
    path.write_bytes(content)
    with pytest.raises(ValueError) as raised:
        qv.read_recording(path, **options)
    assert str(raised.value) == f"{path}{error if error.startswith(':') else ': ' + error}"


@pytest.mark.parametrize("options, error", [
    ({"fs": 0}, "fs must be a positive number of frames a second"),
    ({"resample": -30}, "resample must be a positive number of frames a second"),
    ({"time_unit": "min"}, "time_unit must be 's', 'ms' or 'us', not 'min'"),
    ({"batch_frames": 0}, "batch_frames must be at least 1"),
])
def test_options_are_checked(options, error):
    with pytest.raises(ValueError, match=f"^{error}$"):
        qv.read_recording(SAMPLE, **options)
