"""Session: waveform modes, end-to-end processing of synthetic model output, reset, poisoning."""

import os

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import make_config, make_input, pulse_wave, sine

ADVISORY = ("The provided values are estimates and should be interpreted according to the "
            "provided confidence scores. The Quorvanta API is not a medical device and its "
            "estimates are not intended for any medical purposes.")
SIGNALS = {"ppg_waveform": pulse_wave(seconds=40.0),
           "respiratory_waveform": sine(0.25, seconds=40.0, phase=0.3)}


def fed_session(frames=100, config=None):
    session = qv.Session(config or make_config())
    session.process(make_input(0, frames, SIGNALS), "Global")
    return session


@pytest.mark.parametrize("mode, returned", [
    ("Incremental", 0), ("Global", 100), (("Windowed", 2), 60), (("Windowed", 2.5), 75),
    (("Windowed", np.float32(1.0)), 30), (("Windowed", 10), 100), (("Windowed", -1.0), 0),
])
def test_modes_choose_the_returned_frames(mode, returned):
    result = fed_session().process(qv.SessionInput(None, {}, []), mode)
    assert len(result.timestamp) == returned and result.message == ADVISORY


FORM = "WaveformMode must be a string or ('Windowed', seconds)"


@pytest.mark.parametrize("mode, message", [
    ("Windowed", "Invalid WaveformMode string"), ("incremental", "Invalid WaveformMode string"),
    (("windowed", 10), "Invalid WaveformMode tuple"),
    (("Global", 10), "Invalid WaveformMode tuple"),
    (("Windowed",), FORM), (("Windowed", 10, 1), FORM), (["Windowed", 10], FORM),
    ((10, "Windowed"), FORM), (("Windowed", "10"), FORM), (("Windowed", 10**400), FORM),
    (None, FORM), (1, FORM),
])
def test_invalid_modes(mode, message):
    session = fed_session()
    with pytest.raises(ValueError) as raised:
        session.process(make_input(100, 10, SIGNALS), mode)
    assert (type(raised.value), str(raised.value)) == (ValueError, message)
    assert len(session.process(qv.SessionInput(None, {}, []), "Global").timestamp) == 100


@pytest.mark.parametrize("call, type_name, class_name", [
    (lambda: qv.Session(make_config()).process({}, "Global"), "dict", "SessionInput"),
    (lambda: qv.Session(make_config()).process(input=make_config(), mode="Global"),
     "SessionConfig", "SessionInput"),
    (lambda: qv.Session(None), "NoneType", "SessionConfig"),
])
def test_arguments_of_the_wrong_class(call, type_name, class_name):
    with pytest.raises(TypeError) as raised:
        call()
    argument = "config" if class_name == "SessionConfig" else "input"
    assert str(raised.value) == \
        f"argument '{argument}': '{type_name}' object cannot be converted to '{class_name}'"


def test_end_to_end_vitals_from_synthetic_model_output():
    vitals = ["ppg_waveform", "respiratory_waveform", "heart_rate", "respiratory_rate"]
    session = qv.Session(make_config("m1", vitals, return_waveforms=["ppg_waveform"]))
    returned_until = 0
    for first in range(0, 900, 90 - 15):  # batches overlap by 15 frames, as buffers do
        end = min(first + 90, 900)
        result = session.process(make_input(first, end - first, SIGNALS), "Incremental")
        assert result.timestamp == [i / 30.0 for i in range(returned_until, end)]
        returned_until = end
    assert set(result.vitals) == {"heart_rate", "respiratory_rate"}
    assert result.vitals["heart_rate"].value == pytest.approx(72.0, abs=1.0)
    assert result.vitals["respiratory_rate"].value == pytest.approx(15.0, abs=1.0)
    for name, vital in result.vitals.items():
        assert type(vital) is qv.VitalResult and 0 < vital.confidence <= 1
        assert vital.unit == qv.get_vital_info(name).unit and "m1" in vital.note
    waveform = result.waveforms["ppg_waveform"]
    assert len(waveform.data) == len(waveform.confidence) == len(result.timestamp)
    assert waveform.unit == qv.get_vital_info("ppg_waveform").unit
    assert result.fps == pytest.approx(30.0, rel=1e-4)
    assert len(result.face.coordinates) == len(result.timestamp)


def test_mismatched_batch_is_reported_and_changes_nothing():
    session = fed_session()
    bad = make_input(100, 10, SIGNALS)
    signals = bad.signals
    signals["ppg_waveform"].data = signals["ppg_waveform"].data[:9]
    bad.signals = signals
    result = session.process(bad, "Global")
    assert result.message == "Length mismatch: signals[ppg_waveform].data has length 9, expected 10"
    assert (result.timestamp, result.face, result.waveforms, result.vitals, result.fps) \
        == ([], None, {}, {}, 30.0)
    assert len(session.process(qv.SessionInput(None, {}, []), "Global").timestamp) == 100


def test_reset_clears_the_history():
    session = fed_session()
    assert session.reset() is None
    result = session.process(make_input(0, 10, SIGNALS), "Incremental")
    assert result.timestamp == [i / 30.0 for i in range(10)]
    assert len(session.process(qv.SessionInput(None, {}, []), "Global").timestamp) == 10


fault_injection = pytest.mark.skipif(not os.environ.get("QUORVANTA_FAULT_INJECTION"),
                                     reason="the module was built without the fault seam")


@fault_injection
def test_a_fault_poisons_the_session():
    faulty = qv.Session(make_config("quorvanta-test-fault"))
    bad = make_input(0, 10, SIGNALS)
    bad.timestamp = bad.timestamp[:9]
    assert faulty.process(bad, "Global").message.startswith("Length mismatch")
    fault_type, caught_as_exception = None, False
    try:
        try:
            faulty.process(make_input(0, 10, SIGNALS), "Global")
        except Exception:  # noqa: BLE001 - the fault must not be an Exception
            caught_as_exception = True
    except BaseException as fault:  # noqa: BLE001 - the fault derives from BaseException
        fault_type = type(fault)
        assert (fault_type.__bases__, str(fault)) == ((BaseException,), "injected fault")
    assert fault_type and not caught_as_exception
    for later in (lambda: faulty.process(make_input(10, 10, SIGNALS), "Incremental"),
                  lambda: faulty.process(bad, "Global"), faulty.reset, faulty.reset):
        with pytest.raises(fault_type, match=r"^Failed to lock Session core: PoisonError \{ "
                                             r"\.\. \}$"):
            later()
    with pytest.raises(TypeError):
        faulty.process(None, "Global")
    with pytest.raises(ValueError):
        faulty.process(make_input(0, 10, SIGNALS), "global")
    assert fed_session().process(qv.SessionInput(None, {}, []), "Global").message == ADVISORY
