# SPDX-License-Identifier: Apache-2.0
"""Accuracy against ECG- and belt-derived references on two public recordings kept in
data/accuracy (written by `tools/accuracy.py --write-fixtures`; its README names their sources),
clean and under white noise at 10 dB, scored as docs/accuracy.md scores them: the checked values
must keep the accuracy that page reports."""

import importlib.util
from pathlib import Path

import numpy as np
import pytest

SOURCE = Path(__file__).resolve().parents[2]
_spec = importlib.util.spec_from_file_location("accuracy", SOURCE / "tools/accuracy.py")
accuracy = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(accuracy)


def scored(level_db):
    """Per recording, the mean absolute errors {(vital, "session" | "checked"): (mean, count)}."""
    result = {}
    for name in accuracy.FIXTURE_RECORDINGS:
        signals, truths = accuracy.read_fixture(SOURCE / "data/accuracy" / f"{name}.npz")
        errors = accuracy.score_signals(accuracy.noisy(signals, level_db), truths)
        result[name] = {key: (np.mean(values), len(values))
                        for key, values in errors.absolute.items() if values}
    return result


def pooled(result, key):
    means = [errors[key] for errors in result.values() if key in errors]
    return sum(mean * count for mean, count in means) / sum(count for _, count in means)


@pytest.fixture(scope="module")
def clean():
    return scored(None)


def test_checked_rates_beat_the_sessions_on_resting_finger_ppg(clean):
    nk = clean["nk_rest5"]
    assert nk["heart_rate", "checked"][0] <= 0.8 < nk["heart_rate", "session"][0]
    assert nk["respiratory_rate", "checked"][0] <= 1.0 < nk["respiratory_rate", "session"][0]
    for name, errors in clean.items():
        assert errors["heart_rate", "checked"][0] <= errors["heart_rate", "session"][0], name


def test_checked_hrv_stays_close_to_the_ecg_clean_and_halves_the_error_under_noise(clean):
    assert pooled(clean, ("hrv_sdnn", "checked")) <= 4.0
    assert pooled(clean, ("hrv_rmssd", "checked")) <= 5.5
    noisy = scored(10.0)
    for vital in ("hrv_sdnn", "hrv_rmssd"):
        assert pooled(noisy, (vital, "checked")) <= 0.5 * pooled(noisy, (vital, "session")), vital
