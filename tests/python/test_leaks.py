"""Repeated calls, successful and failing, leak neither memory nor references to their inputs."""

import gc
import os
import sys

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import make_config, make_input, pulse_wave

SIGNAL = pulse_wave(seconds=10.0)
SIGNAL_LIST = SIGNAL.tolist()
RECT = qv.Rect(10, 20, 100, 120)
SIGNALS = {"ppg_waveform": qv.SignalInput(SIGNAL, SIGNAL_LIST)}
BATCH = make_input(0, 300, {"ppg_waveform": SIGNAL})
CONFIG = make_config(vitals=["hr", "hrv_sdnn"], return_waveforms=["ppg_waveform"])
SESSION = qv.Session(CONFIG)
META = qv.get_vital_info("hr")
FAULTY = qv.Session(make_config("quorvanta-test-fault"))  # faults only in fault-seam builds
INPUTS = [SIGNAL, SIGNAL_LIST, RECT, SIGNALS, BATCH, CONFIG, SESSION, META]


def failing(call):
    def run():
        try:
            call()
        except (TypeError, ValueError, OverflowError, AttributeError):
            pass
        else:
            raise AssertionError("expected an error")
    return run


def poisoned_calls():
    for call in (lambda: FAULTY.process(BATCH, "Global"), FAULTY.reset):
        try:
            call()
        except Exception:
            raise
        except BaseException:  # noqa: BLE001 - the internal fault of a poisoned session
            pass


def assign(instance, field, value):
    return lambda: setattr(instance, field, value)


OPERATIONS = {
    "heart_rate": lambda: qv.estimate_heart_rate(SIGNAL, 30.0),
    "heart_rate_bad": failing(lambda: qv.estimate_heart_rate(SIGNAL_LIST, 30.0)),
    "heart_rate_strided": failing(lambda: qv.estimate_heart_rate(SIGNAL[::2], 30.0)),
    "hrv": lambda: qv.estimate_hrv_metric(SIGNAL, 30.0, "RMSSD", SIGNAL, 72.0),
    "hrv_bad_name": failing(lambda: qv.estimate_hrv_metric(SIGNAL, 30.0, "x", SIGNAL)),
    "hrv_bad_confidence": failing(lambda: qv.estimate_hrv_metric(SIGNAL, 30.0, "si", RECT)),
    "peaks": lambda: qv.find_peaks(SIGNAL, 30.0, np.bool_(True), rate_hint=70.0),
    "peaks_bad": failing(lambda: qv.find_peaks(SIGNAL, 30.0, 1)),
    "roi": lambda: qv.calculate_roi(RECT, (0.1, 0.1, 0.1, 0.1), "vision", (640, 480), True),
    "roi_bad_method": failing(lambda: qv.calculate_roi(RECT, "Face")),
    "roi_bad_container": failing(lambda: qv.calculate_roi(RECT, "face", container=(1, "2"))),
    "roi_bad_detector": failing(lambda: qv.calculate_roi(RECT, "face", "x")),
    "vital_info": lambda: (qv.get_vital_info("pulse"), qv.get_vital_info("nothing")),
    "vital_info_bad": failing(lambda: qv.get_vital_info(b"hr")),
    "argument_count": failing(lambda: qv.find_peaks(SIGNAL, 30.0, True, refine=True)),
    "rect": lambda: qv.Rect(1, 2.5, width=3, height=4),
    "rect_bad": failing(lambda: qv.Rect(1, 2, 3, "4")),
    "rect_repr": lambda: repr(RECT),
    "config": lambda: qv.SessionConfig("m", ["hr", "rr"], 30, 40, 4, "face", ["ppg"]),
    "config_bad": failing(lambda: qv.SessionConfig("m", ["hr", 5], 30, 40, 4, "face")),
    "config_overflow": failing(lambda: qv.SessionConfig("m", [], 30, 40, -1, "face")),
    "batch": lambda: qv.SessionInput(BATCH.face, SIGNALS, BATCH.timestamp),
    "batch_bad": failing(lambda: qv.SessionInput(None, {"a": RECT}, [])),
    "metadata": lambda: qv.BufferMetadata("b", RECT, 3, 0.0, 1.0),
    "metadata_bad": failing(lambda: qv.BufferMetadata("b", RECT, 2**32, 0.0, 1.0)),
    "no_constructor": failing(lambda: qv.SessionResult()),
    "reads": lambda: (BATCH.face.coordinates, BATCH.signals, BATCH.timestamp,
                      CONFIG.supported_vitals, CONFIG.return_waveforms, META.emoji, repr(META)),
    "writes": lambda: (assign(BATCH, "signals", SIGNALS)(), assign(RECT, "x", 10)(),
                       assign(CONFIG, "return_waveforms", ["ppg_waveform"])(),
                       assign(META, "unit", "bpm")()),
    "write_bad": failing(assign(BATCH, "timestamp", ["x"])),
    "write_bad_map": failing(assign(BATCH, "signals", {"a": 1})),
    "delete": failing(lambda: delattr(RECT, "x")),
    "read_only": failing(assign(SESSION.process(BATCH, "Global"), "fps", 1.0)),
    "enums": lambda: (repr(qv.InferenceMode.File), int(qv.BufferActionType.Ignore),
                      qv.InferenceMode.File == 1, qv.BufferActionType.Create != "x"),
    "enum_order": failing(lambda: qv.InferenceMode.File < qv.InferenceMode.Stream),
    "session": lambda: qv.Session(CONFIG),
    "process": lambda: SESSION.process(BATCH, ("Windowed", 5.0)),
    "process_mismatch": lambda: SESSION.process(qv.SessionInput(None, SIGNALS, [0.0]), "Global"),
    "process_bad_mode": failing(lambda: SESSION.process(BATCH, ("windowed", 1))),
    "process_bad_input": failing(lambda: SESSION.process(SIGNALS, "Global")),
    "reset": lambda: (SESSION.reset(), SESSION.process(BATCH, "Incremental")),
    "poisoned": poisoned_calls,
}


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def settled():
    gc.collect()
    return sys.getallocatedblocks(), resident_bytes()


@pytest.mark.parametrize("operation", OPERATIONS.values(), ids=OPERATIONS.keys())
def test_repeated_calls_do_not_leak(operation):
    repeats = 2000
    references = [sys.getrefcount(value) for value in INPUTS]
    for _ in range(50):
        operation()
    blocks, resident = settled()
    for _ in range(repeats):
        operation()
    grown_blocks, grown_resident = settled()
    assert grown_blocks - blocks < repeats // 20
    assert grown_resident - resident < 512 * 1024
    assert [sys.getrefcount(value) for value in INPUTS] == references
