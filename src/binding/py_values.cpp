// TimeWindow, HourloomWeeklyRule and DayOfWeek.
#include "binding/py_values.h"

#include "binding/registry.h"
#include "time/format.h"
#include "time/weekly_rule.h"

namespace hourloom::py {

namespace {

// ---------------------------------------------------------------- TimeWindow

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

// ---------------------------------------------------------------- HourloomWeeklyRule

using OnRule = OnValue<WeeklyRule, TypeId::WeeklyRule>;

bool rule_contains_instant(const WeeklyRule& r, Instant t) { return rule_contains(r, t); }

constinit MethodDecl kWeeklyRuleNew = constructor<OnRule, &make_weekly_rule>("HourloomWeeklyRule", "day, start, end");
constinit MethodDecl kWeeklyRuleContains = query<OnRule, &rule_contains_instant>("Contains", "instant");
constinit MethodDecl kWeeklyRuleToWindow = query<OnRule, &rule_window>("ToWindow", "date");

const Member kWeeklyRuleMembers[] = {
    property("Day", &read<OnRule, &WeeklyRule::day>),
    property("Start", &read<OnRule, &WeeklyRule::start>),
    property("End", &read<OnRule, &WeeklyRule::end>),
    method<kWeeklyRuleContains>(),
    method<kWeeklyRuleToWindow>(),
};

// ---------------------------------------------------------------- DayOfWeek

const Member kDayOfWeekMembers[] = {
    constant("Sunday", Weekday::Sunday),     constant("Monday", Weekday::Monday),
    constant("Tuesday", Weekday::Tuesday),   constant("Wednesday", Weekday::Wednesday),
    constant("Thursday", Weekday::Thursday), constant("Friday", Weekday::Friday),
    constant("Saturday", Weekday::Saturday),
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
