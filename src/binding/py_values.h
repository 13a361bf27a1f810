// Python faces of the small values: new TimeWindow / HourloomWeeklyRule
// objects, and lists built directly from engine vectors.
#pragma once

#include <vector>

#include "binding/convert.h"
#include "binding/objects.h"
#include "binding/pyref.h"
#include "time/records.h"

namespace hourloom::py {

inline PyObject* window_to_py(const TimeWindow& w) { return box(TypeId::TimeWindow, TimeWindow(w)); }
inline PyObject* optional_window_to_py(const std::optional<TimeWindow>& w) {
  return w ? window_to_py(*w) : Py_NewRef(Py_None);
}

// list_to_py: a new list with make(item) for each item of a sized range, in order.
template <class Items, class F>
PyObject* list_to_py(const Items& items, F make) {
  Ref list(PyList_New(static_cast<Py_ssize_t>(items.size())));
  if (!list) return nullptr;
  Py_ssize_t i = 0;
  for (const auto& value : items) {
    PyObject* item = make(value);
    if (!item) return nullptr;
    PyList_SET_ITEM(list.get(), i++, item);
  }
  return list.release();
}

// equality_compare: == and != on one field-wise equality; ordering refused.
template <class T>
PyObject* equality_compare(TypeId id, const char* ordering_message, PyObject* self, PyObject* other, int op) {
  return guarded([&]() -> PyObject* {
    if (Py_TYPE(other) != type_of(id)) Py_RETURN_NOTIMPLEMENTED;
    bool equal = boxed_value<T>(self) == boxed_value<T>(other);
    switch (op) {
      case Py_EQ: return to_py(equal);
      case Py_NE: return to_py(!equal);
      case Py_LT: case Py_LE: case Py_GT: case Py_GE:
        return raise_error(Error{ErrorKind::Value, ordering_message});
    }
    return raise_error(Error{ErrorKind::Value, msg::kInvalidComparison});
  });
}

// as_window: the value of a TimeWindow argument, prefixed TypeError otherwise.
const TimeWindow* as_window(PyObject* obj, const char* argument_name);

}  // namespace hourloom::py
