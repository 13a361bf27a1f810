// The result records and the two kind namespaces. Every property read builds
// fresh Python objects from the record's engine value.
#include "binding/py_records.h"

#include "binding/registry.h"

namespace hourloom::py {

PyObject* state_window_to_py(const StateWindow& s) { return box(TypeId::StateWindow, StateWindow(s)); }
PyObject* capacity_window_to_py(const CapacityWindow& c) { return box(TypeId::CapacityWindow, CapacityWindow(c)); }
PyObject* entry_to_py(const Entry& e) { return box(TypeId::Entry, Entry(e)); }
PyObject* window_match_to_py(const WindowMatch& m) { return box(TypeId::WindowMatch, WindowMatch(m)); }

namespace {

PyObject* capacity_to_py(Capacity c) { return PyLong_FromLong(c); }
PyObject* optional_capacity_to_py(const std::optional<Capacity>& c) {
  return c ? capacity_to_py(*c) : Py_NewRef(Py_None);
}
PyObject* optional_instant_to_py(const std::optional<Instant>& t) { return t ? to_py(*t) : Py_NewRef(Py_None); }

// ---------------------------------------------------------------- kinds

const Member kEntryKindMembers[] = {constant("Open", EntryKind::Open), constant("Closed", EntryKind::Closed),
                                     constant("Capacity", EntryKind::WithCapacity)};
const Member kWindowKindMembers[] = {
    constant("Available", WindowKind::Available),       constant("Unavailable", WindowKind::Unavailable),
    constant("OpenRule", WindowKind::OpenRule),         constant("OpenWindow", WindowKind::OpenWindow),
    constant("BreakRule", WindowKind::BreakRule),       constant("ClosedWindow", WindowKind::ClosedWindow),
    constant("CapacityOverride", WindowKind::CapacityOverride),
};

// ---------------------------------------------------------------- HourloomCapacityWindow

const Member kCapacityWindowMembers[] = {
    property("Window", [](PyObject* s) { return window_to_py(boxed_value<CapacityWindow>(s).window); }),
    property("Capacity", [](PyObject* s) { return capacity_to_py(boxed_value<CapacityWindow>(s).capacity); }),
};

// ---------------------------------------------------------------- HourloomEntry

const Member kEntryMembers[] = {
    property("Id",
             [](PyObject* s) {
               const std::string& id = boxed_value<Entry>(s).id;
               return PyUnicode_FromStringAndSize(id.data(), static_cast<Py_ssize_t>(id.size()));
             }),
    property("Kind", [](PyObject* s) { return PyLong_FromLong(static_cast<long>(boxed_value<Entry>(s).kind)); }),
    property("Window", [](PyObject* s) { return window_to_py(boxed_value<Entry>(s).window); }),
    property("Capacity", [](PyObject* s) { return capacity_to_py(boxed_value<Entry>(s).capacity); }),
};

// ---------------------------------------------------------------- HourloomStateWindow

const Member kStateWindowMembers[] = {
    property("Window", [](PyObject* s) { return window_to_py(boxed_value<StateWindow>(s).window); }),
    property("Capacity", [](PyObject* s) { return capacity_to_py(boxed_value<StateWindow>(s).capacity); }),
    property("CanWork", [](PyObject* s) { return to_py(boxed_value<StateWindow>(s).can_work()); }),
};

PyObject* state_window_richcompare(PyObject* self, PyObject* other, int op) {
  return equality_compare<StateWindow>(TypeId::StateWindow, msg::kStateWindowOrdering, self, other, op);
}

// ---------------------------------------------------------------- HourloomWindowMatch

const Member kWindowMatchMembers[] = {
    property("Kind", [](PyObject* s) { return PyLong_FromLong(static_cast<long>(boxed_value<WindowMatch>(s).kind)); }),
    property("Window", [](PyObject* s) { return window_to_py(boxed_value<WindowMatch>(s).window); }),
    property("Capacity", [](PyObject* s) { return optional_capacity_to_py(boxed_value<WindowMatch>(s).capacity); }),
};

PyObject* window_match_richcompare(PyObject* self, PyObject* other, int op) {
  return equality_compare<WindowMatch>(TypeId::WindowMatch, msg::kWindowMatchOrdering, self, other, op);
}

// ---------------------------------------------------------------- HourloomInstantAnalysis

const InstantAnalysis& analysis_of(PyObject* s) { return boxed_value<InstantAnalysis>(s); }

const Member kInstantAnalysisMembers[] = {
    property("Instant", [](PyObject* s) { return to_py(analysis_of(s).instant); }),
    property("Capacity", [](PyObject* s) { return capacity_to_py(analysis_of(s).capacity); }),
    property("CurrentWindow", [](PyObject* s) { return optional_window_to_py(analysis_of(s).current_window); }),
    property("PreviousTransition",
             [](PyObject* s) { return optional_instant_to_py(analysis_of(s).previous_transition); }),
    property("NextTransition", [](PyObject* s) { return optional_instant_to_py(analysis_of(s).next_transition); }),
    property("Matches", [](PyObject* s) { return list_to_py(analysis_of(s).matches, window_match_to_py); }),
    property("CanWork", [](PyObject* s) { return to_py(analysis_of(s).capacity >= 1); }),
};

// ---------------------------------------------------------------- HourloomTimelineAnalysis

const TimelineAnalysis& range_analysis_of(PyObject* s) { return boxed_value<TimelineAnalysis>(s); }

const Member kTimelineAnalysisMembers[] = {
    property("Window", [](PyObject* s) { return window_to_py(range_analysis_of(s).window); }),
    property("Segments", [](PyObject* s) { return list_to_py(range_analysis_of(s).segments, state_window_to_py); }),
    property("WorkingDuration",
             [](PyObject* s) -> PyObject* {
               auto d = working_duration(range_analysis_of(s).segments);
               return d ? duration_to_py(*d) : raise_error(d.error());
             }),
    property("WorkingTicks",
             [](PyObject* s) -> PyObject* {
               auto d = working_duration(range_analysis_of(s).segments);
               return d ? duration_to_ticks_py(*d) : raise_error(d.error());
             }),
};

// ---------------------------------------------------------------- WorkingTimeTraceStep / WorkingTimeTrace

PyObject* trace_step_to_py(const WorkingTimeTraceStep& s) {
  return box(TypeId::WorkingTimeTraceStep, WorkingTimeTraceStep(s));
}

const Member kTraceStepMembers[] = {
    property("Window", [](PyObject* s) { return window_to_py(boxed_value<WorkingTimeTraceStep>(s).window); }),
    property("Duration", [](PyObject* s) { return duration_to_py(boxed_value<WorkingTimeTraceStep>(s).duration); }),
};

const WorkingTimeTrace& trace_of(PyObject* s) { return boxed_value<WorkingTimeTrace>(s); }

const Member kTraceMembers[] = {
    property("Start", [](PyObject* s) { return to_py(trace_of(s).start); }),
    property("RequestedDuration", [](PyObject* s) { return duration_to_py(trace_of(s).requested); }),
    property("Result", [](PyObject* s) { return to_py(trace_of(s).result); }),
    property("Steps", [](PyObject* s) { return list_to_py(trace_of(s).steps, trace_step_to_py); }),
    property("RequestedTicks", [](PyObject* s) { return duration_to_ticks_py(trace_of(s).requested); }),
    property("ConsumedTicks",
             [](PyObject* s) -> PyObject* {
               auto d = consumed_duration(trace_of(s).steps);
               return d ? duration_to_ticks_py(*d) : raise_error(d.error());
             }),
};

template <class T>
constexpr ClassDecl record_class(const char* name, std::span<const Member> members,
                                 richcmpfunc richcompare = nullptr) {
  return {name, sizeof(Boxed<T>), &boxed_dealloc<T>, nullptr, richcompare, nullptr, members};
}

}  // namespace

const ClassDecl kEntryKindClass{"HourloomEntryKind", sizeof(PyObject), &plain_dealloc, nullptr, nullptr, nullptr,
                                kEntryKindMembers};
const ClassDecl kWindowKindClass{"HourloomWindowKind", sizeof(PyObject), &plain_dealloc, nullptr, nullptr, nullptr,
                                 kWindowKindMembers};
const ClassDecl kCapacityWindowClass = record_class<CapacityWindow>("HourloomCapacityWindow", kCapacityWindowMembers);
const ClassDecl kEntryClass = record_class<Entry>("HourloomEntry", kEntryMembers);
const ClassDecl kStateWindowClass =
    record_class<StateWindow>("HourloomStateWindow", kStateWindowMembers, &state_window_richcompare);
const ClassDecl kWindowMatchClass =
    record_class<WindowMatch>("HourloomWindowMatch", kWindowMatchMembers, &window_match_richcompare);
const ClassDecl kInstantAnalysisClass = record_class<InstantAnalysis>("HourloomInstantAnalysis", kInstantAnalysisMembers);
const ClassDecl kTimelineAnalysisClass =
    record_class<TimelineAnalysis>("HourloomTimelineAnalysis", kTimelineAnalysisMembers);
const ClassDecl kWorkingTimeTraceClass = record_class<WorkingTimeTrace>("WorkingTimeTrace", kTraceMembers);
const ClassDecl kWorkingTimeTraceStepClass =
    record_class<WorkingTimeTraceStep>("WorkingTimeTraceStep", kTraceStepMembers);

}  // namespace hourloom::py
