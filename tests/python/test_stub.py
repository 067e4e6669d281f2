# SPDX-License-Identifier: Apache-2.0
"""The module's docs, constructors, attribute types and writable attributes agree with its
hand-written type stub. Names, signatures and defaults are mypy stubtest's (the python_stub test)."""

import ast
from pathlib import Path

import pytest

import quorvanta_core as qv
from conftest import fields, make_config, make_input, pulse_wave, writable_instances

STUB = ast.parse((Path(__file__).parents[2] / "src/python/quorvanta_core.pyi").read_text("utf-8"))
DECLARED = {node.name: node for node in STUB.body
            if isinstance(node, (ast.ClassDef, ast.FunctionDef))}


# A class without a constructor refuses every call.
@pytest.mark.parametrize("name", qv.__all__)
def test_docs_and_constructors_follow_the_stub(name):
    declared, node = getattr(qv, name), DECLARED[name]
    assert declared.__doc__ == " ".join(ast.get_docstring(node).split())
    if isinstance(node, ast.FunctionDef):
        return
    if not any(isinstance(child, ast.FunctionDef) and child.name == "__new__" for child in node.body):
        assert declared.__text_signature__ is None
        with pytest.raises(TypeError, match="^No constructor defined$"):
            declared(1, x=1)


def python_type(annotation):
    """The runtime types that a stub annotation such as `list[float] | None` allows, and the type
    of a list's items where it names one."""
    builtin = {"None": type(None), "list": list, "dict": dict, "float": float, "int": int,
               "str": str}
    types, item = [], None
    for part in annotation.split(" | "):
        outer, _, inner = part.partition("[")
        types.append(builtin.get(outer) or getattr(qv, outer))
        if outer == "list" and inner.rstrip("]") in builtin:
            item = builtin[inner.rstrip("]")]
    return tuple(types), item


def test_attributes_have_the_stub_types_and_only_the_stub_setters():
    config = make_config(vitals=["hr"], return_waveforms=["ppg_waveform"])
    batch = make_input(0, 300, {"ppg_waveform": pulse_wave(10.0)})
    result = qv.Session(config).process(batch, "Global")
    for instance in [*writable_instances(), config, batch, batch.face, *batch.signals.values(),
                     result, result.face, *result.vitals.values(), *result.waveforms.values()]:
        body = DECLARED[type(instance).__name__].body
        decorated = [(node, ast.unparse(node.decorator_list[0])) for node in body
                     if isinstance(node, ast.FunctionDef) and node.decorator_list]
        getters = {node.name: ast.unparse(node.returns) for node, by in decorated
                   if by == "property"}
        setters = {node.name for node, by in decorated if by.endswith(".setter")}
        for field in fields(instance):
            types, item = python_type(getters[field])
            value = getattr(instance, field)
            assert isinstance(value, types), (type(instance).__name__, field, value)
            if item and value:
                assert isinstance(value[0], item), (type(instance).__name__, field, value[0])
            writable = field in setters
            with pytest.raises(AttributeError, match="^can't delete attribute$" if writable
                               else "is not writable"):
                delattr(instance, field)
            if not writable:
                with pytest.raises(AttributeError, match="is not writable"):
                    setattr(instance, field, value)
