"""Module registration, documentation, argument parsing, attribute conversions and enums."""

import inspect

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import (CALLABLES, WRITABLE_INSTANCES, Index, f32, float_error, make_config,
                      make_rect, metadata, prefixed, signed_error, unsigned_error,
                      writable_fields)

CLASSES = {
    "Session": ("(config)", "A thread-safe, stateful session object for processing continuous "
                "frame data natively across FFI and Wasm."),
    "SessionConfig": ("(model_name, supported_vitals, fps_target, input_size, n_inputs, "
                      "roi_method, return_waveforms=None)",
                      "Configuration for initializing a Quorvanta session."),
    "SessionInput": ("(face, signals, timestamp)", "The core batch input object submitted to the "
                     "session engine for processing."),
    "SignalInput": ("(data, confidence)", "A generic wrapper for a single physical signal and "
                    "its corresponding confidence array."),
    "FaceInput": ("(coordinates, confidence)", "Input payload representing tracked face "
                  "bounding boxes over a sequence of frames."),
    "SessionResult": (None, "The final payload aggregated from a session processing tick."),
    "WaveformResult": (None, "Derived continuous waveform data alongside unit metadata."),
    "VitalResult": (None, "Derived scalar physiological value."),
    "FaceResult": (None, "Filtered/smoothed output face coordinates."),
    "Rect": ("(x, y, width, height)", "A simple bounding box definition."),
    "InferenceMode": (None, "Operational paradigm dictating buffer fill limits."),
    "BufferConfig": (None, "Capacity constraints and threshold configuration for buffers."),
    "BufferActionType": (None, "Action to be taken on a target ROI after evaluation."),
    "BufferAction": (None, "The concrete instruction resulting from evaluating a target."),
    "BufferMetadata": ("(id, roi, count, created_at, last_seen)",
                       "Identifiable state metadata attached to a specific processing buffer."),
    "InferenceCommand": (None, "Command returned by the BufferPlanner indicating how many "
                         "frames to extract."),
    "ExecutionPlan": (None, "Aggregated output from the BufferPlanner dictating next steps for "
                      "all buffers."),
    "VitalDisplayMeta": (None, "Extracted UI/display properties for a specific vital sign."),
}
FUNCTIONS = {
    "estimate_heart_rate": "(signal, fs)",
    "estimate_hrv_metric": "(signal, fs, metric_name, confidence, rate_hint=None)",
    "find_peaks": "(signal, fs, refine, rate_hint=None, min_rate=40.0, max_rate=220.0, "
                  "detection_threshold=0.45, window_cycles=2.5, max_rate_change=1.0)",
    "calculate_roi": "(face, method, detector=..., container=None, force_even=False)",
    "get_vital_info": "(vital_id)",
}
DOCUMENTED = ([(getattr(qv, name), signature, doc) for name, (signature, doc) in CLASSES.items()]
              + [(getattr(qv, name), signature, None) for name, signature in FUNCTIONS.items()]
              + [(qv.Session.process, "($self, input, mode)", None),
                 (qv.Session.reset, "($self)", None)])


def test_module_registers_the_classes_then_the_functions():
    assert qv.__all__ == list(CLASSES) + list(FUNCTIONS)
    assert {name for name in dir(qv) if not name.startswith("__")} == set(qv.__all__)


@pytest.mark.parametrize("documented, signature, doc", DOCUMENTED,
                         ids=[d[0].__qualname__ for d in DOCUMENTED])
def test_docs_and_signatures(documented, signature, doc):
    assert (documented.__text_signature__, documented.__doc__) == (signature, doc)
    if signature:  # inspect shows the defaults as values and $self as positional-only
        assert str(inspect.signature(documented)) == \
            signature.replace("...", "Ellipsis").replace("$self", "self, /")


@pytest.mark.parametrize("name", [name for name, (signature, _) in CLASSES.items()
                                  if signature is None])
def test_classes_without_constructor(name):
    for args, kwargs in [((), {}), ((1,), {}), ((), {"x": 1})]:
        with pytest.raises(TypeError, match="^No constructor defined$"):
            getattr(qv, name)(*args, **kwargs)


def python_twin(callable_, qualname):
    """A Python function with the callable's signature, so that CPython words the errors."""
    namespace = {}
    exec(f"def twin{inspect.signature(callable_)}: pass", namespace)  # noqa: S102 - trusted text
    namespace["twin"].__qualname__ = qualname
    return namespace["twin"]


@pytest.mark.parametrize("callable_, qualname, required", CALLABLES, ids=[c[1] for c in CALLABLES])
def test_argument_parsing_follows_cpython(callable_, qualname, required):
    twin = python_twin(callable_, qualname)
    parameters = list(inspect.signature(twin).parameters)
    bad_calls = [(required[:-missing], {}) for missing in range(1, min(3, len(required)) + 1)]
    bad_calls += [(required + [None] * (len(parameters) - len(required) + 1), {}),
                  (required, {"unexpected": 1})]
    if required:
        bad_calls.append((required, {parameters[0]: required[0]}))
    for args, kwargs in bad_calls:
        with pytest.raises(TypeError) as expected:
            twin(*args, **kwargs)
        with pytest.raises(TypeError) as raised:
            callable_(*args, **kwargs)
        assert str(raised.value) == str(expected.value)
    callable_(**dict(zip(parameters, required)))


