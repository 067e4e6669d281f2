# SPDX-License-Identifier: Apache-2.0
"""Repeated calls, successful and failing, leak neither memory nor references to their inputs."""

import gc
import inspect
import os
import sys

import pytest

import quorvanta_core as qv

# The sanitizers' quarantine holds freed memory back, so resident memory says nothing there; the
# plain build runs these checks.
pytestmark = pytest.mark.skipif(bool(os.environ.get("QUORVANTA_SANITIZED")),
                                reason="resident memory is not measurable under sanitizers")
from conftest import (CALLABLES, fields, make_config, make_input, pulse_wave,
                      writable_instances)

WRONG = object()  # no argument or attribute accepts it
SIGNAL = pulse_wave(seconds=10.0)
INSTANCES = writable_instances()
FAULTY = (qv.Session(make_config("quorvanta-test-fault"))
          if os.environ.get("QUORVANTA_FAULT_INJECTION") else None)
INPUTS = [WRONG, SIGNAL, *INSTANCES,
          *(value for _, arguments in CALLABLES.values() for value in arguments.values()
            if not isinstance(value, (int, float, str, type(None))))]


def failing(*calls, errors=(TypeError, ValueError, OverflowError, AttributeError)):
    for call in calls:
        try:
            call()
        except errors:
            continue
        raise AssertionError("expected an error")


def calls_of(callable_, arguments):
    """A valid call, then calls with each argument wrong and with an unexpected one."""
    names = [*inspect.signature(callable_).parameters, "unexpected"]

    def run():
        callable_(**arguments)
        for name in names:
            failing(lambda: callable_(**{**arguments, name: WRONG}))
    return run


def attribute_writes():
    for instance in INSTANCES:
        for field in fields(instance):
            setattr(instance, field, getattr(instance, field))
            failing(lambda: setattr(instance, field, WRONG), lambda: delattr(instance, field))


def other_paths():
    failing(  # failures after part of a value was converted, and other failures
        lambda: qv.SessionConfig("m", ["hr", 5], 30, 40, 4, "face"),
        lambda: qv.SessionInput(None, {"a": qv.SignalInput([], []), "b": 1}, []),
        lambda: qv.FaceInput([[1.0], [2.0, "x"]], []), lambda: qv.Rect(1, 2, 3, 10**400),
        lambda: qv.BufferMetadata("b", INSTANCES[0], 2**32, 0.0, 1.0),
        lambda: qv.estimate_heart_rate(SIGNAL[::2], 30.0), qv.SessionResult,
        lambda: qv.InferenceMode.File < qv.InferenceMode.Stream)
    if FAULTY:  # only the internal fault of a poisoned session is expected
        failing(lambda: FAULTY.process(make_input(0, 5), "Global"), FAULTY.reset,
                errors=BaseException)
    return (repr(INSTANCES[0]), repr(INSTANCES[-1]), int(qv.BufferActionType.Ignore),
            qv.InferenceMode.File == 1, qv.BufferActionType.Create != "x")


OPERATIONS = {**{name: calls_of(*CALLABLES[name]) for name in CALLABLES},
              "attributes": attribute_writes, "other_paths": other_paths}


def settled():
    gc.collect()
    with open("/proc/self/statm") as statm:
        return sys.getallocatedblocks(), int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


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
