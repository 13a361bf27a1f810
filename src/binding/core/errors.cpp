#include "binding/core/errors.h"

#include <cstring>

#include "binding/core/pyref.h"

namespace hourloom::py {

namespace {
// Owned for the life of the process; created by the (single) module init.
PyObject* g_internal_error = nullptr;

const char* short_type_name(PyTypeObject* t) {
  const char* dot = std::strrchr(t->tp_name, '.');
  return dot ? dot + 1 : t->tp_name;
}
}  // namespace

bool create_internal_error_type() {
  if (g_internal_error) return true;
  g_internal_error = PyErr_NewException("hourloom.InternalError", PyExc_BaseException, nullptr);
  return g_internal_error != nullptr;
}

// An interruption leaves the exception the signal handler raised pending.
PyObject* raise_error(const Error& e) {
  if (e.kind == ErrorKind::Interrupted && PyErr_Occurred()) return nullptr;
  PyErr_SetString(exception_type(e.kind, g_internal_error), e.message);
  return nullptr;
}

bool python_signal_pending() { return PyGILState_Check() && PyErr_CheckSignals() != 0; }

PyObject* raise_cast_error(PyObject* obj, const char* class_name) {
  PyErr_Format(PyExc_TypeError, text::kCastFormat, short_type_name(Py_TYPE(obj)), class_name);
  return nullptr;
}

PyObject* raise_cast_error(PyObject* obj, PyTypeObject* expected) {
  return raise_cast_error(obj, short_type_name(expected));
}

void prefix_argument_error(const char* name) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  Ref owned_type(type), owned_value(value), owned_tb(tb);
  Ref text(value ? PyObject_Str(value) : PyUnicode_FromString(""));
  if (!text) return;
  PyErr_Format(PyExc_TypeError, text::kArgumentFormat, name, text.get());
}

}  // namespace hourloom::py
