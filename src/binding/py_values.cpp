// TimeWindow, HourloomWeeklyRule and DayOfWeek.
#include "binding/py_values.h"

#include "binding/registry.h"
#include "time/format.h"
#include "time/weekly_rule.h"

namespace hourloom::py {

const TimeWindow* as_window(PyObject* obj, const char* argument_name) {
  const TimeWindow* w = unbox<TimeWindow>(TypeId::TimeWindow, obj);
  if (!w && argument_name) prefix_argument_error(argument_name);
  return w;
}

namespace {

// ---------------------------------------------------------------- TimeWindow

const TimeWindow& window_of(PyObject* self) { return boxed_value<TimeWindow>(self); }

PyObject* time_window_new(PyObject* type, const Args& args) {
  Instant start, end;
  if (!args.get(0, &start) || !args.get(1, &end)) return nullptr;
  auto w = make_window(start, end);
  if (!w) return raise_error(w.error());
  return emplace<TimeWindow>(reinterpret_cast<PyTypeObject*>(type), *w);
}

PyObject* time_window_start(PyObject* self) { return to_py(window_of(self).start); }
PyObject* time_window_end(PyObject* self) { return to_py(window_of(self).end); }
PyObject* time_window_duration(PyObject* self) { return duration_to_py(length(window_of(self))); }
PyObject* time_window_is_empty(PyObject* self) { return to_py(is_empty(window_of(self))); }

PyObject* time_window_contains(PyObject* self, const Args& args) {
  const TimeWindow* w = unbox<TimeWindow>(TypeId::TimeWindow, self);
  Instant t;
  if (!w || !args.get(0, &t)) return nullptr;
  return to_py(contains(*w, t));
}

PyObject* time_window_overlaps(PyObject* self, const Args& args) {
  const TimeWindow* w = unbox<TimeWindow>(TypeId::TimeWindow, self);
  if (!w) return nullptr;
  const TimeWindow* other = as_window(args[0], "other");
  if (!other) return nullptr;
  return to_py(overlaps(*w, *other));
}

PyObject* time_window_intersect(PyObject* self, const Args& args) {
  const TimeWindow* w = unbox<TimeWindow>(TypeId::TimeWindow, self);
  if (!w) return nullptr;
  const TimeWindow* other = as_window(args[0], "other");
  if (!other) return nullptr;
  return optional_window_to_py(intersect(*w, *other));
}

PyObject* time_window_richcompare(PyObject* self, PyObject* other, int op) {
  return equality_compare<TimeWindow>(TypeId::TimeWindow, msg::kTimeWindowOrdering, self, other, op);
}

PyObject* time_window_repr(PyObject* self) {
  return guarded([&] {
    const TimeWindow& w = window_of(self);
    std::string text = "TimeWindow(" + format_instant(w.start) + ", " + format_instant(w.end) + ")";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

constinit MethodDecl kTimeWindowNew{"TimeWindow", "start, end", &time_window_new};
constinit MethodDecl kTimeWindowContains{"Contains", "instant", &time_window_contains};
constinit MethodDecl kTimeWindowOverlaps{"Overlaps", "other", &time_window_overlaps};
constinit MethodDecl kTimeWindowIntersect{"Intersect", "other", &time_window_intersect};

const Member kTimeWindowMembers[] = {
    property("Start", &time_window_start),
    property("End", &time_window_end),
    property("Duration", &time_window_duration),
    property("IsEmpty", &time_window_is_empty),
    method<kTimeWindowContains>(),
    method<kTimeWindowOverlaps>(),
    method<kTimeWindowIntersect>(),
};

// ---------------------------------------------------------------- HourloomWeeklyRule

const WeeklyRule& rule_of(PyObject* self) { return boxed_value<WeeklyRule>(self); }

PyObject* weekly_rule_new(PyObject* type, const Args& args) {
  std::uint8_t day;
  TimeOfDay start, end;
  if (!args.get(0, &day) || !args.get(1, &start) || !args.get(2, &end)) return nullptr;
  auto rule = make_weekly_rule(day, start, end);
  if (!rule) return raise_error(rule.error());
  return emplace<WeeklyRule>(reinterpret_cast<PyTypeObject*>(type), *rule);
}

PyObject* weekly_rule_day(PyObject* self) { return PyLong_FromLong(weekday_number(rule_of(self).day())); }
PyObject* weekly_rule_start(PyObject* self) { return to_py(rule_of(self).start()); }
PyObject* weekly_rule_end(PyObject* self) { return to_py(rule_of(self).end()); }

PyObject* weekly_rule_contains(PyObject* self, const Args& args) {
  const WeeklyRule* r = unbox<WeeklyRule>(TypeId::WeeklyRule, self);
  Instant t;
  if (!r || !args.get(0, &t)) return nullptr;
  return to_py(rule_contains(*r, t));
}

PyObject* weekly_rule_to_window(PyObject* self, const Args& args) {
  const WeeklyRule* r = unbox<WeeklyRule>(TypeId::WeeklyRule, self);
  Date d;
  if (!r || !args.get(0, &d)) return nullptr;
  return window_to_py(rule_window(*r, d));
}

constinit MethodDecl kWeeklyRuleNew{"HourloomWeeklyRule", "day, start, end", &weekly_rule_new};
constinit MethodDecl kWeeklyRuleContains{"Contains", "instant", &weekly_rule_contains};
constinit MethodDecl kWeeklyRuleToWindow{"ToWindow", "date", &weekly_rule_to_window};

const Member kWeeklyRuleMembers[] = {
    property("Day", &weekly_rule_day),
    property("Start", &weekly_rule_start),
    property("End", &weekly_rule_end),
    method<kWeeklyRuleContains>(),
    method<kWeeklyRuleToWindow>(),
};

// ---------------------------------------------------------------- DayOfWeek

const Member kDayOfWeekMembers[] = {
    constant("Sunday", Weekday::Sunday),     constant("Monday", Weekday::Monday), constant("Tuesday", Weekday::Tuesday),
    constant("Wednesday", Weekday::Wednesday), constant("Thursday", Weekday::Thursday),
    constant("Friday", Weekday::Friday),     constant("Saturday", Weekday::Saturday),
};

}  // namespace

const ClassDecl kTimeWindowClass{"TimeWindow",           sizeof(Boxed<TimeWindow>), &boxed_dealloc<TimeWindow>,
                                 &kTimeWindowNew,        &time_window_richcompare,  &time_window_repr,
                                 kTimeWindowMembers};
const ClassDecl kWeeklyRuleClass{"HourloomWeeklyRule", sizeof(Boxed<WeeklyRule>), &boxed_dealloc<WeeklyRule>,
                                 &kWeeklyRuleNew,      nullptr,                    nullptr,
                                 kWeeklyRuleMembers};
const ClassDecl kDayOfWeekClass{"DayOfWeek", sizeof(PyObject), &plain_dealloc, nullptr, nullptr, nullptr,
                                kDayOfWeekMembers};

}  // namespace hourloom::py
