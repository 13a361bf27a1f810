#include "binding/core/heap_types.h"

#include <string>
#include <vector>

#include "binding/core/method_descriptor.h"
#include "binding/core/pyref.h"

namespace hourloom::py {

namespace {

// Type names, method tables and getset tables must outlive the types, which
// live as long as the process; they are made once and never freed.
const char* process_lifetime_copy(std::string s) { return (new std::string(std::move(s)))->c_str(); }

PyMethodDef* make_method_def(const MethodDecl& decl, FastEntry entry) {
  auto def = new PyMethodDef{};
  def->ml_name = decl.name;
  def->ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(entry));
  def->ml_flags = METH_FASTCALL | METH_KEYWORDS;
  def->ml_doc = text_signature(decl);
  return def;
}

PyObject* property_get(PyObject* self, void* closure) {
  auto getter = reinterpret_cast<Getter>(closure);
  return guarded([&] { return getter(self); });
}

PyObject* make_descriptor(PyTypeObject* type, PyObject* module_name, const Member& m) {
  switch (m.kind) {
    case MemberKind::Method:
      return new_method_descriptor(*m.method, type);
    case MemberKind::StaticMethod: {
      Ref fn(PyCFunction_NewEx(make_method_def(*m.method, m.entry), nullptr, module_name));
      if (!fn) return nullptr;
      return PyStaticMethod_New(fn.get());
    }
    case MemberKind::Property: {
      auto def = new PyGetSetDef{};
      def->name = m.name;
      def->get = &property_get;
      def->closure = reinterpret_cast<void*>(m.getter);
      return PyDescr_NewGetSet(type, def);
    }
    case MemberKind::Constant:
      return PyLong_FromLong(m.constant);
  }
  return nullptr;
}

}  // namespace

namespace {
// The constructor declaration of each class with one, found by type.
std::vector<std::pair<PyTypeObject*, MethodDecl*>>& constructors() {
  static auto* table = new std::vector<std::pair<PyTypeObject*, MethodDecl*>>();
  return *table;
}

// Constructors go through the declared parser like every method.
PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    for (auto& [tp, decl] : constructors())
      if (tp == type) return call_declared_dict(*decl, reinterpret_cast<PyObject*>(type), args, kwargs);
    PyErr_Format(PyExc_TypeError, text::kCannotCreateFormat, type->tp_name);
    return nullptr;
  });
}
}  // namespace

PyObject* create_class(PyObject* module, const ClassDecl& decl) {
  Ref module_name(PyModule_GetNameObject(module));
  if (!module_name) return nullptr;
  std::vector<PyType_Slot> slots;
  slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(decl.dealloc)});
  if (decl.constructor) {
    if (!prepare_signature(*decl.constructor, decl.name, false, true)) return nullptr;
    slots.push_back({Py_tp_new, reinterpret_cast<void*>(&construct)});
    slots.push_back({Py_tp_doc, const_cast<char*>(text_signature(*decl.constructor))});
  }
  if (decl.richcompare) slots.push_back({Py_tp_richcompare, reinterpret_cast<void*>(decl.richcompare)});
  if (decl.repr) slots.push_back({Py_tp_repr, reinterpret_cast<void*>(decl.repr)});
  slots.push_back({0, nullptr});

  PyType_Spec type_spec{};
  type_spec.name = process_lifetime_copy(std::string("hourloom.") + decl.name);
  type_spec.basicsize = static_cast<int>(decl.basicsize);
  type_spec.flags = static_cast<unsigned int>(Py_TPFLAGS_DEFAULT | (decl.constructor ? 0 : Py_TPFLAGS_DISALLOW_INSTANTIATION));
  type_spec.slots = slots.data();
  Ref type(PyType_FromModuleAndSpec(module, &type_spec, nullptr));
  if (!type) return nullptr;
  auto* tp = reinterpret_cast<PyTypeObject*>(type.get());
  if (decl.constructor) constructors().push_back({tp, decl.constructor});
  if (PyObject_SetAttrString(type.get(), "__doc__", Py_None) < 0) return nullptr;

  for (const Member& m : decl.members) {
    bool has_self = m.kind == MemberKind::Method;
    if (m.method && !prepare_signature(*m.method, decl.name, has_self)) return nullptr;
    Ref descr(make_descriptor(tp, module_name.get(), m));
    if (!descr || PyObject_SetAttrString(type.get(), m.name, descr.get()) < 0) return nullptr;
  }
  return type.release();
}

bool apply_aliases(PyObject* cls, const ClassDecl& decl, PyObject* iskeyword) {
  for (const Member& m : decl.members) {
    Ref value(PyObject_GetAttrString(cls, m.name));
    if (!value) return false;
    Ref alias(PyUnicode_FromString(alias_of(m).c_str()));
    if (!alias) return false;
    Ref keyword(PyObject_CallOneArg(iskeyword, alias.get()));
    if (!keyword) return false;
    int is_keyword = PyObject_IsTrue(keyword.get());
    if (is_keyword < 0) return false;
    if (is_keyword) {
      alias = Ref(PyUnicode_FromFormat("%U_", alias.get()));
      if (!alias) return false;
    }
    if (PyObject_SetAttr(cls, alias.get(), value.get()) < 0) return false;
  }
  return true;
}

PyObject* create_function(PyObject* module, MethodDecl& decl, FastEntry entry) {
  if (!prepare_signature(decl, nullptr, false)) return nullptr;
  Ref module_name(PyModule_GetNameObject(module));
  if (!module_name) return nullptr;
  return PyCFunction_NewEx(make_method_def(decl, entry), nullptr, module_name.get());
}

}  // namespace hourloom::py
