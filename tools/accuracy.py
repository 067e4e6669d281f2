# SPDX-License-Identifier: Apache-2.0
"""Accuracy of the session's vitals on public physiological recordings with references.

    PYTHONPATH=build/gcc/python /usr/bin/python3 tools/accuracy.py [--data ../shared/data/physio]

Each recording's pulse waveform (finger PPG, or arterial pressure where there is none) and
respiration trace are turned into what a camera-based model would hand the library: low-passed at
12 Hz, resampled to 30 frames per second, and, for the noisy rows, given white noise at 20 and
10 dB below the waveform's power. They are fed to a Session in one-second batches in Incremental
mode, as a host would, and after each batch its heart rate is compared with the reference's 10 s
window ending there, its respiratory rate with the 30 s window, and SDNN, RMSSD and pNN50 with
the 60 s window. Only windows the reference marks valid and whose input waveform it marks usable
count. Each cell gives the mean absolute error of the session's value and of the value its
assessment checked (Session.assess), and in brackets the number of windows scored.

A last table measures what pulse beats carry that R peaks do not: the root mean square of the
successive changes of each normal pulse beat's delay after the R peak before it (find_beats on
the whole waveform), at the recording's own rate and at 30 frames per second.

With --rates, one table instead: the recordings as their instruments wrote them, fed at their own
rate, against the same resampled to 30 frames per second by the library's reader (read_recording
with resample=30, as `quorvanta analyze --resample 30` does).
"""

import argparse
import csv
import struct
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np

import quorvanta_core as qc

FPS = 30.0
LOW_PASS_HZ = 12.0
NOISE_LEVELS_DB = [None, 20.0, 10.0]
# Scored vital -> (reference file suffix, reference column, usable-input column).
SCORED = {
    "heart_rate": ("hr_10s", "hr_bpm", "ppg_ok"),
    "respiratory_rate": ("rr_30s", "rr_bpm", "resp_ok"),
    "hrv_sdnn": ("hrv_60s", "sdnn_ms", "ppg_ok"),
    "hrv_rmssd": ("hrv_60s", "rmssd_ms", "ppg_ok"),
    "hrv_pnn50": ("hrv_60s", "pnn50_pct", "ppg_ok"),
}
KINDS = ("session", "checked")
COLUMNS = {"heart_rate": "HR bpm", "respiratory_rate": "RR /min", "hrv_sdnn": "SDNN ms",
           "hrv_rmssd": "RMSSD ms", "hrv_pnn50": "pNN50 %"}


@dataclass
class Waveform:
    fs: float
    samples: np.ndarray


@dataclass
class Recording:
    name: str
    pulse: Waveform | None = None
    resp: Waveform | None = None


# --- Reading the raw files ----------------------------------------------------------------------

def read_csv_columns(path, skip_rows=0, rows=None):
    with open(path, newline="") as file:
        reader = csv.reader(file)
        header = [name.strip() for name in next(reader)]
        values = np.array([[float(x) for x in row] for row in reader], dtype=np.float64)
    values = values[skip_rows:] if rows is None else values[skip_rows:skip_rows + rows]
    return {name: values[:, i] for i, name in enumerate(header)}


def wfdb_header(path):
    lines = [line.split() for line in path.read_text().splitlines()
             if line.strip() and not line.startswith("#")]
    record = lines[0]
    signals = []
    for spec in lines[1:]:
        gain_text = spec[2].split("/")[0]
        baseline = 0.0
        if "(" in gain_text:
            gain_text, baseline_text = gain_text.rstrip(")").split("(")
            baseline = float(baseline_text)
        fmt = spec[1]
        per_frame = int(fmt.split("x")[1].split(":")[0]) if "x" in fmt else 1
        skew = int(fmt.split(":")[1]) if ":" in fmt else 0
        signals.append({"gain": float(gain_text), "baseline": baseline, "per_frame": per_frame,
                        "skew": skew, "first": int(spec[5]), "checksum": int(spec[6]),
                        "name": spec[8]})
    return float(record[2]), int(record[3]), signals


def check_wfdb(raw, signal):
    checksum = int(np.sum(raw.astype(np.int64))) & 0xFFFF
    expected = signal["checksum"] & 0xFFFF
    if raw[0] != signal["first"] or checksum != expected:
        raise ValueError(f"{signal['name']}: the decoded samples do not match the header")


