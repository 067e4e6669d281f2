# SPDX-License-Identifier: Apache-2.0
"""Session: waveform modes, a mismatched batch, reset, poisoning, threads. The vitals through this
door are checked by examples/python_session.py, their accuracy by the core's tests."""

import os
import threading

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import make_config, make_input, pulse_wave, sine

ADVISORY = ("The provided values are estimates and should be interpreted according to the "
            "provided confidence scores. The Quorvanta API is not a medical device and its "
            "estimates are not intended for any medical purposes.")
SIGNALS = {"ppg_waveform": pulse_wave(seconds=40.0),
           "respiratory_waveform": sine(0.25, seconds=40.0, phase=0.3)}
EMPTY = qv.SessionInput(None, {}, [])


def fed_session():
    session = qv.Session(make_config())
    session.process(make_input(0, 100, SIGNALS), "Global")
    return session


def returned_frames(session):
    return len(session.process(EMPTY, "Global").timestamp)


STRING, TUPLE = "Invalid WaveformMode string", "Invalid WaveformMode tuple"
FORM = "WaveformMode must be a string or ('Windowed', seconds)"


@pytest.mark.parametrize("mode, outcome", [
    ("Incremental", 0), ("Global", 100), (("Windowed", 2.5), 75), (("Windowed", np.float32(1)), 30),
    (("Windowed", 10), 100), (("Windowed", -1.0), 0), ("Windowed", STRING),
    ("incremental", STRING), (("Global", 10), TUPLE), (("Windowed",), FORM),
    (("Windowed", 10, 1), FORM), (["Windowed", 10], FORM), (("Windowed", "10"), FORM),
    (("Windowed", 10**400), FORM), (None, FORM),
])
def test_modes_choose_the_returned_frames_or_are_refused(mode, outcome):
    session = fed_session()
    if isinstance(outcome, int):
        result = session.process(EMPTY, mode)
        assert len(result.timestamp) == outcome and result.message == ADVISORY
    else:  # a refused mode changes nothing
        with pytest.raises(ValueError) as raised:
            session.process(make_input(100, 10, SIGNALS), mode)
        assert (type(raised.value), str(raised.value)) == (ValueError, outcome)
        assert returned_frames(session) == 100


def test_mismatched_batch_changes_nothing_and_reset_clears_the_history():
    session = fed_session()
    bad = make_input(100, 10, SIGNALS)
    bad.signals = {"ppg_waveform": qv.SignalInput([0.0] * 9, [0.9] * 9)}
    result = session.process(bad, "Global")
    assert result.message == "Length mismatch: signals[ppg_waveform].data has length 9, expected 10"
    assert (result.timestamp, result.face, result.waveforms, result.vitals, result.fps) \
        == ([], None, {}, {}, 30.0)
    assert returned_frames(session) == 100 and session.reset() is None
    result = session.process(make_input(0, 10, SIGNALS), "Incremental")
    assert result.timestamp == [i / 30.0 for i in range(10)] and returned_frames(session) == 10


@pytest.mark.skipif(not os.environ.get("QUORVANTA_FAULT_INJECTION"),
                    reason="the module was built without the fault seam")
def test_a_fault_poisons_the_session():
    faulty = qv.Session(make_config("quorvanta-test-fault"))
    bad = make_input(0, 10, SIGNALS)
    bad.timestamp = bad.timestamp[:9]
    assert faulty.process(bad, "Global").message.startswith("Length mismatch")
    with pytest.raises(BaseException) as raised:
        faulty.process(make_input(0, 10, SIGNALS), "Global")
    fault = type(raised.value)  # derives from BaseException only, so `except Exception` misses it
    assert (fault.__bases__, str(raised.value)) == ((BaseException,), "injected fault")
    for later in (lambda: faulty.process(make_input(10, 10, SIGNALS), "Incremental"),
                  lambda: faulty.process(bad, "Global"), faulty.reset, faulty.reset):
        with pytest.raises(fault, match=r"^Failed to lock Session core: PoisonError \{ \.\. \}$"):
            later()
    with pytest.raises(TypeError):
        faulty.process(None, "Global")
    with pytest.raises(ValueError):
        faulty.process(make_input(0, 10, SIGNALS), "global")
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
