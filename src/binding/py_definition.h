// HourloomDefinition, the Python holder of one saved definition, and the JSON
// and definition members of HourloomCalendar (defined beside it).
#pragma once

#include "binding/decl.h"

namespace hourloom::py {

PyObject* calendar_to_definition(PyObject* self, const Args& a);
PyObject* calendar_to_json(PyObject* self, const Args& a);
PyObject* calendar_from_definition(PyObject* self, const Args& a);
PyObject* calendar_from_json(PyObject* self, const Args& a);

}  // namespace hourloom::py
