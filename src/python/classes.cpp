// SPDX-License-Identifier: Apache-2.0
#include "python/classes.h"

#include <cmath>
#include <cstdio>
#include <map>

namespace quorvanta::python::detail {
namespace {

// A coordinate in fixed notation with two decimals; "NaN", "inf" and "-inf" for the others.
std::string two_decimals(float value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    const int size = std::snprintf(nullptr, 0, "%.2f", static_cast<double>(value));
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.2f", static_cast<double>(value));
    text.pop_back();
    return text;
}

PyObject* new_text(const std::string& text) {
    return check(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())))
        .release();
}

}  // namespace

PyObject* no_constructor(PyTypeObject* /*type*/, PyObject* /*args*/, PyObject* /*kwargs*/) {
    PyErr_SetString(PyExc_TypeError, "No constructor defined");
    return nullptr;
}

PyObject* rect_repr(PyObject* self) {
    return guarded<PyObject*>(nullptr, [&] {
        const Rect& rect = value_of<Rect>(self);
        return new_text("Rect(x=" + two_decimals(rect.x) + ", y=" + two_decimals(rect.y) + ", w=" +
                        two_decimals(rect.width) + ", h=" + two_decimals(rect.height) + ")");
    });
}

PyObject* vital_display_meta_repr(PyObject* self) {
    return guarded<PyObject*>(nullptr, [&] {
        const VitalDisplayMeta& meta = value_of<VitalDisplayMeta>(self);
        return new_text("VitalDisplayMeta(id='" + meta.id + "', name='" + meta.display_name + "')");
    });
}

std::optional<long long> integer_value(PyObject* other) {
    const ObjectRef integer = ObjectRef::steal(PyNumber_Index(other));
    const long long value = integer ? PyLong_AsLongLong(integer.get()) : -1;
    if (PyErr_Occurred() != nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return value;
}

PyTypeObject* create_type(std::string_view name, int basic_size, std::vector<PyType_Slot> slots) {
    // The type keeps pointing at its qualified name, so each name is stored for good.
    static std::map<std::string, std::string> qualified_names;
    const std::string& qualified =
        qualified_names.try_emplace(std::string(name), "quorvanta_core." + std::string(name))
            .first->second;
    slots.push_back({0, nullptr});
    unsigned int flags = Py_TPFLAGS_DEFAULT;
#ifdef Py_TPFLAGS_IMMUTABLETYPE
    flags |= Py_TPFLAGS_IMMUTABLETYPE;
#endif
    PyType_Spec spec{qualified.c_str(), basic_size, 0, flags, slots.data()};
    return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
}

}  // namespace quorvanta::python::detail