def plain(value):
    """The value with the type of every element, so that 1 and 1.0 or lists and tuples differ."""
    return type(value), [plain(item) for item in value] if isinstance(value, list) else value


# Field, value written, and what a read then gives or the error the write raises.
CONVERSIONS = [
    (make_rect, "x", 0.1, f32(0.1)), (make_rect, "y", 7, 7.0), (make_rect, "width", Index(3), 3.0),
    (make_rect, "height", np.float32(2.5), 2.5), (make_rect, "x", np.float64(1e-3), f32(1e-3)),
    (make_rect, "x", "1", prefixed("x", float_error("1"))),
    (make_rect, "y", None, prefixed("y", float_error(None))),
    (make_rect, "x", 10**400, float_error(10**400)),
    (make_config, "fps_target", 29.97, f32(29.97)),
    (make_config, "input_size", 2**64 - 1, 2**64 - 1), (make_config, "n_inputs", Index(5), 5),
    (make_config, "n_inputs", -1, unsigned_error(-1)),
    (make_config, "input_size", 2**64, unsigned_error(2**64)),
    (make_config, "input_size", "4", prefixed("input_size", unsigned_error("4"))),
    (make_config, "model_name", "é☃\U0001f493", "é☃\U0001f493"),
    (make_config, "roi_method", 5,
     TypeError("argument 'roi_method': 'int' object cannot be converted to 'PyString'")),
    (make_config, "supported_vitals", ("a", "b"), ["a", "b"]),
    (make_config, "supported_vitals", "hr",
     TypeError("argument 'supported_vitals': Can't extract `str` to `Vec`")),
    (make_config, "supported_vitals", {"hr": 1},
     TypeError("argument 'supported_vitals': 'dict' object cannot be converted to 'Sequence'")),
    (make_config, "supported_vitals", ["hr", b"rr"],
     TypeError("argument 'supported_vitals': 'bytes' object cannot be converted to 'PyString'")),
    (make_config, "return_waveforms", None, None), (make_config, "return_waveforms", [], []),
    (make_config, "return_waveforms", 5,
     TypeError("argument 'return_waveforms': 'int' object cannot be converted to 'Sequence'")),
    (lambda: qv.SignalInput([], []), "data", (1, 2.5), [1.0, 2.5]),
    (lambda: qv.SignalInput([], []), "data", np.array([0.1]), [f32(0.1)]),
    (lambda: qv.SignalInput([], []), "data", b"\x01\x02", [1.0, 2.0]),
    (lambda: qv.SignalInput([], []), "data", "12",
     TypeError("argument 'data': Can't extract `str` to `Vec`")),
    (lambda: qv.SignalInput([], []), "confidence", [1.0, "x"],
     prefixed("confidence", float_error("x"))),
    (lambda: qv.FaceInput([], []), "coordinates", [(1, 2), np.array([3.0], np.float32), []],
     [[1.0, 2.0], [3.0], []]),
    (lambda: qv.FaceInput([], []), "coordinates", np.ones((1, 2)), [[1.0, 1.0]]),
    (lambda: qv.FaceInput([], []), "coordinates", [[1.0], "ab"],
     TypeError("argument 'coordinates': Can't extract `str` to `Vec`")),
    (lambda: qv.FaceInput([], []), "coordinates", [1.0],
     TypeError("argument 'coordinates': 'float' object cannot be converted to 'Sequence'")),
    (lambda: qv.SessionInput(None, {}, []), "timestamp", [0.1, 2], [0.1, 2.0]),
    (lambda: qv.SessionInput(None, {}, []), "face", make_rect(),
     TypeError("argument 'face': 'Rect' object cannot be converted to 'FaceInput'")),
    (lambda: qv.SessionInput(None, {}, []), "signals", [qv.SignalInput([], [])],
     TypeError("argument 'signals': 'list' object cannot be converted to 'PyDict'")),
    (lambda: qv.SessionInput(None, {}, []), "signals", {"ppg": [1.0]},
     TypeError("argument 'signals': 'list' object cannot be converted to 'SignalInput'")),
    (lambda: qv.SessionInput(None, {}, []), "signals", {1: qv.SignalInput([], [])},
     TypeError("argument 'signals': 'int' object cannot be converted to 'PyString'")),
    (metadata, "created_at", 0.1, 0.1), (metadata, "count", 4294967295, 4294967295),
    (metadata, "count", Index(0), 0),
    (metadata, "roi", (1, 2, 3, 4),
     TypeError("argument 'roi': 'tuple' object cannot be converted to 'Rect'")),
    (metadata, "count", 4294967296, OverflowError("out of range integral type conversion "
                                                  "attempted")),
    (metadata, "count", -1, OverflowError("out of range integral type conversion attempted")),
    (metadata, "count", 2**64, signed_error(2**64)),
    (metadata, "count", 1.0, prefixed("count", signed_error(1.0))),
    (lambda: qv.get_vital_info("hr"), "emoji", "x'y", "x'y"),
    (lambda: qv.get_vital_info("hr"), "color", None,
     TypeError("argument 'color': 'NoneType' object cannot be converted to 'PyString'")),
]


