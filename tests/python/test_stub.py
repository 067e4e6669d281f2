# SPDX-License-Identifier: Apache-2.0
"""The module's names, docs, signatures, attribute types and writable attributes agree with its
hand-written type stub."""

import ast
import inspect
from pathlib import Path

import pytest

import quorvanta_core as qv
from conftest import fields, make_config, make_input, pulse_wave, writable_instances

STUB = ast.parse((Path(__file__).parents[2] / "src/python/quorvanta_core.pyi").read_text("utf-8"))
DECLARED = {node.name: node for node in STUB.body
            if isinstance(node, (ast.ClassDef, ast.FunctionDef))}


def signature(function_node, skip=0):
    """A stub function's signature as a text signature shows it."""
    arguments = function_node.args
    defaults = [None] * (len(arguments.args) - len(arguments.defaults)) + arguments.defaults
    return [argument.arg + (f"={ast.unparse(default)}" if default else "")
            for argument, default in zip(arguments.args, defaults)][skip:]


def test_stub_and_module_list_the_same_names_in_order():
    stub_all = next(ast.literal_eval(node.value) for node in STUB.body
                    if isinstance(node, ast.Assign) and ast.unparse(node.targets[0]) == "__all__")
    assert stub_all == qv.__all__
    assert {name for name in dir(qv) if not name.startswith("__")} == set(qv.__all__)


@pytest.mark.parametrize("name", qv.__all__)
def test_docs_and_signatures_follow_the_stub(name):
    declared, node = getattr(qv, name), DECLARED[name]
    if isinstance(node, ast.FunctionDef):
        assert (declared.__text_signature__, declared.__doc__) == \
            (f"({', '.join(signature(node))})", None)
        return
    assert declared.__doc__ == " ".join(ast.get_docstring(node).split())
    members = {child.name if isinstance(child, ast.FunctionDef) else ast.unparse(child.target):
               child for child in node.body if isinstance(child, (ast.FunctionDef, ast.AnnAssign))}
    constructor = members.pop("__new__", None)
    if constructor:
        assert declared.__text_signature__ == f"({', '.join(signature(constructor, 1))})"
    else:
        assert declared.__text_signature__ is None
        with pytest.raises(TypeError, match="^No constructor defined$"):
            declared(1, x=1)
    for member in set(dir(declared)) - set(dir(object)) - {"__module__"}:
        assert member in members
        value = getattr(declared, member)
        if inspect.isroutine(value):
            stub_parameters = signature(members[member])
            assert list(inspect.signature(value).parameters) == \
                [parameter.split("=")[0] for parameter in stub_parameters]
            if not member.startswith("_"):  # slot wrappers add a "/" that the stub leaves out
                assert value.__text_signature__ == f"({', '.join(['$self', *stub_parameters[1:]])})"


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
