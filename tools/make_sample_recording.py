# SPDX-License-Identifier: Apache-2.0
"""Generate the bundled sample recording and the true vitals stored beside it.

The recording imitates 90 s of per-frame output of a camera-based vital-sign model at 30 fps. It
is built from a small physiological model: a breathing rate drifting between 12 and 18 per minute
drives an asymmetric lung-volume curve; a heart rate drifting between 65 and 80 per minute, raised
on inspiration (respiratory sinus arrhythmia), is integrated into beat times with a little
beat-to-beat variability, and every beat adds a pulse with a systolic peak and a dicrotic notch.
Camera-like white noise and illumination drift are added, and a few seconds of motion artefact
disturb the waveforms and the face box while the model's confidence drops.

Run from the repository root with Debian's Python and NumPy:

    /usr/bin/python3 tools/make_sample_recording.py [--output-dir DIR] [--duration SECONDS]

It writes sample_recording.csv and sample_recording.truth.json into DIR (by default the
repository's data/ folder). The seed is fixed, so every run writes the same files. A longer
duration (for example two hours, to measure the command on long recordings) extends the same
physiology; the motion artefact stays at 43 s.
"""

import argparse
import json
from dataclasses import dataclass
from pathlib import Path

import numpy as np

SEED = 20240611
RECORDING_NAME = "sample_recording"
FPS = 30.0
DEFAULT_DURATION_S = 90.0
TIMESTAMP_JITTER_S = 0.002
MODEL_GRID_HZ = 1000.0  # rates are integrated into phases on this grid

HEART_RATE_RANGE = (68.0, 77.0)  # slow drift; the sinus arrhythmia adds its swing on top
SINUS_ARRHYTHMIA_SWING = 2.5  # per minute, above the drift at end-inspiration, below it at rest
BEAT_TIME_JITTER_S = 0.006
RESPIRATORY_RATE_RANGE = (12.5, 17.5)
SPO2_RANGE = (96.3, 97.7)
SBP_RANGE = (115.0, 121.0)
DBP_RANGE = (74.5, 77.5)

# Fractions of a breath: inspiration, then expiration, then a pause at rest volume (I:E 1:1.6).
INSPIRATION_FRACTION = 0.38
EXPIRATION_FRACTION = 0.47

ARTEFACT_START_S = 43.0
ARTEFACT_DURATION_S = 3.5
ARTEFACT_EDGE_S = 0.3

FRAME_SIZE = (640.0, 480.0)
FACE_BOX = (245.0, 130.0, 150.0, 190.0)  # x, y, width, height in pixels


@dataclass
class Physiology:
    """True state of the subject on the model grid."""

    time: np.ndarray
    heart_rate: np.ndarray
    respiratory_rate: np.ndarray
    lung_volume: np.ndarray  # 0 at rest, about 1 at end-inspiration
    spo2: np.ndarray
    sbp: np.ndarray
    dbp: np.ndarray
    beat_times: np.ndarray


def smooth_drift(rng, time, shortest_period_s, longest_period_s, components=4):
    """A smooth random curve spanning exactly -1 to 1 over `time`: a sum of slow sinusoids."""
    periods = rng.uniform(shortest_period_s, longest_period_s, components)
    phases = rng.uniform(0.0, 2.0 * np.pi, components)
    weights = rng.uniform(0.5, 1.0, components)
    curve = np.sum(
        weights[:, None] * np.sin(2.0 * np.pi * time[None, :] / periods[:, None] + phases[:, None]),
        axis=0,
    )
    return 2.0 * (curve - curve.min()) / (curve.max() - curve.min()) - 1.0


def drift_between(rng, time, value_range, shortest_period_s=40.0, longest_period_s=150.0):
    low, high = value_range
    unit = 0.5 * (smooth_drift(rng, time, shortest_period_s, longest_period_s) + 1.0)
    return low + (high - low) * unit


def irregular_noise(rng, time, knots_per_second):
    """Band-limited noise of unit scale: random knots joined linearly, then lightly smoothed."""
    knot_times = np.arange(time[0] - 1.0, time[-1] + 1.0, 1.0 / knots_per_second)
    knots = rng.standard_normal(knot_times.size)
    curve = np.interp(time, knot_times, knots)
    kernel = np.ones(5) / 5.0
    return np.convolve(curve, kernel, mode="same")


