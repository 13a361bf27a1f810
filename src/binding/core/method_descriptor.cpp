#include "binding/core/method_descriptor.h"

#include <cstddef>
#include <cstring>

#include "binding/core/pyref.h"

#include <structmember.h>

namespace hourloom::py {

namespace {

struct MethodObject {
  PyObject_HEAD
  const MethodDecl* decl;
  PyTypeObject* owner;  // borrowed: the class outlives its members
  vectorcallfunc vectorcall;
};

PyTypeObject* g_method_type = nullptr;

MethodObject* as_method(PyObject* o) { return reinterpret_cast<MethodObject*>(o); }

const char* owner_name(const MethodObject* m) {
  const char* dot = std::strrchr(m->owner->tp_name, '.');
  return dot ? dot + 1 : m->owner->tp_name;
}

PyObject* method_vectorcall(PyObject* callable, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
  MethodObject* m = as_method(callable);
  Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
  if (nargs < 1) {
    PyErr_Format(PyExc_TypeError, text::kUnboundMethodFormat, owner_name(m), m->decl->name);
    return nullptr;
  }
  return guarded([&] { return call_declared(*m->decl, args[0], args + 1, nargs - 1, kwnames); });
}

PyObject* method_get(PyObject* self, PyObject* obj, PyObject*) {
  if (!obj || obj == Py_None) return Py_NewRef(self);
  return PyMethod_New(self, obj);
}

PyObject* method_repr(PyObject* self) {
  MethodObject* m = as_method(self);
  return PyUnicode_FromFormat("<method '%s' of '%s' objects>", m->decl->name, m->owner->tp_name);
}

void method_dealloc(PyObject* self) {
  PyTypeObject* tp = Py_TYPE(self);
  tp->tp_free(self);
  Py_DECREF(tp);
}

PyObject* get_name(PyObject* self, void*) { return PyUnicode_FromString(as_method(self)->decl->name); }
PyObject* get_qualname(PyObject* self, void*) {
  MethodObject* m = as_method(self);
  return PyUnicode_FromFormat("%s.%s", owner_name(m), m->decl->name);
}
PyObject* get_doc(PyObject*, void*) { Py_RETURN_NONE; }
PyObject* get_text_signature(PyObject* self, void*) {
  // The text after the name up to the "\n--\n\n" marker: "($self, instant)".
  const char* text = text_signature(*as_method(self)->decl);
  const char* open = std::strchr(text, '(');
  const char* end = std::strstr(text, "\n--\n\n");
  return PyUnicode_FromStringAndSize(open, end - open);
}
PyObject* get_objclass(PyObject* self, void*) { return Py_NewRef(reinterpret_cast<PyObject*>(as_method(self)->owner)); }

PyGetSetDef kMethodGetSet[] = {
    {"__name__", &get_name, nullptr, nullptr, nullptr},
    {"__qualname__", &get_qualname, nullptr, nullptr, nullptr},
    {"__doc__", &get_doc, nullptr, nullptr, nullptr},
    {"__text_signature__", &get_text_signature, nullptr, nullptr, nullptr},
    {"__objclass__", &get_objclass, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMemberDef kMethodMembers[] = {
    {"__vectorcalloffset__", T_PYSSIZET, offsetof(MethodObject, vectorcall), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyType_Slot kMethodSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&method_dealloc)},
    {Py_tp_call, reinterpret_cast<void*>(&PyVectorcall_Call)},
    {Py_tp_descr_get, reinterpret_cast<void*>(&method_get)},
    {Py_tp_repr, reinterpret_cast<void*>(&method_repr)},
    {Py_tp_getset, kMethodGetSet},
    {Py_tp_members, kMethodMembers},
    {0, nullptr},
};

PyType_Spec kMethodSpec = {
    "hourloom.method",
    sizeof(MethodObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_METHOD_DESCRIPTOR | Py_TPFLAGS_HAVE_VECTORCALL |
        Py_TPFLAGS_DISALLOW_INSTANTIATION,
    kMethodSlots,
};

}  // namespace

bool create_method_descriptor_type(PyObject* module) {
  if (g_method_type) return true;
  g_method_type = reinterpret_cast<PyTypeObject*>(PyType_FromModuleAndSpec(module, &kMethodSpec, nullptr));
  return g_method_type != nullptr;
}

PyObject* new_method_descriptor(const MethodDecl& decl, PyTypeObject* owner) {
  PyObject* obj = g_method_type->tp_alloc(g_method_type, 0);
  if (!obj) return nullptr;
  MethodObject* m = as_method(obj);
  m->decl = &decl;
  m->owner = owner;
  m->vectorcall = &method_vectorcall;
  return obj;
}

}  // namespace hourloom::py
