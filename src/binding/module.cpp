// Module initialisation: the module object, its attributes in their fixed
// order, and the alias tables applied afterwards.
#include <iterator>

#include "binding/core/convert.h"
#include "binding/core/heap_types.h"
#include "binding/core/method_descriptor.h"
#include "binding/core/objects.h"
#include "binding/core/pyref.h"
#include "engine/interrupt.h"

namespace hourloom::py {

PyTypeObject* g_types[static_cast<int>(TypeId::Count)] = {};

namespace {

// HOURLOOM_VERSION: the project version, defined by the build from pyproject.toml.
constexpr const char* kVersion = HOURLOOM_VERSION;

// The registration table: the classes of class_list.h in registration order
// (module attributes 2 to 20), each with its place in the alias order.
struct ClassRow {
  TypeId id;
  const ClassDecl* decl;
  int alias_rank;
};
constexpr ClassRow kRegistrationOrder[] = {
#define HOURLOOM_CLASS_ROW(Id, Value, Box, AliasRank) {TypeId::Id, &k##Id##Class, AliasRank},
    HOURLOOM_CLASSES(HOURLOOM_CLASS_ROW)
#undef HOURLOOM_CLASS_ROW
};
static_assert(std::size(kRegistrationOrder) == static_cast<std::size_t>(TypeId::Count));

// Every place in the alias order is taken by exactly one class.
consteval bool alias_ranks_are_a_permutation() {
  for (int rank = 0; rank < static_cast<int>(std::size(kRegistrationOrder)); ++rank) {
    int holders = 0;
    for (const ClassRow& row : kRegistrationOrder) holders += row.alias_rank == rank;
    if (holders != 1) return false;
  }
  return true;
}
static_assert(alias_ranks_are_a_permutation());

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "hourloom",
    "",
    0,  // not -1: a re-import calls the init function again, which hands back the first module
    nullptr, nullptr, nullptr, nullptr, nullptr,
};

PyObject* g_module = nullptr;
PyInterpreterState* g_interpreter = nullptr;

PyObject* build_module() {
  Ref module(PyModule_Create(&g_module_def));
  if (!module) return nullptr;
  if (!init_datetime() || !create_internal_error_type() || !create_method_descriptor_type(module.get()))
    return nullptr;
  if (PyModule_AddStringConstant(module.get(), "__version__", kVersion) < 0) return nullptr;
  set_interrupt_hook(&python_signal_pending);
  for (const ClassRow& row : kRegistrationOrder) {
    Ref cls(create_class(module.get(), *row.decl));
    if (!cls) return nullptr;
    g_types[static_cast<int>(row.id)] = reinterpret_cast<PyTypeObject*>(cls.get());
    if (PyModule_AddObjectRef(module.get(), row.decl->name, cls.get()) < 0) return nullptr;
    cls.release();  // the module and g_types share the one reference for the process
  }
  for (const FunctionDecl& f : kDurationFunctions) {
    Ref fn(create_function(module.get(), *f.decl, f.entry));
    if (!fn || PyModule_AddObjectRef(module.get(), f.decl->name, fn.get()) < 0) return nullptr;
  }
  Ref keyword_module(PyImport_ImportModule("keyword"));
  if (!keyword_module) return nullptr;
  Ref iskeyword(PyObject_GetAttrString(keyword_module.get(), "iskeyword"));
  if (!iskeyword) return nullptr;
  for (int rank = 0; rank < static_cast<int>(std::size(kRegistrationOrder)); ++rank) {
    for (const ClassRow& row : kRegistrationOrder) {
      if (row.alias_rank != rank) continue;
      Ref cls(PyObject_GetAttrString(module.get(), row.decl->name));
      if (!cls || !apply_aliases(cls.get(), *row.decl, iskeyword.get())) return nullptr;
    }
  }
  return module.release();
}

}  // namespace

}  // namespace hourloom::py

// PyMODINIT_FUNC already declares the function extern "C" under C++.
PyMODINIT_FUNC PyInit_hourloom(void) {
  using namespace hourloom::py;
  return guarded([]() -> PyObject* {
    PyInterpreterState* interpreter = PyInterpreterState_Get();
    if (g_module) {
      if (interpreter != g_interpreter) {
        PyErr_SetString(PyExc_ImportError, text::kSubInterpreters);
        return nullptr;
      }
      return Py_NewRef(g_module);
    }
    PyObject* module = build_module();
    if (!module) return nullptr;
    g_module = Py_NewRef(module);
    g_interpreter = interpreter;
    return module;
  });
}
