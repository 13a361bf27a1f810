// HourloomDefinition and the calendar's saving and restoring members: each
// converts its arguments, calls one definition operation and wraps the result.
#include "binding/py_definition.h"

#include <string>
#include <string_view>

#include "binding/py_calendar.h"
#include "binding/registry.h"
#include "definition/conversion.h"
#include "definition/json_reader.h"
#include "definition/json_writer.h"

namespace hourloom::py {

namespace {

PyObject* raise_json_error(const JsonError& e) {
  Ref text(PyUnicode_DecodeUTF8(e.message.data(), static_cast<Py_ssize_t>(e.message.size()), "replace"));
  if (text) PyErr_SetObject(PyExc_ValueError, text.get());
  return nullptr;
}

// json_text: the UTF-8 of a str argument. A str holding lone surrogates has no
// UTF-8 form; it is encoded with them kept as three bytes each, which the
// reader then refuses with a position like any malformed text.
bool json_text(const Args& a, Py_ssize_t i, Ref& bytes, std::string_view* out) {
  PyObject* o = a[i];
  if (!PyUnicode_Check(o)) {
    raise_cast_error(o, "str");
    prefix_argument_error(a.name(i));
    return false;
  }
  Py_ssize_t size;
  if (const char* utf8 = PyUnicode_AsUTF8AndSize(o, &size)) {
    *out = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
  }
  if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return false;
  PyErr_Clear();
  bytes = Ref(PyUnicode_AsEncodedString(o, "utf-8", "surrogatepass"));
  if (!bytes) return false;
  *out = std::string_view(PyBytes_AS_STRING(bytes.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
  return true;
}

bool read_definition(const Args& a, Definition* out) {
  Ref bytes;
  std::string_view text;
  if (!json_text(a, 0, bytes, &text)) return false;
  auto d = read_json(text);
  if (!d) {
    raise_json_error(d.error());
    return false;
  }
  *out = std::move(*d);
  return true;
}

bool indented_argument(const Args& a, bool* indented) { return a.get_or(0, indented, false); }

PyObject* json_to_py(const Definition& d, bool indented) {
  auto text = write_json(d, indented);
  if (!text) return raise_json_error(text.error());
  return PyUnicode_DecodeUTF8(text->data(), static_cast<Py_ssize_t>(text->size()), "strict");
}

PyObject* calendar_from(Result<Calendar>&& c) {
  if (!c) return raise_error(c.error());
  return new_calendar_object(std::move(*c));
}

PyObject* new_definition_object(Definition&& d) { return emplace<Definition>(TypeId::Definition, std::move(d)); }

// ---------------------------------------------------------------- HourloomDefinition

PyObject* definition_to_calendar(PyObject* self, const Args&) {
  const Definition* d = unbox<Definition>(TypeId::Definition, self);
  if (!d) return nullptr;
  return calendar_from(to_calendar(*d));
}

PyObject* definition_to_json(PyObject* self, const Args& a) {
  const Definition* d = unbox<Definition>(TypeId::Definition, self);
  bool indented;
  if (!d || !indented_argument(a, &indented)) return nullptr;
  return json_to_py(*d, indented);
}

PyObject* definition_from_json(PyObject*, const Args& a) {
  Definition d;
  if (!read_definition(a, &d)) return nullptr;
  return new_definition_object(std::move(d));
}

constinit MethodDecl kToCalendar{"ToCalendar", "", &definition_to_calendar};
constinit MethodDecl kToJson{"ToJson", "indented=False", &definition_to_json};
constinit MethodDecl kFromJson{"FromJson", "json", &definition_from_json};

const Member kDefinitionMembers[] = {
    method<kToCalendar>(),
    method<kToJson>(),
    static_method<kFromJson>(),
};

}  // namespace

// ---------------------------------------------------------------- HourloomCalendar members

PyObject* calendar_to_definition(PyObject* self, const Args&) {
  return read_calendar(self, [](const Calendar& c) -> PyObject* {
    auto d = to_definition(c);
    if (!d) return raise_error(d.error());
    return new_definition_object(std::move(*d));
  });
}

PyObject* calendar_to_json(PyObject* self, const Args& a) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    bool indented;
    if (!indented_argument(a, &indented)) return nullptr;  // before the composite check
    auto d = to_definition(c);
    if (!d) return raise_error(d.error());
    return json_to_py(*d, indented);
  });
}

PyObject* calendar_from_definition(PyObject*, const Args& a) {
  const Definition* d = unbox<Definition>(TypeId::Definition, a[0]);
  if (!d) {
    prefix_argument_error(a.name(0));
    return nullptr;
  }
  return calendar_from(to_calendar(*d));
}

PyObject* calendar_from_json(PyObject*, const Args& a) {
  Definition d;
  if (!read_definition(a, &d)) return nullptr;
  return calendar_from(to_calendar(std::move(d)));
}

const ClassDecl kDefinitionClass{"HourloomDefinition", sizeof(Boxed<Definition>), &boxed_dealloc<Definition>,
                                 nullptr,              nullptr,                   nullptr,
                                 kDefinitionMembers};

}  // namespace hourloom::py
