# SPDX-License-Identifier: Apache-2.0
"""Streams 20 s of synthetic model output through a quorvanta_core Session, then analyses the
same pulse wave with the stateless functions.

Run it with an interpreter that has NumPy and finds the built module, for example:

    PYTHONPATH=build/python /usr/bin/python3 examples/python_session.py
"""

import numpy as np

import quorvanta_core as qc

FPS = 30.0
SECONDS = 20
PULSE_HZ = 1.2  # 72 beats per minute
RESPIRATION_HZ = 0.25  # 15 breaths per minute


def synthetic_signals(times):
    """What a model would output at these frame times: a pulse and a respiration wave."""
    return {
        "ppg_waveform": np.sin(2 * np.pi * PULSE_HZ * times).astype(np.float32),
        "respiratory_waveform": np.sin(2 * np.pi * RESPIRATION_HZ * times).astype(np.float32),
    }


def stream(session, times):
    """Feeds the session one-second batches and returns the last result."""
    frames = int(FPS)
    for first in range(0, len(times), frames):
        batch_times = times[first:first + frames]
        signals = {name: qc.SignalInput(data, np.ones_like(data))
                   for name, data in synthetic_signals(batch_times).items()}
        result = session.process(qc.SessionInput(None, signals, batch_times), "Incremental")
    return result


def print_vitals(result):
    print(f"{'vital':<18} {'value':>7} {'unit':<6} confidence")
    for vital_id, vital in sorted(result.vitals.items()):
        print(f"{vital_id:<18} {vital.value:7.2f} {vital.unit:<6} {vital.confidence:.2f}")
    print(result.message)


def main():
    times = np.arange(int(FPS * SECONDS)) / FPS
    config = qc.SessionConfig("python-session-demo", ["heart_rate", "respiratory_rate"], FPS,
                              72, 4, "face")
    print_vitals(stream(qc.Session(config), times))

    ppg = synthetic_signals(times)["ppg_waveform"]
    rate, confidence = qc.estimate_heart_rate(ppg, FPS)
    print(f"\nestimate_heart_rate: {rate:.2f} per minute, confidence {confidence:.2f}")
    peaks = np.array(qc.find_peaks(ppg, FPS, True))
    mean_interval = np.diff(peaks).mean() / FPS
    print(f"find_peaks: {len(peaks)} beats, mean interval {mean_interval:.3f} s "
          f"({60 / mean_interval:.2f} per minute)")


if __name__ == "__main__":
    main()
