# SPDX-License-Identifier: Apache-2.0
"""Session: waveform modes, the assessment, poisoning, threads (reset and reentrancy:
test_hostile_objects.py). The vitals through this door are checked by examples/python_session.py,
their accuracy by the core's tests."""

import json
import os
import threading
import warnings
from pathlib import Path

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import error_of, make_config, make_input, pulse_wave

ADVISORY = ("The provided values are estimates and should be interpreted according to the "
            "provided confidence scores. The Quorvanta API is not a medical device and its "
            "estimates are not intended for any medical purposes.")
SIGNALS = {"ppg_waveform": pulse_wave(seconds=40.0)}
EMPTY = qv.SessionInput(None, {}, [])


def fed_session():
    session = qv.Session(make_config())
    session.process(make_input(0, 100, SIGNALS), "Global")
    return session


def returned_frames(session):
    return len(session.process(EMPTY, "Global").timestamp)


STRING = "Invalid WaveformMode string"
FORM = "WaveformMode must be a string or ('Windowed', seconds)"


# Names match exactly; a tuple is read only when it has two items and the second is a number.
@pytest.mark.parametrize("mode, outcome", [
    ("Incremental", 0), ("Global", 100), (("Windowed", 2.5), 75), (("Windowed", np.float32(1)), 30),
    ("incremental", STRING), (("Global", 2), "Invalid WaveformMode tuple"), (("Windowed",), FORM),
    (["Windowed", 10], FORM), (("Windowed", "10"), FORM),
])
def test_modes_choose_the_returned_frames_or_are_refused(mode, outcome):
    session = fed_session()
    if isinstance(outcome, int):
        result = session.process(EMPTY, mode)
        assert len(result.timestamp) == outcome and result.message == ADVISORY
    else:  # a refused mode changes nothing
        assert error_of(lambda: session.process(make_input(100, 10, SIGNALS), mode)) \
            == (ValueError, outcome)
        assert returned_frames(session) == 100


def test_an_assessment_checks_the_last_batch_and_changes_nothing():
    session = qv.Session(make_config())
    before = session.process(make_input(0, 600, SIGNALS), "Incremental")
    assessment = session.assess()
    heart = assessment.vitals["heart_rate"]
    assert (heart.value, heart.reasons) == (before.vitals["heart_rate"].value, [])
    assert abs(heart.checked_value - 72) < 2 and 0.5 < heart.quality <= 1
    beats = assessment.beats
    assert len(beats.status) == len(beats.times) and set(beats.status) == {qv.BeatStatus.Normal}
    assert all(600 < ms < 1100 for ms in beats.intervals)
    assert session.assess().vitals["heart_rate"].checked_value == heart.checked_value
    again = session.process(EMPTY, "Incremental")
    assert again.vitals["heart_rate"].value == before.vitals["heart_rate"].value
    assert qv.Session(make_config()).assess().vitals == {}


def test_the_samples_motion_artefact_lowers_the_heart_rates_quality_or_is_corrected():
    """Every 10 s window that overlaps the artefact (43 to 46.5 s): quality below 0.5, or a checked
    value within 5 per minute of the truth."""
    data = Path(__file__).parents[2] / "data"
    columns = np.genfromtxt(data / "sample_recording.csv", delimiter=",", names=True)
    truth = json.loads((data / "sample_recording.truth.json").read_text())["vitals"]["heart_rate"]
    session = qv.Session(make_config())
    times = columns["timestamp"]
    overlapping = 0
    for first in range(0, times.size, 30):
        part = slice(first, first + 30)
        signal = qv.SignalInput(columns["ppg_waveform"][part].astype(np.float32),
                                columns["ppg_waveform_confidence"][part].astype(np.float32))
        session.process(qv.SessionInput(None, {"ppg_waveform": signal}, times[part]), "Incremental")
        end = times[part][-1]
        if not 43.0 < end < 56.5:
            continue
        heart = session.assess().vitals["heart_rate"]
        expected = np.mean(truth[int(end) - 9:int(end) + 1])
        assert heart.quality < 0.5 or abs(heart.checked_value - expected) <= 5, end
        overlapping += 1
    assert overlapping == 13


@pytest.mark.parametrize("batch, warning", [
    (make_input(0, 30, {"ppg": pulse_wave(30), "ppg_waveform": pulse_wave(30)}),
     "signal 'ppg' is read by no vital, returned waveform or check of this session, which keeps "
     "none of it; did you mean 'ppg_waveform'?"),
    (qv.SessionInput(None, {}, [i * 1000 / 30 for i in range(30)]),
     "timestamps: the median frame interval is 33.3 s, too long for any vital: the timestamps "
     "look like milliseconds; if they are, divide them by 1000: the session takes seconds"),
])
def test_what_the_session_cannot_use_is_warned_of_once(batch, warning):
    session = qv.Session(make_config(vitals=["heart_rate"]))
    with pytest.warns(UserWarning) as warned:
        session.process(batch, "Incremental")
    assert [str(w.message) for w in warned] == [warning]
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        session.process(batch, "Incremental")  # once per session


@pytest.mark.skipif(not os.environ.get("QUORVANTA_FAULT_INJECTION"),
                    reason="the module was built without the fault seam")
def test_a_fault_poisons_the_session():
    faulty = qv.Session(make_config("quorvanta-test-fault"))
    with pytest.raises(BaseException) as raised:
        faulty.process(make_input(0, 10, SIGNALS), "Global")
    fault = type(raised.value)  # derives from BaseException only, so `except Exception` misses it
    assert (fault.__bases__, str(raised.value)) == ((BaseException,), "injected fault")
    for later in (lambda: faulty.process(make_input(10, 10, SIGNALS), "Incremental"),
                  faulty.assess, faulty.reset):
        with pytest.raises(fault, match=r"^Failed to lock Session core: PoisonError \{ \.\. \}$"):
            later()
    with pytest.raises(TypeError):  # arguments are converted before the lock is taken
        faulty.process(None, "Global")
    assert fed_session().process(EMPTY, "Global").message == ADVISORY


def test_a_session_shared_by_threads_serialises_its_calls():
    """Threads feeding one session interleave whole calls: every frame is stored once."""
    session = qv.Session(make_config(vitals=["ppg_waveform", "heart_rate"]))
    errors = []

    def feed(thread):  # 30 batches of 10 frames, the threads' batches taking turns
        try:
            for batch in range(30):
                session.process(make_input((batch * 4 + thread) * 10, 10, SIGNALS), "Incremental")
                if batch % 10 == 9:
                    session.process(EMPTY, "Global")
        except BaseException as error:  # noqa: BLE001 - reported below
            errors.append(error)

    workers = [threading.Thread(target=feed, args=(thread,)) for thread in range(4)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    stored = session.process(EMPTY, "Global").timestamp
    assert errors == [] and len(stored) == len(set(stored)) <= 30 * 10 * 4
