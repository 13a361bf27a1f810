// New Python result objects from engine records.
#pragma once

#include "binding/py_values.h"

namespace hourloom::py {

PyObject* state_window_to_py(const StateWindow& s);
PyObject* capacity_window_to_py(const CapacityWindow& c);
PyObject* entry_to_py(const Entry& e);
PyObject* window_match_to_py(const WindowMatch& m);

}  // namespace hourloom::py
