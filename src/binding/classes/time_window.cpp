// TimeWindow: a half-open span [start, end) of instants, compared by value.
#include "binding/core/rows.h"
#include "time/format.h"

namespace hourloom::py {

namespace {

using OnWindow = OnValue<TimeWindow, TypeId::TimeWindow>;

PyObject* time_window_richcompare(PyObject* self, PyObject* other, int op) {
  return equality_compare<TimeWindow>(TypeId::TimeWindow, text::kTimeWindowOrdering, self, other, op);
}

PyObject* time_window_repr(PyObject* self) {
  return guarded([&] {
    const TimeWindow& w = boxed_value<TimeWindow>(self);
    std::string text = "TimeWindow(" + format_instant(w.start) + ", " + format_instant(w.end) + ")";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

constinit MethodDecl kTimeWindowNew = constructor<OnWindow, &make_window>("TimeWindow", "start, end");
constinit MethodDecl kTimeWindowContains = query<OnWindow, &contains>("Contains", "instant");
constinit MethodDecl kTimeWindowOverlaps = query<OnWindow, &overlaps>("Overlaps", "other");
constinit MethodDecl kTimeWindowIntersect = query<OnWindow, &intersect>("Intersect", "other");

const Member kTimeWindowMembers[] = {
    property("Start", &read<OnWindow, &TimeWindow::start>),
    property("End", &read<OnWindow, &TimeWindow::end>),
    property("Duration", &read<OnWindow, &length>),
    property("IsEmpty", &read<OnWindow, &is_empty>),
    method<kTimeWindowContains>(),
    method<kTimeWindowOverlaps>(),
    method<kTimeWindowIntersect>(),
};

}  // namespace

const ClassDecl kTimeWindowClass{"TimeWindow",           sizeof(Boxed<TimeWindow>), &boxed_dealloc<TimeWindow>,
                                 &kTimeWindowNew,        &time_window_richcompare,  &time_window_repr,
                                 kTimeWindowMembers};

}  // namespace hourloom::py