def read_wfdb_mat(header_path):
    """A WFDB record stored as a MAT v4 int16 matrix (one row per signal)."""
    fs, frames, signals = wfdb_header(header_path)
    data = header_path.with_suffix(".mat").read_bytes()
    kind, rows, cols, _, name_length = struct.unpack("<5i", data[:20])
    if kind != 30 or rows != len(signals) or cols != frames:
        raise ValueError(f"{header_path}: not the MAT v4 int16 matrix its header describes")
    matrix = np.frombuffer(data, dtype="<i2", offset=20 + name_length).reshape(cols, rows).T
    result = {}
    for raw, signal in zip(matrix, signals):
        check_wfdb(raw, signal)
        result[signal["name"]] = Waveform(fs, (raw - signal["baseline"]) / signal["gain"])
    return result


def read_wfdb_212(header_path):
    """A WFDB record in format 212 (two 12-bit samples in three bytes), with multi-sample frames
    and skew; returns each signal at the frame rate (extra samples of a frame averaged)."""
    fs, frames, signals = wfdb_header(header_path)
    data = np.frombuffer(header_path.with_suffix(".dat").read_bytes(), dtype=np.uint8)
    triples = data[: data.size // 3 * 3].reshape(-1, 3).astype(np.int32)
    first = triples[:, 0] | ((triples[:, 1] & 0x0F) << 8)
    second = triples[:, 2] | ((triples[:, 1] & 0xF0) << 4)
    samples = np.empty(2 * triples.shape[0], dtype=np.int32)
    samples[0::2], samples[1::2] = first, second
    samples = np.where(samples >= 2048, samples - 4096, samples)
    per_frame = sum(signal["per_frame"] for signal in signals)
    usable = samples.size // per_frame
    framed = samples[: usable * per_frame].reshape(usable, per_frame)
    result, column = {}, 0
    for signal in signals:
        raw = framed[:, column:column + signal["per_frame"]].reshape(-1)
        column += signal["per_frame"]
        check_wfdb(raw[: frames * signal["per_frame"]], signal)
        values = raw.reshape(-1, signal["per_frame"]).mean(axis=1)[signal["skew"]:frames]
        result[signal["name"]] = Waveform(fs, (values - signal["baseline"]) / signal["gain"])
    return result


def read_recordings(raw):
    nk5 = read_csv_columns(raw / "neurokit_bio_resting_5min_100hz.csv")
    nk8 = read_csv_columns(raw / "neurokit_bio_resting_8min_100hz.csv", skip_rows=2019,
                           rows=48006)
    bidmc = read_csv_columns(raw / "bidmc_01_Signals.csv")
    a103l = read_wfdb_mat(raw / "a103l.hea")
    mimic = read_wfdb_212(raw / "03700181.hea")
    return [
        Recording("nk_rest5", Waveform(100.0, nk5["PPG"]), Waveform(100.0, nk5["RSP"])),
        Recording("nk_rest8", None, Waveform(100.0, nk8["RSP"])),
        Recording("bidmc01", Waveform(125.0, bidmc["PLETH"]), Waveform(125.0, bidmc["RESP"])),
        Recording("a103l", a103l["PLETH"], None),
        Recording("mimic037", mimic["ABP"], mimic["RESP"]),
    ]


# --- What a model would hand the library ----------------------------------------------------------

def to_frames(waveform, frames):
    """Low-passed with a Hamming-windowed sinc at 12 Hz and sampled at the frame times."""
    half = int(round(waveform.fs))
    taps = np.arange(-half, half + 1) / waveform.fs
    kernel = np.sinc(2 * LOW_PASS_HZ * taps) * np.hamming(taps.size)
    kernel /= kernel.sum()
    smooth = np.convolve(waveform.samples, kernel, mode="same")
    source_times = np.arange(smooth.size) / waveform.fs
    return np.interp(np.arange(frames) / FPS, source_times, smooth)


def with_noise(samples, level_db, seed):
    if level_db is None:
        return samples
    power = np.var(samples)
    noise = np.random.default_rng(seed).normal(0.0, np.sqrt(power / 10 ** (level_db / 10)),
                                               samples.size)
    return samples + noise


def frames_of(recording):
    durations = [w.samples.size / w.fs for w in (recording.pulse, recording.resp) if w]
    return int(np.floor(min(durations) * FPS))


# --- Running a session --------------------------------------------------------------------------

def session_estimates(signals, frames, fps=FPS):
    """The session's vitals and their checked values after each one-second batch:
    {end time (s): ({vital: value}, {vital: checked value})}."""
    config = qc.SessionConfig("accuracy", list(SCORED), fps, 40, 4, "face")
    session = qc.Session(config)
    times = np.arange(frames) / fps
    ones = np.ones(frames, dtype=np.float32)
    estimates = {}
    step = int(fps)
    for first in range(0, frames - step + 1, step):
        part = slice(first, first + step)
        inputs = {name: qc.SignalInput(samples[part].astype(np.float32), ones[part])
                  for name, samples in signals.items()}
        result = session.process(qc.SessionInput(None, inputs, times[part]), "Incremental")
        end = round(times[first + step - 1] + 1 / fps)
        checked = session.assess().vitals
        estimates[end] = ({vital: v.value for vital, v in result.vitals.items()},
                          {vital: checked[vital].checked_value for vital in result.vitals})
    return estimates


def reference(references, name, vital):
    suffix, column, usable = SCORED[vital]
    path = references / f"{name}_{suffix}.csv"
    if not path.exists():
        return {}
    with open(path, newline="") as file:
        rows = list(csv.DictReader(file))
    return {round(float(row["t_end_s"])): float(row[column]) for row in rows
            if row["valid"] == "1" and row.get(usable, "1") == "1"}


@dataclass
class Errors:
    # (vital, "session" or "checked") -> list of |estimate - reference|
    absolute: dict = field(default_factory=dict)

    def add(self, key, errors):
        self.absolute.setdefault(key, []).extend(errors)

    def cell(self, vital):
        session, checked = (self.absolute.get((vital, kind), []) for kind in KINDS)
        if not session:
            return "-"
        return f"{np.mean(session):.2f} / {np.mean(checked):.2f} ({len(session)})"


def clean_signals(recording):
    """The recording's waveforms as a model would hand them over, at FPS."""
    frames = frames_of(recording)
    waveforms = {"ppg_waveform": recording.pulse, "respiratory_waveform": recording.resp}
    return {name: to_frames(waveform, frames) for name, waveform in waveforms.items() if waveform}


NOISE_SEEDS = {"ppg_waveform": 1, "respiratory_waveform": 2}


def noisy(signals, level_db):
    return {name: with_noise(samples, level_db, NOISE_SEEDS[name])
            for name, samples in signals.items()}


def score_signals(signals, truths, fps=FPS):
    """The errors of the session's values and of its checked values against `truths`
    ({vital: {window end (s): reference value}}), the signals at `fps` frames a second."""
    frames = min(samples.size for samples in signals.values())
    estimates = session_estimates(signals, frames, fps)
    errors = Errors()
    for vital in SCORED:
        truth = truths.get(vital, {})
        for kind, index in zip(KINDS, range(2)):
            errors.add((vital, kind), [abs(values[index][vital] - truth[end])
                                       for end, values in estimates.items()
                                       if vital in values[0] and end in truth])
    return errors


def references_of(references, name):
    return {vital: reference(references, name, vital) for vital in SCORED}


def score(recording, level_db, references):
    return score_signals(noisy(clean_signals(recording), level_db),
                         references_of(references, recording.name))


# --- Fixtures for the fast accuracy test ----------------------------------------------------------

FIXTURE_RECORDINGS = ("nk_rest5", "a103l")


def write_fixture(folder, recording, references):
    """The clean model output (float32) and the scored reference windows of `recording`, as
    tests/python/test_accuracy.py reads them."""
    arrays = {name: samples.astype(np.float32) for name, samples in clean_signals(recording).items()}
    for vital, truth in references_of(references, recording.name).items():
        if truth:
            arrays[vital] = np.array(sorted(truth.items()), dtype=np.float64)
    np.savez_compressed(folder / f"{recording.name}.npz", **arrays)


def read_fixture(path):
    """What write_fixture wrote: (signals, truths)."""
    with np.load(path) as arrays:
        signals = {name: arrays[name].astype(np.float64) for name in arrays.files
                   if name not in SCORED}
        truths = {vital: {round(end): value for end, value in arrays[vital]}
                  for vital in SCORED if vital in arrays.files}
    return signals, truths


# --- Pulse arrival --------------------------------------------------------------------------------

def r_peaks(references, name):
    path = references / f"{name}_beats.csv"
    if not path.exists():
        return None
    with open(path, newline="") as file:
        return np.array([float(row["t_s"]) for row in csv.DictReader(file)])


def arrival_changes_ms(pulse, fs, peaks):
    """The root mean square of the successive changes of the normal beats' delays after the R peak
    before each (ms); changes above 100 ms, a beat paired with another R peak, are left out."""
    beats = qc.find_beats(pulse.astype(np.float32), fs, np.arange(pulse.size) / fs)
    times = np.array([t for t, s in zip(beats.times, beats.status) if s == qc.BeatStatus.Normal])
    before = np.searchsorted(peaks, times) - 1
    delays = (times[before >= 0] - peaks[before[before >= 0]]) * 1000
    changes = np.diff(delays)
    changes = changes[np.abs(changes) < 100]
    return float(np.sqrt(np.mean(changes ** 2)))


def arrival_table(recordings, references):
    lines = ["### pulse arrival", "",
             "| recording | own rate (Hz) | at its own rate (ms) | at 30 fps (ms) |",
             "|---|---|---|---|"]
    for recording in recordings:
        peaks = r_peaks(references, recording.name)
        if peaks is None or not recording.pulse:
            continue
        pulse = recording.pulse
        at_own_rate = arrival_changes_ms(pulse.samples, pulse.fs, peaks)
        at_fps = arrival_changes_ms(clean_signals(recording)["ppg_waveform"], FPS, peaks)
        lines.append(f"| {recording.name} | {pulse.fs:g} | {at_own_rate:.1f} | {at_fps:.1f} |")
    return "\n".join(lines) + "\n"


# --- Own rate or resampled --------------------------------------------------------------------------

def own_rate_signals(recording):
    """The recording's waveforms as its instrument wrote them, and their rate; None where the
    pulse and respiration were sampled at different rates."""
    waveforms = {"ppg_waveform": recording.pulse, "respiratory_waveform": recording.resp}
    present = {name: waveform for name, waveform in waveforms.items() if waveform}
    rates = {waveform.fs for waveform in present.values()}
    if len(rates) != 1:
        return None
    frames = min(waveform.samples.size for waveform in present.values())
    return {name: w.samples[:frames] for name, w in present.items()}, rates.pop()


def resampled_signals(signals, fs):
    """`signals` at `fs` read as a recording and resampled to FPS by the library's reader."""
    import pandas
    frames = min(samples.size for samples in signals.values())
    table = pandas.DataFrame({"timestamp": np.arange(frames) / fs, **signals})
    read = qc.read_recording(table, resample=FPS)
    return {name: signal["data"].astype(np.float64) for name, signal in read["signals"].items()}


def rates_table(recordings, references):
    rows = []
    for recording in recordings:
        own = own_rate_signals(recording)
        if own is None:
            continue
        signals, fs = own
        truths = references_of(references, recording.name)
        rows.append((f"{recording.name} at {fs:g} Hz", score_signals(signals, truths, fs)))
        rows.append((f"{recording.name} resampled to {FPS:g} fps",
                     score_signals(resampled_signals(signals, fs), truths)))
    return table("the instrument's own rate or resampled, no noise", rows)


def table(title, rows):
    header = ["recording"] + [COLUMNS[vital] for vital in SCORED]
    lines = [f"### {title}", "", "| " + " | ".join(header) + " |",
             "|" + "---|" * len(header)]
    for name, errors in rows:
        lines.append("| " + " | ".join([name] + [errors.cell(v) for v in SCORED]) + " |")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", type=Path,
                        default=Path(__file__).resolve().parents[2] / "shared/data/physio",
                        help="the folder with raw/ and reference/ (default: ../shared/data/physio)")
    parser.add_argument("--rates", action="store_true",
                        help="only the table of own rates against resampling")
    parser.add_argument("--write-fixtures", type=Path, metavar="DIR",
                        help="write the fast test's recordings to DIR instead of the tables")
    arguments = parser.parse_args()
    recordings = read_recordings(arguments.data / "raw")
    if arguments.write_fixtures:
        for recording in recordings:
            if recording.name in FIXTURE_RECORDINGS:
                write_fixture(arguments.write_fixtures, recording, arguments.data / "reference")
        return
    if arguments.rates:
        print(rates_table(recordings, arguments.data / "reference"))
        return
    for level_db in NOISE_LEVELS_DB:
        pooled = Errors()
        rows = []
        for recording in recordings:
            errors = score(recording, level_db, arguments.data / "reference")
            rows.append((recording.name, errors))
            for key, values in errors.absolute.items():
                pooled.add(key, values)
        rows.append(("pooled", pooled))
        print(table("clean" if level_db is None else f"white noise at {level_db:g} dB", rows))
    print(arrival_table(recordings, arguments.data / "reference"))


if __name__ == "__main__":
    main()
