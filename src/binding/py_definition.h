// HourloomDefinition, the Python holder of one saved definition, and the
// bodies of the calendar's definition and JSON members (rows in py_calendar.cpp).
#pragma once

#include "binding/decl.h"
#include "definition/conversion.h"

namespace hourloom::py {

// calendar_json: `indented` is converted before the composite check.
PyObject* calendar_json(const Calendar& c, bool indented);
Result<Calendar> calendar_from_definition(const Definition* d);
PyObject* calendar_from_json(JsonText text);

}  // namespace hourloom::py
