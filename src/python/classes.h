// SPDX-License-Identifier: Apache-2.0
// The module's classes, built from the records' field lists: one attribute per field, in field
// order, read-write or read-only, and a constructor whose parameters fill the fields.
#pragma once

#include "python/arguments.h"
#include "python/conversions.h"
#include "python/errors.h"
#include "python/instances.h"

#include <cstddef>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "types/fields.h"

namespace quorvanta::python {

namespace detail {

template <class T, std::size_t I>
void assign_field(T& record, PyObject* value) {
    record.*kMember<T, I> = argument<FieldTypeAt<T, I>>(Fields<T>::kNames[I], value);
}

// Reads a copy of the field: building the Python value allocates, an allocation can run the
// garbage collector, and a finalizer may assign this very attribute meanwhile.
template <class T, std::size_t I>
PyObject* get_field(PyObject* self, void* /*closure*/) {
    return guarded<PyObject*>(nullptr, [&] {
        const FieldTypeAt<T, I> snapshot = value_of<T>(self).*kMember<T, I>;
        return Convert<FieldTypeAt<T, I>>::to(snapshot).release();
    });
}

template <class T, std::size_t I>
int set_field(PyObject* self, PyObject* value, void* /*closure*/) {
    return guarded(-1, [&] {
        if (value == nullptr) raise(PyExc_AttributeError, "can't delete attribute");
        assign_field<T, I>(value_of<T>(self), value);
        return 0;
    });
}

template <class T, std::size_t... I>
PyGetSetDef* getset_table(std::index_sequence<I...>) {
    constexpr bool writable = ClassTraits<T>::kAccess == Access::ReadWrite;
    static PyGetSetDef table[] = {{Fields<T>::kNames[I].data(), &get_field<T, I>,
                                   writable ? &set_field<T, I> : nullptr, nullptr, nullptr}...,
                                  {nullptr, nullptr, nullptr, nullptr, nullptr}};
    return table;
}

template <class T, std::size_t... I>
void assign_by_index(T& record, std::size_t index, PyObject* value, std::index_sequence<I...>) {
    using Assign = void (*)(T&, PyObject*);
    static constexpr Assign kAssign[] = {&assign_field<T, I>...};
    kAssign[index](record, value);
}

template <class T>
concept Constructible = requires {
    ClassTraits<T>::kConstructor;
};

// The constructor's signature: parameters named after the fields they fill, the optional ones
// defaulting to None.
template <Constructible T, std::size_t... I>
Signature<sizeof...(I)> make_constructor_signature(std::string_view callable,
                                                   std::index_sequence<I...>) {
    constexpr auto& names = ClassTraits<T>::kConstructor;
    return Signature<sizeof...(I)>(
        callable,
        (I < ClassTraits<T>::kRequired ? required(names[I]) : defaults_to_none(names[I]))...);
}

template <Constructible T>
const auto& constructor_signature() {
    static const std::string callable = std::string(class_name<T>()) + ".__new__";
    static const auto signature = make_constructor_signature<T>(
        callable, std::make_index_sequence<ClassTraits<T>::kConstructor.size()>{});
    return signature;
}

// The field each constructor parameter fills, resolved from its name at compile time.
template <Constructible T>
inline constexpr auto kConstructorFields = [] {
    constexpr auto& names = ClassTraits<T>::kConstructor;
    std::array<std::size_t, names.size()> fields{};
    for (std::size_t i = 0; i < names.size(); ++i)
        fields[i] = field_index<T>(names[i]);
    return fields;
}();

template <Constructible T>
PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded<PyObject*>(nullptr, [&] {
        constexpr auto& fields = kConstructorFields<T>;
        const auto values = bind_arguments(constructor_signature<T>(), args, kwargs);
        T record{};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (values[i]) {
                assign_by_index(record, fields[i], values[i].get(),
                                std::make_index_sequence<Fields<T>::kFieldCount>{});
            }
        }
        return new_instance_of(type, std::move(record)).release();
    });
}

PyObject* no_constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs);

template <class T>
void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    value_of<T>(self).~T();
    type->tp_free(self);
    Py_DECREF(type);
}

// Representations of the classes that have one; null for the others.
template <class T>
inline constexpr reprfunc kRepr = nullptr;
PyObject* rect_repr(PyObject* self);
PyObject* vital_display_meta_repr(PyObject* self);
template <>
inline constexpr reprfunc kRepr<Rect> = &rect_repr;
template <>
inline constexpr reprfunc kRepr<VitalDisplayMeta> = &vital_display_meta_repr;

// Enum classes: variant number, name, equality with integers and instances.
template <class E>
PyObject* enum_repr(PyObject* self) {
    return guarded<PyObject*>(nullptr, [&] {
        const auto index = static_cast<std::size_t>(value_of<E>(self));
        const std::string text =
            std::string(Variants<E>::kName) + "." + std::string(Variants<E>::kVariants[index]);
        return check(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())))
            .release();
    });
}

template <class E>
PyObject* enum_int(PyObject* self) {
    return PyLong_FromLong(static_cast<long>(value_of<E>(self)));
}