def cycles_elapsed(rate_per_minute, time):
    """Integrate a rate (cycles per minute) into the number of cycles elapsed, trapezoidally."""
    steps = 0.5 * (rate_per_minute[1:] + rate_per_minute[:-1]) * np.diff(time) / 60.0
    return np.concatenate(([0.0], np.cumsum(steps)))


def breath_shape(fraction):
    """Lung volume over one breath: a fast inspiration, a slower expiration, then a pause."""
    rise = 0.5 - 0.5 * np.cos(np.pi * fraction / INSPIRATION_FRACTION)
    expired = np.clip((fraction - INSPIRATION_FRACTION) / EXPIRATION_FRACTION, 0.0, 1.0)
    fall = 0.5 + 0.5 * np.cos(np.pi * expired)
    return np.where(fraction < INSPIRATION_FRACTION, rise, fall)


def lung_volume(rng, breaths):
    """Volume with a depth that varies from breath to breath by about 10 %."""
    depths = rng.normal(1.0, 0.08, int(breaths[-1]) + 2)
    whole, fraction = np.divmod(breaths, 1.0)
    return depths[whole.astype(int)] * breath_shape(fraction)


def beat_times(rng, heart_rate, time):
    """Times at which the integrated heart rate completes each beat, with a little jitter."""
    beats = cycles_elapsed(heart_rate, time)
    onsets = np.interp(np.arange(1, int(beats[-1]) + 1), beats, time)
    return onsets + rng.normal(0.0, BEAT_TIME_JITTER_S, onsets.size)


def simulate_physiology(rng, duration_s):
    time = np.arange(-2.0, duration_s + 2.0, 1.0 / MODEL_GRID_HZ)
    respiratory_rate = drift_between(rng, time, RESPIRATORY_RATE_RANGE)
    volume = lung_volume(rng, cycles_elapsed(respiratory_rate, time))
    heart_rate = drift_between(rng, time, HEART_RATE_RANGE) + SINUS_ARRHYTHMIA_SWING * (
        2.0 * volume - 1.0
    )
    pressure_drift = 0.5 * (smooth_drift(rng, time, 40.0, 150.0) + 1.0)
    return Physiology(
        time=time,
        heart_rate=heart_rate,
        respiratory_rate=respiratory_rate,
        lung_volume=volume,
        spo2=drift_between(rng, time, SPO2_RANGE),
        sbp=SBP_RANGE[0] + (SBP_RANGE[1] - SBP_RANGE[0]) * pressure_drift,
        dbp=DBP_RANGE[0] + (DBP_RANGE[1] - DBP_RANGE[0]) * pressure_drift,
        beat_times=beat_times(rng, heart_rate, time),
    )


def pulse_shape(since_onset, interval_s):
    """One beat of a pulse wave: a systolic peak, then the dicrotic notch and a diastolic wave.

    The timing stretches with the square root of the beat interval, as ejection does.
    """
    stretch = np.sqrt(interval_s / 0.83)
    systolic = np.exp(-0.5 * ((since_onset - 0.18 * stretch) / (0.055 * stretch)) ** 2)
    diastolic = 0.35 * np.exp(-0.5 * ((since_onset - 0.41 * stretch) / (0.085 * stretch)) ** 2)
    return systolic + diastolic


def pulse_wave(rng, physiology, frame_times):
    """Sum of the beats' pulses, each scaled by breathing and a small per-beat variation."""
    onsets = physiology.beat_times
    intervals = np.diff(onsets, append=onsets[-1] + np.diff(onsets)[-1])
    volume_at_onset = np.interp(onsets, physiology.time, physiology.lung_volume)
    amplitudes = (1.0 - 0.1 * (2.0 * volume_at_onset - 1.0)) * rng.normal(1.0, 0.03, onsets.size)
    wave = np.zeros(frame_times.size)
    # Each beat reaches the frames from 1 s before its onset to 2 s after; searching the sorted
    # frame times first keeps long recordings fast.
    firsts = np.searchsorted(frame_times, onsets - 1.5)
    lasts = np.searchsorted(frame_times, onsets + 2.5)
    for onset, interval, amplitude, first, last in zip(onsets, intervals, amplitudes, firsts, lasts):
        times = frame_times[first:last]
        nearby = np.abs(times - onset - 0.5) < 1.5
        wave[first:last][nearby] += amplitude * pulse_shape(times[nearby] - onset, interval)
    return wave


