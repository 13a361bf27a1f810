// Rich comparison shared by the value and record classes that compare by value.
#pragma once

#include "binding/decl.h"

namespace hourloom::py {

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
    return raise_error(Error{ErrorKind::Value, text::kInvalidComparison});
  });
}

}  // namespace hourloom::py
