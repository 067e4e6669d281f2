"""The type stub declares every public name of the module, with the module's parameters."""

import ast
import inspect
from pathlib import Path

import pytest

import quorvanta_core as qv

STUB_PATH = Path(__file__).resolve().parent.parent.parent / "src" / "python" / "quorvanta_core.pyi"
STUB = ast.parse(STUB_PATH.read_text(encoding="utf-8"))
STUB_CLASSES = {node.name: node for node in STUB.body if isinstance(node, ast.ClassDef)}
STUB_FUNCTIONS = {node.name: node for node in STUB.body if isinstance(node, ast.FunctionDef)}
CONSTRUCTORS = ("__new__", "__init__")
# Attributes that describe a class rather than its instances' interface.
CLASS_METADATA = {"__doc__", "__module__", "__dict__", "__weakref__", "__text_signature__",
                  *CONSTRUCTORS}
# The enums define these only to return NotImplemented; the stub leaves them out so that type
# checkers reject ordering comparisons, as Python does at run time.
UNSUPPORTED_ORDERINGS = {"__lt__", "__le__", "__gt__", "__ge__"}

CLASS_NAMES = [name for name in qv.__all__ if isinstance(getattr(qv, name), type)]
FUNCTION_NAMES = [name for name in qv.__all__ if name not in CLASS_NAMES]


def stub_all():
    for node in STUB.body:
        if isinstance(node, ast.Assign) and ast.unparse(node.targets[0]) == "__all__":
            return ast.literal_eval(node.value)
    pytest.fail("the stub has no __all__")


def module_members(cls):
    """The names a class defines itself or inherits from anything but object."""
    return {name for name in dir(cls)
            if any(name in vars(owner) for owner in cls.__mro__ if owner is not object)
            and not (name.startswith("_") and not name.startswith("__"))
            and name not in CLASS_METADATA | UNSUPPORTED_ORDERINGS}


def stub_members(class_node):
    names = set()
    for node in class_node.body:
        if isinstance(node, ast.FunctionDef):
            names.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            names.add(ast.unparse(node.target))
    return names - set(CONSTRUCTORS)


def stub_method(class_node, name):
    matches = [node for node in class_node.body
               if isinstance(node, ast.FunctionDef) and node.name == name]
    return matches[0] if matches else None


def stub_constructor(class_node):
    constructors = [stub_method(class_node, name) for name in CONSTRUCTORS]
    return next((node for node in constructors if node is not None), None)


def stub_parameters(function_node, skip_first):
    """(name, kind, default) of each parameter of a stub function, as inspect describes them."""
    arguments = function_node.args
    positional = [(argument, inspect.Parameter.POSITIONAL_ONLY)
                  for argument in arguments.posonlyargs]
    positional += [(argument, inspect.Parameter.POSITIONAL_OR_KEYWORD)
                   for argument in arguments.args]
    defaults = [inspect.Parameter.empty] * (len(positional) - len(arguments.defaults))
    defaults += [ast.literal_eval(default) for default in arguments.defaults]
    parameters = [(argument.arg, kind, default)
                  for (argument, kind), default in zip(positional, defaults)]
    if arguments.vararg or arguments.kwonlyargs or arguments.kwarg:
        pytest.fail(f"{function_node.name}: the module takes no *args, keyword-only or **kwargs")
    return parameters[1:] if skip_first else parameters


def module_parameters(callable_object, skip_first):
    parameters = [(parameter.name, parameter.kind, parameter.default)
                  for parameter in inspect.signature(callable_object).parameters.values()]
    return parameters[1:] if skip_first else parameters


def normalised_docstring(node):
    docstring = ast.get_docstring(node)
    return " ".join(docstring.split()) if docstring else None


def test_stub_all_lists_the_module_names_in_order():
    assert stub_all() == qv.__all__


@pytest.mark.parametrize("name", qv.__all__)
def test_stub_declares_each_module_name_as_class_or_function(name):
    declared = STUB_CLASSES if name in CLASS_NAMES else STUB_FUNCTIONS
    assert name in declared


@pytest.mark.parametrize("name", CLASS_NAMES)
def test_stub_class_declares_exactly_the_module_class_members(name):
    assert stub_members(STUB_CLASSES[name]) == module_members(getattr(qv, name))


@pytest.mark.parametrize("name", CLASS_NAMES)
def test_stub_class_docstring_is_the_module_class_doc(name):
    assert normalised_docstring(STUB_CLASSES[name]) == getattr(qv, name).__doc__


@pytest.mark.parametrize("name", CLASS_NAMES)
def test_stub_constructor_takes_the_module_constructor_parameters(name):
    cls = getattr(qv, name)
    constructor = stub_constructor(STUB_CLASSES[name])
    if cls.__text_signature__ is None:
        assert constructor is None, f"{name} cannot be constructed"
    else:
        assert constructor is not None, f"{name}{cls.__text_signature__} is not in the stub"
        assert stub_parameters(constructor, skip_first=True) == module_parameters(cls, False)


@pytest.mark.parametrize("name", FUNCTION_NAMES)
def test_stub_function_takes_the_module_function_parameters(name):
    assert (stub_parameters(STUB_FUNCTIONS[name], skip_first=False)
            == module_parameters(getattr(qv, name), skip_first=False))


METHODS = [(class_name, member) for class_name in CLASS_NAMES
           for member in sorted(module_members(getattr(qv, class_name)))
           if callable(getattr(getattr(qv, class_name), member))]


@pytest.mark.parametrize(("class_name", "method_name"), METHODS)
def test_stub_method_takes_the_module_method_parameters(class_name, method_name):
    method = stub_method(STUB_CLASSES[class_name], method_name)
    assert method is not None
    assert (stub_parameters(method, skip_first=True)
            == module_parameters(getattr(getattr(qv, class_name), method_name), skip_first=True))
