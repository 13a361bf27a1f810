// HourloomDefinition and the saving and restoring members of HourloomCalendar.
// Reader and writer failures carry their own text (position included) and are
// always ValueError.
#include "binding/py_definition.h"

#include "binding/registry.h"
#include "definition/json_reader.h"
#include "definition/json_writer.h"

namespace hourloom::py {

namespace {

PyObject* raise_json_error(const JsonError& e) {
  Ref text(PyUnicode_DecodeUTF8(e.message.data(), static_cast<Py_ssize_t>(e.message.size()), "replace"));
  if (text) PyErr_SetObject(PyExc_ValueError, text.get());
  return nullptr;
}

PyObject* json_of(const Definition& d, bool indented) {
  auto text = write_json(d, indented);
  if (!text) return raise_json_error(text.error());
  return PyUnicode_DecodeUTF8(text->data(), static_cast<Py_ssize_t>(text->size()), "strict");
}

// ---------------------------------------------------------------- HourloomDefinition

Result<Calendar> definition_to_calendar(const Definition& d) { return to_calendar(d); }

PyObject* definition_from_json(JsonText text) {
  auto d = read_json(text.utf8);
  if (!d) return raise_json_error(d.error());
  return to_py(std::move(*d));
}

using OnDefinition = OnValue<Definition, TypeId::Definition>;

constinit MethodDecl kToCalendar = query<OnDefinition, &definition_to_calendar>("ToCalendar", "");
constinit MethodDecl kToJson = query<OnDefinition, &json_of>("ToJson", "indented=False");
constinit MethodDecl kFromJson = function<&definition_from_json>("FromJson", "json");

const Member kDefinitionMembers[] = {
    method<kToCalendar>(),
    method<kToJson>(),
    static_method<kFromJson>(),
};

}  // namespace

bool from_py(PyObject* o, const Definition** out) {
  *out = unbox<Definition>(TypeId::Definition, o);
  return *out != nullptr;
}

// ---------------------------------------------------------------- HourloomCalendar members

PyObject* calendar_json(const Calendar& c, bool indented) {
  auto d = to_definition(c);
  if (!d) return raise_error(d.error());
  return json_of(*d, indented);
}

Result<Calendar> calendar_from_definition(const Definition* d) { return to_calendar(*d); }

PyObject* calendar_from_json(JsonText text) {
  auto d = read_json(text.utf8);
  if (!d) return raise_json_error(d.error());
  auto c = to_calendar(std::move(*d));
  if (!c) return raise_error(c.error());
  return to_py(std::move(*c));
}

const ClassDecl kDefinitionClass{"HourloomDefinition", sizeof(Boxed<Definition>), &boxed_dealloc<Definition>,
                                 nullptr,              nullptr,                   nullptr,
                                 kDefinitionMembers};

}  // namespace hourloom::py
