#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Times the Python module against the same computations written with NumPy and SciPy.

Run by hand with Debian's Python and the built module on the path, for example:

    PYTHONPATH=build/gcc/python /usr/bin/python3 bench/compare_python.py

Needs NumPy and SciPy (python3-numpy, python3-scipy). Prints, for each operation, the best time
per call of several timeit repeats for the module ("ours") and for NumPy/SciPy, and their ratio.
"""

import math
import timeit

import numpy as np
import scipy.signal

import quorvanta_core as qv

FS = 30.0
SAMPLES = 1800
REPEATS = 7
BATCH_SECONDS = 1
HISTORY_SECONDS = 60
SESSION_CALLS_PER_REPEAT = 20
ALL_VITALS = ["heart_rate", "respiratory_rate", "spo2", "hrv_sdnn", "hrv_rmssd", "hrv_lfhf",
              "hrv_pnn50", "hrv_sd1sd2", "stress_index", "ie_ratio", "sbp", "dbp", "map",
              "pulse_pressure", "ppg_waveform", "respiratory_waveform", "abp_waveform"]
RATE_AND_HRV_VITALS = ["heart_rate", "respiratory_rate", "hrv_sdnn", "hrv_rmssd"]
RETURNED_WAVEFORMS = ["ppg_waveform", "respiratory_waveform"]


# Synthetic model outputs -------------------------------------------------------------------------

def synthetic_signals(samples, seed=7):
    """Per-frame model outputs: a PPG at about 72 bpm whose rate drifts by +-3 bpm every 10 s
    (so that SDNN and RMSSD are not zero) riding on breathing at 15 per minute, a respiration
    waveform, an arterial pressure waveform and per-frame SpO2 and pressure values."""
    rng = np.random.default_rng(seed)
    t = np.arange(samples) / FS
    beat_hz = 1.2 + 0.05 * np.sin(2 * np.pi * 0.1 * t)
    phase = 2 * np.pi * np.cumsum(beat_hz) / FS
    pulse = np.sin(phase) + 0.35 * np.sin(2 * phase - 0.6)
    breathing = np.sin(2 * np.pi * 0.25 * t)
    signals = {
        "ppg_waveform": pulse + 0.3 * breathing + 0.05 * rng.standard_normal(samples),
        "respiratory_waveform": breathing + 0.05 * rng.standard_normal(samples),
        "abp_waveform": 95 + 25 * pulse,
        "spo2": 97 + 0.5 * rng.standard_normal(samples),
        "sbp": 120 + rng.standard_normal(samples),
        "dbp": 80 + rng.standard_normal(samples),
    }
    return t, {name: values.astype(np.float32) for name, values in signals.items()}


# NumPy and SciPy versions of the computations ----------------------------------------------------

def periodogram_rate(signal, fs, resolution, min_rate, max_rate):
    """Rate per minute and confidence of the strongest spectral peak in the band: mean removed,
    symmetric Hann window, zero padding to the power of two >= max(fs / resolution, n),
    parabolic interpolation on amplitudes, confidence = power share within 1/12 Hz of the peak."""
    n = signal.size
    windowed = (signal - signal.mean()) * np.hanning(n)
    size = 1 << (max(int(fs / resolution), n) - 1).bit_length()
    power = np.abs(np.fft.rfft(windowed, size)[: size // 2]) ** 2
    bin_width = fs / size
    low = math.floor(min_rate / 60 / bin_width)
    high = min(power.size - 1, math.ceil(max_rate / 60 / bin_width))
    peak = low + int(np.argmax(power[low:high + 1]))
    if power[peak] <= 0 or peak == 0 or peak >= power.size - 1:
        return 0.0, 0.0
    a, b, c = np.sqrt(power[peak - 1:peak + 2])
    denominator = 2 * (a - 2 * b + c)
    offset = (a - c) / denominator if abs(denominator) > 1e-9 else 0.0
    rate = bin_width * (peak + min(max(offset, -0.5), 0.5)) * 60
    near = math.ceil((1 / 12) / bin_width)
    near_power = power[max(low, peak - near):min(high, peak + near) + 1].sum()
    return rate, min(near_power / power[low:high + 1].sum(), 1.0)


def scipy_peaks(signal, fs, max_rate=220.0):
    """Peaks at least three quarters of the shortest plausible period apart and standing out by
    half a standard deviation."""
    distance = math.ceil(fs * 60 / max_rate * 0.75)
    peaks, _ = scipy.signal.find_peaks(signal, distance=distance, prominence=0.5 * signal.std())
    return peaks


def refined_positions(signal, peaks):
    """Peaks of the smoothed signal moved to the highest of their three samples in `signal`,
    then refined by a parabola through that sample and its two neighbours."""
    peaks = peaks[(peaks > 1) & (peaks < signal.size - 2)]
    neighbourhood = np.stack((signal[peaks - 1], signal[peaks], signal[peaks + 1]))
    inner = peaks + np.argmax(neighbourhood, axis=0) - 1
    a, b, c = signal[inner - 1], signal[inner], signal[inner + 1]
    denominator = 2 * (a - 2 * b + c)
    offsets = np.divide(a - c, denominator, out=np.zeros_like(a), where=np.abs(denominator) > 1e-6)
    return inner + np.where(np.abs(offsets) <= 0.5, offsets, 0.0)


def clean_intervals_ms(signal, timestamps, fs):
    """Inter-beat intervals in ms from the smoothed PPG, within 300-2000 ms and within 25 % of
    their median."""
    smoothed = np.convolve(signal, np.ones(3) / 3, mode="same")
    positions = refined_positions(signal, scipy_peaks(smoothed, fs))
    beat_times = np.interp(positions, np.arange(timestamps.size), timestamps)
    intervals = np.diff(beat_times) * 1000
    intervals = intervals[(intervals >= 300) & (intervals <= 2000)]
    if intervals.size == 0:
        return intervals
    median = np.median(intervals)
    return intervals[np.abs(intervals - median) <= 0.25 * median]


def window_rate(timestamps):
    duration = timestamps[-1] - timestamps[0]
    return (timestamps.size - 1) / duration if duration > 0 else FS


class NumpyPipeline:
    """One session's per-batch work with NumPy and SciPy: append the batch to a one-minute
    history, then heart rate over the last 10 s, respiratory rate over the last 30 s and SDNN and
    RMSSD over the whole minute (the session's windows for these vitals)."""

    def __init__(self):
        self.max_frames = int(FS * HISTORY_SECONDS)
        self.timestamps = np.empty(0)
        self.ppg = np.empty(0, dtype=np.float32)
        self.respiration = np.empty(0, dtype=np.float32)

    def process(self, timestamps, ppg, respiration):
        self.timestamps = np.concatenate((self.timestamps, timestamps))[-self.max_frames:]
        self.ppg = np.concatenate((self.ppg, ppg))[-self.max_frames:]
        self.respiration = np.concatenate((self.respiration, respiration))[-self.max_frames:]
        heart_window = int(FS * 10)
        breath_window = int(FS * 30)
        heart_rate, _ = periodogram_rate(self.ppg[-heart_window:],
                                         window_rate(self.timestamps[-heart_window:]),
                                         0.005, 40.0, 220.0)
        respiratory_rate, _ = periodogram_rate(self.respiration[-breath_window:],
                                               window_rate(self.timestamps[-breath_window:]),
                                               0.01, 3.0, 60.0)
        intervals = clean_intervals_ms(self.ppg, self.timestamps, window_rate(self.timestamps))
        sdnn = float(np.std(intervals, ddof=1)) if intervals.size > 1 else 0.0
        rmssd = float(np.sqrt(np.mean(np.diff(intervals) ** 2))) if intervals.size > 1 else 0.0
        return {"heart_rate": heart_rate, "respiratory_rate": respiratory_rate,
                "hrv_sdnn": sdnn, "hrv_rmssd": rmssd}


# Timing ------------------------------------------------------------------------------------------

def best_microseconds(function, number):
    return min(timeit.Timer(function).repeat(repeat=REPEATS, number=number)) / number * 1e6


def time_calls(function, calls_per_repeat):
    """Best time per call after one warm-up call."""
    function()
    return best_microseconds(function, calls_per_repeat)


def batch_slices(total_frames):
    batch = int(FS * BATCH_SECONDS)
    return [slice(start, start + batch) for start in range(0, total_frames - batch + 1, batch)]


def session_inputs(t, signals, slices):
    frames = slices[0].stop - slices[0].start
    face = qv.FaceInput([[100.0, 80.0, 200.0, 240.0]] * frames, [0.9] * frames)
    return [qv.SessionInput(face, {name: qv.SignalInput(values[part], np.ones(values[part].size))
                                   for name, values in signals.items()}, t[part])
            for part in slices]


def steady_state_time(process, batches, warm_up):
    """Best time per `process(batch)` call, each with a new batch, after `warm_up` batches have
    filled the history; also returns the last call's result."""
    for batch in batches[:warm_up]:
        process(batch)
    timed = iter(batches[warm_up:])
    last = []

    def process_next():
        last[:] = [process(next(timed))]

    return best_microseconds(process_next, SESSION_CALLS_PER_REPEAT), last[0]


def session_time(vitals, return_waveforms, inputs, warm_up):
    config = qv.SessionConfig("benchmark", vitals, FS, 128, 30, "face", return_waveforms)
    session = qv.Session(config)
    microseconds, result = steady_state_time(
        lambda batch: session.process(batch, "Incremental"), inputs, warm_up)
    return microseconds, {name: vital.value for name, vital in result.vitals.items()}


def numpy_pipeline_time(t, signals, slices, warm_up):
    pipeline = NumpyPipeline()
    return steady_state_time(
        lambda part: pipeline.process(t[part], signals["ppg_waveform"][part],
                                      signals["respiratory_waveform"][part]),
        slices, warm_up)


# Building inputs ---------------------------------------------------------------------------------

INPUT_FRAMES = 150


def input_parts(t, signals):
    """What a host holds for one 150-frame batch: timestamps, six signals with confidences and a
    face track, as NumPy arrays (float32 values, float64 timestamps)."""
    part = slice(0, INPUT_FRAMES)
    ones = np.ones(INPUT_FRAMES, dtype=np.float32)
    face = np.tile(np.array([100.0, 80.0, 200.0, 240.0], dtype=np.float32), (INPUT_FRAMES, 1))
    return {"timestamp": t[part], "signals": {name: (values[part].copy(), ones.copy())
                                              for name, values in signals.items()},
            "face": (face, ones.copy())}


def as_lists(parts):
    return {"timestamp": parts["timestamp"].tolist(),
            "signals": {name: (data.tolist(), confidence.tolist())
                        for name, (data, confidence) in parts["signals"].items()},
            "face": tuple(values.tolist() for values in parts["face"])}


def build_input(parts):
    return qv.SessionInput(qv.FaceInput(*parts["face"]),
                           {name: qv.SignalInput(data, confidence)
                            for name, (data, confidence) in parts["signals"].items()},
                           parts["timestamp"])


def input_rows(t, signals):
    arrays = input_parts(t, signals)
    return [(f"from {kind}", time_calls(lambda parts=parts: build_input(parts), 500))
            for kind, parts in (("NumPy arrays", arrays), ("lists (.tolist())", as_lists(arrays)))]


# Report ------------------------------------------------------------------------------------------

def print_table(rows):
    width = max(len(name) for name, _, _ in rows)
    print(f"| {'operation':<{width}} | ours (µs) | NumPy/SciPy (µs) | ratio |")
    print(f"|{'-' * (width + 2)}|----------:|-----------------:|------:|")
    for name, ours, theirs in rows:
        print(f"| {name:<{width}} | {ours:>9.1f} | {theirs:>16.1f} | {theirs / ours:>4.1f}x |")


def print_agreement(label, ours, theirs):
    print(f"{label}: ours {ours}, NumPy/SciPy {theirs}")


def main():
    warm_up = int(HISTORY_SECONDS / BATCH_SECONDS) + 10
    slices_needed = warm_up + REPEATS * SESSION_CALLS_PER_REPEAT + 1
    t, signals = synthetic_signals(slices_needed * int(FS * BATCH_SECONDS))
    ppg = signals["ppg_waveform"][:SAMPLES]

    our_rate = qv.estimate_heart_rate(ppg, FS)
    numpy_rate = periodogram_rate(ppg, FS, 0.005, 40.0, 220.0)
    rows = [("estimate_heart_rate, 1800 samples at 30 Hz",
             time_calls(lambda: qv.estimate_heart_rate(ppg, FS), 200),
             time_calls(lambda: periodogram_rate(ppg, FS, 0.005, 40.0, 220.0), 200))]
    our_peaks = qv.find_peaks(ppg, FS, True)
    numpy_peaks = scipy_peaks(ppg, FS)
    rows.append(("find_peaks, 1800 samples at 30 Hz",
                 time_calls(lambda: qv.find_peaks(ppg, FS, True), 500),
                 time_calls(lambda: scipy_peaks(ppg, FS), 500)))

    slices = batch_slices(t.size)
    inputs = session_inputs(t, signals, slices)
    numpy_time, numpy_vitals = numpy_pipeline_time(t, signals, slices, warm_up)
    our_time, our_vitals = session_time(RATE_AND_HRV_VITALS, None, inputs, warm_up)
    rows.append(("Session.process per 1 s batch, HR, RR, SDNN, RMSSD", our_time, numpy_time))
    full_time, _ = session_time(ALL_VITALS, RETURNED_WAVEFORMS, inputs, warm_up)
    rows.append(("Session.process per 1 s batch, all 17 ids, 2 waveforms returned", full_time,
                 numpy_time))

    print(f"{SAMPLES}-sample PPG at {FS:g} Hz; sessions hold {HISTORY_SECONDS} s of history and "
          f"take {BATCH_SECONDS} s batches; best of {REPEATS} repeats.\n")
    print_table(rows)
    print()
    print_agreement("heart rate (rate, confidence)", tuple(round(v, 2) for v in our_rate),
                    tuple(round(float(v), 2) for v in numpy_rate))
    print_agreement("peaks found", len(our_peaks), len(numpy_peaks))
    for name in RATE_AND_HRV_VITALS:
        print_agreement(f"session {name}", round(our_vitals.get(name, math.nan), 2),
                        round(numpy_vitals[name], 2))
    print("\nGoals: estimate_heart_rate at least 5x, per-batch session work at least 20x faster.")

    print(f"\nBuilding one SessionInput of {INPUT_FRAMES} frames, {len(signals)} signals with "
          "confidences and a face track:\n")
    print("| input | µs per SessionInput |")
    print("|---|---:|")
    for name, microseconds in input_rows(t, signals):
        print(f"| {name} | {microseconds:.1f} |")


if __name__ == "__main__":
    main()
