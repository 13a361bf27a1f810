// Python objects that own one engine value, the module's type objects by
// TypeId, and the receiver check.
//   PyObject* w = emplace<TimeWindow>(TypeId::TimeWindow, TimeWindow{a, b});
//   const TimeWindow* v = unbox<TimeWindow>(TypeId::TimeWindow, obj);  // nullptr + TypeError
#pragma once

#include <new>
#include <utility>

#include "binding/class_list.h"
#include "binding/core/errors.h"
#include "binding/core/python.h"

namespace hourloom::py {

// TypeId: one per class of class_list.h, in registration order.
enum class TypeId : unsigned char {
#define HOURLOOM_TYPE_ID(Id, Value, Box, AliasRank) Id,
  HOURLOOM_CLASSES(HOURLOOM_TYPE_ID)
#undef HOURLOOM_TYPE_ID
  Count,
};

// The module's type objects; set once by module init, alive for the process.
extern PyTypeObject* g_types[static_cast<int>(TypeId::Count)];

inline PyTypeObject* type_of(TypeId id) { return g_types[static_cast<int>(id)]; }

template <class T>
struct Boxed {
  PyObject_HEAD
  T value;
};

template <class T>
void boxed_dealloc(PyObject* self) {
  PyTypeObject* tp = Py_TYPE(self);
  reinterpret_cast<Boxed<T>*>(self)->value.~T();
  tp->tp_free(self);
  Py_DECREF(tp);
}

// plain_dealloc: for classes whose instances hold nothing (namespaces).
inline void plain_dealloc(PyObject* self) {
  PyTypeObject* tp = Py_TYPE(self);
  tp->tp_free(self);
  Py_DECREF(tp);
}

// emplace: a new object of type `tp` whose value is built in place from `args`.
template <class V, class... A>
PyObject* emplace(PyTypeObject* tp, A&&... args) {
  PyObject* obj = tp->tp_alloc(tp, 0);
  if (!obj) return nullptr;
  new (&reinterpret_cast<Boxed<V>*>(obj)->value) V(std::forward<A>(args)...);
  return obj;
}
template <class V, class... A>
PyObject* emplace(TypeId id, A&&... args) {
  return emplace<V>(type_of(id), std::forward<A>(args)...);
}

template <class T>
T& boxed_value(PyObject* obj) {
  return reinterpret_cast<Boxed<T>*>(obj)->value;
}

// unbox: the value of an instance of class `id`, or nullptr with TypeError
// "'T' object cannot be cast as 'C'".
template <class T>
T* unbox(TypeId id, PyObject* obj) {
  if (Py_TYPE(obj) != type_of(id)) {
    raise_cast_error(obj, type_of(id));
    return nullptr;
  }
  return &boxed_value<T>(obj);
}

}  // namespace hourloom::py
