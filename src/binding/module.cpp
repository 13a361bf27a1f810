// Module initialisation: the module object, its attributes in their fixed
// order, and the alias tables applied afterwards.
#include <iterator>

#include "binding/method_descriptor.h"
#include "engine/interrupt.h"
#include "binding/pyref.h"
#include "binding/registry.h"

namespace hourloom::py {

PyTypeObject* g_types[static_cast<int>(TypeId::Count)] = {};

namespace {

// HOURLOOM_VERSION: the project version, defined by the build from pyproject.toml.
constexpr const char* kVersion = HOURLOOM_VERSION;

// The module's classes in registration order (module attributes 2 to 20).
struct ClassRow {
  TypeId id;
  const ClassDecl* decl;
};
const ClassRow kRegistrationOrder[] = {
    {TypeId::DayOfWeek, &kDayOfWeekClass},
    {TypeId::EntryKind, &kEntryKindClass},
    {TypeId::WindowKind, &kWindowKindClass},
    {TypeId::TimeWindow, &kTimeWindowClass},
    {TypeId::WeeklyRule, &kWeeklyRuleClass},
    {TypeId::CapacityWindow, &kCapacityWindowClass},
    {TypeId::Entry, &kEntryClass},
    {TypeId::Calendar, &kCalendarClass},
    {TypeId::Definition, &kDefinitionClass},
    {TypeId::PointQuery, &kPointQueryClass},
    {TypeId::RangeQuery, &kRangeQueryClass},
    {TypeId::Timeline, &kTimelineClass},
    {TypeId::TimelineBatch, &kTimelineBatchClass},
    {TypeId::InstantAnalysis, &kInstantAnalysisClass},
    {TypeId::TimelineAnalysis, &kTimelineAnalysisClass},
    {TypeId::StateWindow, &kStateWindowClass},
    {TypeId::WindowMatch, &kWindowMatchClass},
    {TypeId::WorkingTimeTrace, &kWorkingTimeTraceClass},
    {TypeId::WorkingTimeTraceStep, &kWorkingTimeTraceStepClass},
};
static_assert(std::size(kRegistrationOrder) == static_cast<std::size_t>(TypeId::Count));

// The order in which the alias tables are applied.
const TypeId kAliasOrder[] = {
    TypeId::TimeWindow,       TypeId::WeeklyRule,       TypeId::CapacityWindow, TypeId::DayOfWeek,
    TypeId::EntryKind,        TypeId::WindowKind,       TypeId::Entry,          TypeId::Calendar,
    TypeId::StateWindow,      TypeId::WindowMatch,      TypeId::InstantAnalysis, TypeId::TimelineAnalysis,
    TypeId::WorkingTimeTraceStep, TypeId::WorkingTimeTrace, TypeId::PointQuery, TypeId::RangeQuery,
    TypeId::Timeline,         TypeId::TimelineBatch,    TypeId::Definition,
};

// decl_of: the declaration of a listed class (every class is listed).
const ClassDecl* decl_of(TypeId id) {
  for (const ClassRow& row : kRegistrationOrder)
    if (row.id == id) return row.decl;
  return nullptr;
}

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
  for (TypeId id : kAliasOrder) {
    const ClassDecl* decl = decl_of(id);
    Ref cls(PyObject_GetAttrString(module.get(), decl->name));
    if (!cls || !apply_aliases(cls.get(), *decl, iskeyword.get())) return nullptr;
  }
  return module.release();
}

}  // namespace

}  // namespace hourloom::py

extern "C" PyMODINIT_FUNC PyInit_hourloom(void) {
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