def frame_timestamps(rng, duration_s):
    """Frame times with capture jitter, starting at 0 s and rounded to 0.1 ms.

    The jitter is bounded well below half a frame, so the times stay strictly increasing.
    """
    nominal = np.arange(int(duration_s * FPS)) / FPS
    jitter = np.clip(rng.normal(0.0, TIMESTAMP_JITTER_S, nominal.size), -0.006, 0.006)
    return np.round(nominal + jitter - jitter[0], 4)


def artefact_envelope(frame_times):
    """1 inside the motion artefact, 0 outside, with raised-cosine edges."""
    end = ARTEFACT_START_S + ARTEFACT_DURATION_S
    distance_inside = np.minimum(frame_times - ARTEFACT_START_S, end - frame_times)
    ramp = np.clip(distance_inside / ARTEFACT_EDGE_S, 0.0, 1.0)
    return 0.5 - 0.5 * np.cos(np.pi * ramp)


def camera_noise(rng, frame_times, white_scale, drift_scale):
    """White sensor noise plus a slow illumination drift."""
    white = rng.normal(0.0, white_scale, frame_times.size)
    return white + drift_scale * smooth_drift(rng, frame_times, 15.0, 60.0)


def motion_disturbance(rng, frame_times, envelope, scale):
    """Large, irregular movement-driven swings with sudden level shifts, inside the envelope."""
    swings = irregular_noise(rng, frame_times, knots_per_second=6.0)
    shift_times = np.sort(rng.uniform(ARTEFACT_START_S, ARTEFACT_START_S + ARTEFACT_DURATION_S, 3))
    levels = np.concatenate(([0.0], np.cumsum(rng.normal(0.0, 0.8, shift_times.size))))
    return envelope * scale * (swings + levels[np.searchsorted(shift_times, frame_times)])


def confidence(rng, frame_times, envelope, high_range=(0.85, 0.98), low_range=(0.1, 0.3)):
    """High, slightly noisy confidence, falling into the low range during the motion artefact."""
    high_middle = 0.5 * (high_range[0] + high_range[1])
    high = high_middle + 0.02 * smooth_drift(rng, frame_times, 10.0, 40.0)
    high = np.clip(high + rng.normal(0.0, 0.012, frame_times.size), *high_range)
    low = rng.uniform(*low_range, frame_times.size)
    return (1.0 - envelope) * high + envelope * low


def at_frames(physiology, values, frame_times):
    return np.interp(frame_times, physiology.time, values)


def ppg_columns(rng, physiology, frame_times, envelope):
    breathing = at_frames(physiology, physiology.lung_volume, frame_times)
    wave = pulse_wave(rng, physiology, frame_times) + 0.25 * (breathing - 0.5)
    wave += camera_noise(rng, frame_times, white_scale=0.06, drift_scale=0.3)
    wave += motion_disturbance(rng, frame_times, envelope, scale=3.0)
    return {
        "ppg_waveform": wave,
        "ppg_waveform_confidence": confidence(rng, frame_times, envelope),
    }


def respiratory_columns(rng, physiology, frame_times, envelope):
    wave = at_frames(physiology, physiology.lung_volume, frame_times) - 0.5
    wave += 0.02 * pulse_wave(rng, physiology, frame_times)  # a faint cardiac ripple
    wave += camera_noise(rng, frame_times, white_scale=0.04, drift_scale=0.08)
    wave += motion_disturbance(rng, frame_times, envelope, scale=1.5)
    return {
        "respiratory_waveform": wave,
        "respiratory_waveform_confidence": confidence(rng, frame_times, envelope),
    }


def scalar_columns(rng, physiology, frame_times, envelope, name, noise, artefact_noise):
    """A per-frame model estimate of a slow vital: the truth plus noise, much worse in motion."""
    truth = at_frames(physiology, getattr(physiology, name), frame_times)
    scale = noise + (artefact_noise - noise) * envelope
    return {
        name: truth + scale * rng.standard_normal(frame_times.size),
        f"{name}_confidence": confidence(rng, frame_times, envelope),
    }


