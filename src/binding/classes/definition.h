// HourloomDefinition's text conversions that HourloomCalendar's saving and
// restoring members share (calendar.cpp). Reader and writer failures carry
// their own text (position included) and are always ValueError.
#pragma once

#include "binding/core/python.h"
#include "definition/definition.h"

namespace hourloom::py {

// raise_json_error: ValueError with the reader's or writer's message; nullptr.
PyObject* raise_json_error(const JsonError& e);
// definition_json: the definition's JSON text as a str, compact or indented.
PyObject* definition_json(const Definition& d, bool indented);

}  // namespace hourloom::py
