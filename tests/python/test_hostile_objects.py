# SPDX-License-Identifier: Apache-2.0
"""Python code that runs in the middle of a call (a conversion's __float__, a finalizer started by
an allocation) cannot make the module read memory it checked before that code ran."""

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import Number, during_next_collection, make_config, make_input, pulse_wave

PULSE = pulse_wave(seconds=20.0)
NOT_AN_ARRAY = "argument '{}': 'ndarray' object cannot be converted to 'PyArray<T, D>'"


def view_of_larger(array):
    """A contiguous view into a buffer twice its size, which may be given strides of 8 bytes."""
    backing = np.zeros(array.size * 2, np.float32)
    backing[:array.size] = array
    return backing[:array.size]


# What Python code may legally do to an array it can reach (NumPy lets it even while a buffer of
# the array is exported), and the TypeError that a call reading the array afterwards must raise;
# None where the array still qualifies and is read as it is now. Resizing needs an array that owns
# its data, new strides a view into a larger buffer.
MUTATIONS = {
    "retyped to bytes": (lambda a: setattr(a, "dtype", np.uint8), NOT_AN_ARRAY),
    "retyped to float64": (lambda a: setattr(a, "dtype", np.float64), NOT_AN_ARRAY),
    "retyped to int32": (lambda a: setattr(a, "dtype", np.int32), NOT_AN_ARRAY),
    "byte-swapped": (lambda a: setattr(a, "dtype", np.dtype(">f4")), NOT_AN_ARRAY),
    "reshaped to 2-D": (lambda a: setattr(a, "shape", (2, a.size // 2)), NOT_AN_ARRAY),
    "strided": (lambda a: setattr(a, "strides", (8,)), "The given array is not contiguous"),
    "grown": (lambda a: a.resize(a.size * 4, refcheck=False), None),
    "shrunk": (lambda a: a.resize(a.size // 3, refcheck=False), None),
    "freed": (lambda a: a.resize(0, refcheck=False), None),
    "rewritten": (lambda a: a.__setitem__(slice(None), a[::-1].copy()), None),
}

# Each signal routine with the hostile number in one of its numeric arguments, and the array that
# the number's conversion mutates ("signal" or "confidence").
CALLS = {
    "estimate_heart_rate fs": ("signal", lambda s, c, n: qv.estimate_heart_rate(s, n(30.0))),
    "find_peaks fs": ("signal", lambda s, c, n: qv.find_peaks(s, n(30.0), True)),
    **{f"find_peaks {name}": ("signal", lambda s, c, n, name=name, value=value: qv.find_peaks(
        s, 30.0, True, **{name: n(value)}))
       for name, value in [("rate_hint", 72.0), ("min_rate", 40.0), ("max_rate", 220.0),
                           ("detection_threshold", 0.45), ("window_cycles", 2.5),
                           ("max_rate_change", 1.0)]},
    **{f"estimate_hrv_metric {name} mutating {array}": (array, lambda s, c, n, name=name,
                                                         value=value: qv.estimate_hrv_metric(
        signal=s, metric_name="rmssd", confidence=c, **{"fs": 30.0, name: n(value)}))
       for name, value in [("fs", 30.0), ("rate_hint", 72.0)]
       for array in ("signal", "confidence")},
}


@pytest.mark.parametrize("mutation", MUTATIONS)
@pytest.mark.parametrize("call", CALLS)
def test_a_signal_array_changed_by_a_later_conversion_is_read_as_it_is_now(call, mutation):
    target, run = CALLS[call]
    mutate, expected_error = MUTATIONS[mutation]
    make = view_of_larger if mutation == "strided" else np.copy
    arrays = {"signal": make(PULSE), "confidence": make(np.ones_like(PULSE))}
    hostile = lambda value: Number(value, lambda: mutate(arrays[target]))  # noqa: E731
    if expected_error is None:
        result = run(arrays["signal"], arrays["confidence"], hostile)
        now = {name: array.copy() for name, array in arrays.items()}
        assert result == run(now["signal"], now["confidence"], lambda value: value)
    else:
        with pytest.raises(TypeError) as raised:
            run(arrays["signal"], arrays["confidence"], hostile)
        assert str(raised.value) == expected_error.format(target)


def test_the_first_bad_argument_is_still_the_one_reported():
    with pytest.raises(TypeError, match="argument 'signal'"):
        qv.estimate_hrv_metric(PULSE.astype(np.float64), "fs", "rmssd", None)
    with pytest.raises(TypeError, match="argument 'fs'"):
        qv.estimate_hrv_metric(PULSE, "fs", "rmssd", None)


# Attributes whose reads build lists or dicts (allocations that can start a collection), each with
# a value of another size or shape. Strings and records build objects the collector does not track.
ATTRIBUTES = [
    (lambda: qv.SignalInput([1.0] * 10, [1.0] * 10), "data", [2.0] * 100_000),
    (lambda: qv.SignalInput([1.0] * 10_000, [1.0]), "data", []),
    (lambda: qv.SignalInput([1.0], [0.5] * 10), "confidence", [0.25] * 50_000),
    (lambda: qv.FaceInput([[1.0, 2.0, 3.0, 4.0]] * 20, [0.9] * 20), "coordinates",
     [[5.0] * 400] * 300),
    (lambda: qv.FaceInput([[1.0] * 300] * 300, [0.9]), "coordinates", [[]]),
    (lambda: make_input(0, 30), "timestamp", [0.5] * 100_000),
    (lambda: make_input(0, 30, {"ppg_waveform": PULSE}), "signals",
     {f"s{i}": qv.SignalInput([float(i)] * 100, []) for i in range(200)}),
    (lambda: make_input(0, 30, {"ppg_waveform": PULSE}), "signals", {}),
    (lambda: make_config(vitals=["hr", "rr", "si"]), "supported_vitals", ["x" * 1000] * 5000),
    (lambda: make_config(return_waveforms=["ppg_waveform"] * 50), "return_waveforms", None),
]


def comparable(value):
    """Records compared by their attributes, everything else as it is."""
    if isinstance(value, list):
        return [comparable(item) for item in value]
    if isinstance(value, dict):
        return {key: comparable(item) for key, item in value.items()}
    if type(value).__module__ == "quorvanta_core":
        return {name: comparable(getattr(value, name)) for name in dir(value)
                if not name.startswith("_")}
    return value


@pytest.mark.parametrize("make, name, new_value", ATTRIBUTES,
                         ids=[f"{name}-{i}" for i, (_, name, _) in enumerate(ATTRIBUTES)])
def test_an_attribute_assigned_while_it_is_read_reads_whole(make, name, new_value):
    instance = make()
    old = comparable(getattr(instance, name))
    new = comparable(new_value)
    for _ in range(3):
        read = during_next_collection(lambda: setattr(instance, name, new_value),
                                      lambda: getattr(instance, name))
        assert comparable(read) in (old, new)
        assert comparable(getattr(instance, name)) == new
        setattr(instance, name, make().__getattribute__(name))


class Items:
    """A sequence whose iteration reads and reassigns the attribute being set."""

    def __init__(self, instance, name, items):
        self.instance, self.name, self.items = instance, name, items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, index):
        getattr(self.instance, self.name)
        setattr(self.instance, self.name, self.items * 3)
        return self.items[index]


@pytest.mark.parametrize("make, name, items", [
    (lambda: qv.SignalInput([1.0] * 10, [1.0]), "data", [2.0] * 50),
    (lambda: qv.FaceInput([[1.0]] * 10, []), "coordinates", [[3.0, 4.0]] * 20),
    (lambda: make_config(), "supported_vitals", ["hr", "rr"]),
])
def test_a_setter_whose_value_reassigns_the_attribute_keeps_the_value_converted(make, name, items):
    instance = make()
    setattr(instance, name, Items(instance, name, items))
    assert getattr(instance, name) == items


def test_a_session_used_from_inside_its_own_call_stays_consistent():
    session = qv.Session(make_config(vitals=["ppg_waveform", "heart_rate"]))
    batch = make_input(0, 300, {"ppg_waveform": PULSE})

    def meddle():
        session.process(make_input(300, 30, {"ppg_waveform": PULSE}), "Incremental")
        session.reset()
        batch.timestamp = []
        batch.signals = {}

    result = session.process(batch, ("Windowed", Number(10.0, meddle)))
    assert len(result.timestamp) == 300 and result.vitals["heart_rate"].value > 0
    assert session.process(make_input(300, 30), "Global").timestamp[0] == 0.0


SURROGATE = "\udc80"


def test_a_lone_surrogate_names_nothing_and_cannot_be_stored():
    face = qv.Rect(0, 0, 10, 10)
    assert qv.get_vital_info(SURROGATE) is None
    unknown_names = [
        (lambda: qv.estimate_hrv_metric(PULSE, 30.0, SURROGATE, PULSE), "Invalid HRV metric"),
        (lambda: qv.calculate_roi(face, SURROGATE), "Invalid RoiMethod string"),
        (lambda: qv.calculate_roi(face, "face", SURROGATE), "Invalid FaceDetector string"),
        (lambda: qv.Session(make_config()).process(make_input(0, 1), SURROGATE),
         "Invalid WaveformMode string"),
        (lambda: qv.Session(make_config()).process(make_input(0, 1), (SURROGATE, 1.0)),
         "Invalid WaveformMode tuple"),
    ]
    for call, message in unknown_names:
        with pytest.raises(ValueError) as raised:
            call()
        assert type(raised.value) is ValueError and str(raised.value) == message
    with pytest.raises(TypeError) as raised:
        qv.get_vital_info(**{SURROGATE: "hr"})
    assert str(raised.value) == f"get_vital_info() got an unexpected keyword argument '{SURROGATE}'"
    for store in (lambda: make_config(model_name=SURROGATE),
                  lambda: make_config(vitals=["hr", SURROGATE]),
                  lambda: qv.SessionInput(None, {SURROGATE: qv.SignalInput([], [])}, [])):
        with pytest.raises(UnicodeEncodeError):
            store()