template <class E>
Py_hash_t enum_hash(PyObject* self) {
    return static_cast<Py_hash_t>(value_of<E>(self));
}

// The integer value of `other` when it has one (via __index__); any failure means it has none.
std::optional<long long> integer_value(PyObject* other);

template <class E>
PyObject* enum_richcompare(PyObject* self, PyObject* other, int op) {
    if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
    bool equal = false;
    if (const auto number = integer_value(other)) {
        equal = *number == static_cast<long long>(value_of<E>(self));
    } else if (PyObject_TypeCheck(other, g_class<E>)) {
        equal = value_of<E>(self) == value_of<E>(other);
    } else {
        Py_RETURN_NOTIMPLEMENTED;
    }
    return PyBool_FromLong((op == Py_EQ) == equal);
}

// Creates the class from its slots; `name` is the class name without the module.
PyTypeObject* create_type(std::string_view name, int basic_size, std::vector<PyType_Slot> slots);

// Sets each variant of an enum class as a class attribute holding an instance.
template <class E>
bool add_variants(PyTypeObject* type) {
    return guarded(false, [&] {
        for (std::size_t i = 0; i < Variants<E>::kVariants.size(); ++i) {
            const ObjectRef variant = new_instance(static_cast<E>(i));
            const std::string name(Variants<E>::kVariants[i]);
            if (PyDict_SetItemString(type->tp_dict, name.c_str(), variant.get()) != 0) {
                rethrow_python_error();
            }
        }
        PyType_Modified(type);
        return true;
    });
}

}  // namespace detail

// Slots of the object classes: constructor and methods, defined beside them.
template <NativeObject T>
std::vector<PyType_Slot> object_slots();
template <>
std::vector<PyType_Slot> object_slots<SessionHandle>();
template <>
std::vector<PyType_Slot> object_slots<BufferPlanner>();

inline const Signature kSessionNewSignature{"Session.__new__", required("config")};
inline const Signature kBufferPlannerNewSignature{"BufferPlanner.__new__", required("config")};

template <NativeObject T>
const auto& new_signature() {
    if constexpr (std::is_same_v<T, SessionHandle>) {
        return kSessionNewSignature;
    } else {
        return kBufferPlannerNewSignature;
    }
}

// The class documentation, from the interface tables: for a class with a constructor its text
// signature first, as CPython reads it.
template <class T>
const char* class_doc() {
    static const std::string doc = [] {
        if constexpr (NativeObject<T>) {
            return text_signature(new_signature<T>(), kObjectOf<T>->doc);
        } else if constexpr (PlainEnum<T>) {
            return std::string(Variants<T>::kDoc);
        } else if constexpr (detail::Constructible<T>) {
            return text_signature(detail::constructor_signature<T>(), Fields<T>::kDoc);
        } else {
            return std::string(Fields<T>::kDoc);
        }
    }();
    return doc.c_str();
}

// Creates T's class once; returns null with a Python error set on failure.
template <class T>
PyTypeObject* create_class() {
    if (g_class<T> != nullptr) return g_class<T>;
    std::vector<PyType_Slot> slots{{Py_tp_dealloc, reinterpret_cast<void*>(&detail::dealloc<T>)},
                                   {Py_tp_doc, const_cast<char*>(class_doc<T>())}};
    if constexpr (NativeObject<T>) {
        const auto object = object_slots<T>();
        slots.insert(slots.end(), object.begin(), object.end());
    } else if constexpr (PlainEnum<T>) {
        slots.insert(slots.end(),
                     {{Py_tp_new, reinterpret_cast<void*>(&detail::no_constructor)},
                      {Py_tp_repr, reinterpret_cast<void*>(&detail::enum_repr<T>)},
                      {Py_tp_hash, reinterpret_cast<void*>(&detail::enum_hash<T>)},
                      {Py_tp_richcompare, reinterpret_cast<void*>(&detail::enum_richcompare<T>)},
                      {Py_nb_int, reinterpret_cast<void*>(&detail::enum_int<T>)}});
    } else {
        slots.push_back({Py_tp_getset, detail::getset_table<T>(
                                           std::make_index_sequence<Fields<T>::kFieldCount>{})});
        if constexpr (detail::Constructible<T>) {
            slots.push_back({Py_tp_new, reinterpret_cast<void*>(&detail::construct<T>)});
        } else {
            slots.push_back({Py_tp_new, reinterpret_cast<void*>(&detail::no_constructor)});
        }
        if constexpr (detail::kRepr<T> != nullptr) {
            slots.push_back({Py_tp_repr, reinterpret_cast<void*>(detail::kRepr<T>)});
        }
    }
    PyTypeObject* type = detail::create_type(class_name<T>(), static_cast<int>(sizeof(Instance<T>)),
                                             std::move(slots));
    if (type == nullptr) return nullptr;
    g_class<T> = type;
    if constexpr (PlainEnum<T>) {
        if (!detail::add_variants<T>(type)) return nullptr;
    }
    return type;
}

}  // namespace quorvanta::python