def face_columns(rng, physiology, frame_times, envelope):
    """A face box swaying a few pixels, nodding with breathing, and jumping during the artefact."""
    breathing = at_frames(physiology, physiology.lung_volume, frame_times)
    x, y, width, height = FACE_BOX
    size_change = 3.0 * smooth_drift(rng, frame_times, 20.0, 80.0)
    columns = {
        "face_x": x + 5.0 * smooth_drift(rng, frame_times, 10.0, 60.0) - 0.5 * size_change,
        "face_y": y + 3.0 * smooth_drift(rng, frame_times, 10.0, 60.0) + 1.5 * breathing,
        "face_w": width + size_change,
        "face_h": height + 1.25 * size_change,
    }
    columns["face_x"] += motion_disturbance(rng, frame_times, envelope, scale=20.0)
    columns["face_y"] += motion_disturbance(rng, frame_times, envelope, scale=12.0)
    for name in columns:
        columns[name] += rng.normal(0.0, 0.5, frame_times.size)
    columns["face_x"] = np.clip(columns["face_x"], 0.0, FRAME_SIZE[0] - columns["face_w"])
    columns["face_y"] = np.clip(columns["face_y"], 0.0, FRAME_SIZE[1] - columns["face_h"])
    columns["face_confidence"] = confidence(
        rng, frame_times, envelope, high_range=(0.95, 0.995), low_range=(0.5, 0.75)
    )
    return columns


def recording_columns(rng, physiology, duration_s):
    frame_times = frame_timestamps(rng, duration_s)
    envelope = artefact_envelope(frame_times)
    columns = {"timestamp": frame_times}
    columns.update(ppg_columns(rng, physiology, frame_times, envelope))
    columns.update(respiratory_columns(rng, physiology, frame_times, envelope))
    columns.update(scalar_columns(rng, physiology, frame_times, envelope, "spo2", 0.4, 3.0))
    columns["spo2"] = np.minimum(columns["spo2"], 100.0)
    columns.update(scalar_columns(rng, physiology, frame_times, envelope, "sbp", 1.5, 12.0))
    columns.update(scalar_columns(rng, physiology, frame_times, envelope, "dbp", 1.0, 8.0))
    columns.update(face_columns(rng, physiology, frame_times, envelope))
    return columns


def truth(physiology, last_timestamp):
    """The true vitals at every whole second of the recording."""
    seconds = np.arange(0.0, np.floor(last_timestamp) + 1.0)
    vitals = {
        name: np.round(np.interp(seconds, physiology.time, getattr(physiology, name)), 3).tolist()
        for name in ("heart_rate", "respiratory_rate", "spo2", "sbp", "dbp")
    }
    return {"timestamp": seconds.tolist(), "vitals": vitals}


def write_csv(path, columns):
    table = np.column_stack(list(columns.values()))
    np.savetxt(path, table, fmt="%.6g", delimiter=",", header=",".join(columns), comments="")


def write_truth(path, content):
    path.write_text(json.dumps(content, indent=1) + "\n")


def parse_arguments():
    default_output = Path(__file__).resolve().parent.parent / "data"
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--output-dir",
        type=Path,
        default=default_output,
        help=f"folder to write {RECORDING_NAME}.csv and {RECORDING_NAME}.truth.json into "
        "(default: the repository's data/)",
    )
    parser.add_argument(
        "--duration",
        type=float,
        default=DEFAULT_DURATION_S,
        help=f"seconds of recording (default: {DEFAULT_DURATION_S:g})",
    )
    return parser.parse_args()


def main():
    arguments = parse_arguments()
    rng = np.random.default_rng(SEED)
    physiology = simulate_physiology(rng, arguments.duration)
    columns = recording_columns(rng, physiology, arguments.duration)
    arguments.output_dir.mkdir(parents=True, exist_ok=True)
    write_csv(arguments.output_dir / f"{RECORDING_NAME}.csv", columns)
    write_truth(
        arguments.output_dir / f"{RECORDING_NAME}.truth.json",
        truth(physiology, columns["timestamp"][-1]),
    )


if __name__ == "__main__":
    main()
