// HourloomDefinition, the Python holder of one saved definition, and the JSON
// text conversions it shares with HourloomCalendar.
#include "binding/classes/definition.h"

#include "binding/classes/calendar.h"
#include "definition/conversion.h"
#include "definition/json_reader.h"
#include "definition/json_writer.h"

namespace hourloom::py {

PyObject* raise_json_error(const JsonError& e) {
  Ref text(PyUnicode_DecodeUTF8(e.message.data(), static_cast<Py_ssize_t>(e.message.size()), "replace"));
  if (text) PyErr_SetObject(PyExc_ValueError, text.get());
  return nullptr;
}

PyObject* definition_json(const Definition& d, bool indented) {
  auto text = write_json(d, indented);
  if (!text) return raise_json_error(text.error());
  return PyUnicode_DecodeUTF8(text->data(), static_cast<Py_ssize_t>(text->size()), "strict");
}

namespace {

// ---------------------------------------------------------------- HourloomDefinition

Result<Calendar> definition_to_calendar(const Definition& d) { return to_calendar(d); }

PyObject* definition_from_json(JsonText text) {
  auto d = read_json(text.utf8);
  if (!d) return raise_json_error(d.error());
  return to_py(std::move(*d));
}

using OnDefinition = OnValue<Definition, TypeId::Definition>;

constinit MethodDecl kToCalendar = query<OnDefinition, &definition_to_calendar>("ToCalendar", "");
constinit MethodDecl kToJson = query<OnDefinition, &definition_json>("ToJson", "indented=False");
constinit MethodDecl kFromJson = function<&definition_from_json>("FromJson", "json");

const Member kDefinitionMembers[] = {
    method<kToCalendar>(),
    method<kToJson>(),
    static_method<kFromJson>(),
};

}  // namespace

const ClassDecl kDefinitionClass{"HourloomDefinition", sizeof(Boxed<Definition>), &boxed_dealloc<Definition>,
                                 nullptr,              nullptr,                   nullptr,
                                 kDefinitionMembers};

}  // namespace hourloom::py
