// SPDX-License-Identifier: Apache-2.0
// Initialisation of the extension module quorvanta_core: the classes, then the functions, each
// also listed in __all__ in that order.
#include "python/classes.h"
#include "python/functions.h"

namespace quorvanta::python {
namespace {

PyModuleDef g_module_definition = {
    PyModuleDef_HEAD_INIT,
    "quorvanta_core",
    nullptr,
    -1,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Adds `value` to the module under `name` and appends the name to __all__.
void add_public(PyObject* module, PyObject* all, const char* name, PyObject* value) {
    const ObjectRef text = check(PyUnicode_FromString(name));
    if (PyList_Append(all, text.get()) != 0) rethrow_python_error();
    if (PyModule_AddObjectRef(module, name, value) != 0) rethrow_python_error();
}

template <class... Classes>
void add_classes(PyObject* module, PyObject* all) {
    const auto add = [&]<class T>() {
        PyTypeObject* type = create_class<T>();
        if (type == nullptr) rethrow_python_error();
        add_public(module, all, std::string(class_name<T>()).c_str(),
                   reinterpret_cast<PyObject*>(type));
    };
    (add.template operator()<Classes>(), ...);
}

void add_functions(PyObject* module, PyObject* all) {
    for (PyMethodDef* definition = kModuleFunctions; definition->ml_name != nullptr; ++definition) {
        const ObjectRef function = check(PyCFunction_NewEx(definition, nullptr, nullptr));
        add_public(module, all, definition->ml_name, function.get());
    }
}

ObjectRef create_module() {
    if (!create_fault_type()) rethrow_python_error();
    ObjectRef module = check(PyModule_Create(&g_module_definition));
    const ObjectRef all = check(PyList_New(0));
    if (PyModule_AddObjectRef(module.get(), "__all__", all.get()) != 0) rethrow_python_error();
    add_classes<SessionHandle, BufferPlanner, SessionConfig, SessionInput, SignalInput, FaceInput,
                SessionResult, WaveformResult, VitalResult, FaceResult, Rect, InferenceMode,
                BufferConfig, BufferActionType, BufferAction, BufferMetadata, InferenceCommand,
                ExecutionPlan, VitalDisplayMeta, Assessment, VitalAssessment, Beats, BeatStatus>(
        module.get(), all.get());
    add_functions(module.get(), all.get());
    return module;
}

}  // namespace
}  // namespace quorvanta::python

// The module is created once per process; a later initialisation returns the same object.
PyMODINIT_FUNC PyInit_quorvanta_core() {
    using namespace quorvanta::python;
    static PyObject* module = nullptr;
    return guarded<PyObject*>(nullptr, [] {
        if (module == nullptr) module = create_module().release();
        Py_INCREF(module);
        return module;
    });
}