@pytest.mark.parametrize("factory, field, value, outcome", CONVERSIONS)
def test_attribute_and_constructor_conversions(factory, field, value, outcome):
    instance = factory()
    cls = type(instance)
    parameters = inspect.signature(cls).parameters if cls.__text_signature__ else {}
    arguments = {name: getattr(instance, name) for name in parameters}
    writes = [lambda: setattr(instance, field, value) or instance]
    if field in parameters:
        writes.append(lambda: cls(**{**arguments, field: value}))
    for write in writes:
        if isinstance(outcome, Exception):
            before = repr(getattr(instance, field))
            with pytest.raises(type(outcome)) as raised:
                write()
            assert (type(raised.value), str(raised.value)) == (type(outcome), str(outcome))
            assert repr(getattr(instance, field)) == before
        else:
            assert plain(getattr(write(), field)) == plain(outcome)


def test_reads_build_new_objects():
    batch = qv.SessionInput(qv.FaceInput([[1.0]], [0.5]), {"ppg": qv.SignalInput([1.0], [1.0])},
                            [0.0])
    batch.signals["ppg"].data = [9.0]
    batch.signals["ppg"].data.append(2.0)
    batch.signals.clear()
    batch.face.coordinates[0].append(5.0)
    batch.timestamp.append(1.0)
    assert (batch.signals["ppg"].data, batch.face.coordinates, batch.timestamp) \
        == ([1.0], [[1.0]], [0.0])
    assert batch.face is not batch.face and batch.signals is not batch.signals
    meta = metadata()
    meta.roi.x = 5.0
    assert meta.roi.x == 100.0
    signals = {"ppg": qv.SignalInput([1.0], [1.0])}
    batch.signals = signals
    signals["ppg"].data = [3.0]
    assert batch.signals["ppg"].data == [1.0]


@pytest.mark.parametrize("factory", WRITABLE_INSTANCES)
def test_attributes_cannot_be_deleted(factory):
    instance = factory()
    for field in writable_fields(instance):
        with pytest.raises(AttributeError, match="^can't delete attribute$"):
            delattr(instance, field)


def test_result_attributes_are_read_only():
    signal = np.sin(np.arange(300) / 4.0).astype(np.float32)
    batch = qv.SessionInput(qv.FaceInput([[1, 2, 3, 4]] * 300, [0.9] * 300),
                            {"ppg_waveform": qv.SignalInput(signal, signal)},
                            [i / 30 for i in range(300)])
    config = make_config(vitals=["hr"], return_waveforms=["ppg_waveform"])
    result = qv.Session(config).process(batch, "Global")
    for instance, fields in [
            (result, ["timestamp", "face", "waveforms", "vitals", "fps", "message"]),
            (result.vitals["heart_rate"], ["value", "confidence", "unit", "note"]),
            (result.waveforms["ppg_waveform"], ["data", "confidence", "unit", "note"]),
            (result.face, ["coordinates", "confidence", "note"])]:
        for field in fields:
            with pytest.raises(AttributeError):
                setattr(instance, field, getattr(instance, field))


@pytest.mark.parametrize("values", [(10, 20.5, 100, 80.25), (1, 2, 3, 4),
                                    (0.126, -0.001, 1e10, 0.005)])
def test_rect_repr(values):
    x, y, w, h = map(f32, values)
    assert repr(qv.Rect(*values)) == f"Rect(x={x:.2f}, y={y:.2f}, w={w:.2f}, h={h:.2f})"


def test_vital_display_meta_repr_is_not_escaped():
    meta = qv.get_vital_info("hr")
    meta.id, meta.display_name = "it's", "Ünïcode\n\"x\""
    assert repr(meta) == "VitalDisplayMeta(id='it's', name='Ünïcode\n\"x\"')"


@pytest.mark.parametrize("cls, variants", [
    (qv.InferenceMode, ["Stream", "File"]), (qv.BufferActionType, ["Create", "KeepAlive", "Ignore"])])
def test_enum_variants(cls, variants):
    for number, name in enumerate(variants):
        variant = getattr(cls, name)
        assert type(variant) is cls
        assert (repr(variant), int(variant)) == (f"{cls.__name__}.{name}", number)
        for other_number, other_name in enumerate(variants):
            same = other_number == number
            assert (variant == other_number, variant != other_number) == (same, not same)
            assert (variant == getattr(cls, other_name), variant != getattr(cls, other_name)) \
                == (same, not same)
        assert variant != "Stream" and not variant == None  # noqa: E711 - exercises __eq__
        for other in (getattr(cls, variants[0]), 0):
            for compare in ("<", "<=", ">", ">="):
                with pytest.raises(TypeError):
                    eval(f"variant {compare} other")  # noqa: S307 - fixed operators
