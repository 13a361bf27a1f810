// HourloomCalendar: construction, properties, editing, entries, fluent
// builders and composition. Each member converts, calls one engine operation
// and converts back.
#include "binding/py_calendar.h"

#include <vector>

#include "binding/py_definition.h"
#include "binding/registry.h"

namespace hourloom::py {

namespace {

// ---------------------------------------------------------------- construction

PyObject* calendar_new(PyObject* type, const Args&) {
  return emplace<CalendarBox>(reinterpret_cast<PyTypeObject*>(type), Calendar{});
}

PyObject* calendar_create(PyObject*, const Args&) { return new_calendar_object(Calendar{}); }

// ---------------------------------------------------------------- properties

PyObject* calendar_default_capacity(PyObject* self) {
  return read_calendar(self, [](const Calendar& c) { return PyLong_FromLong(c.default_capacity); });
}
PyObject* calendar_is_composite(PyObject* self) {
  return read_calendar(self, [](const Calendar& c) { return to_py(c.is_composite()); });
}
PyObject* calendar_components(PyObject* self) {
  return read_calendar(self, [](const Calendar& c) {
    return list_to_py(c.components, [](const Calendar& part) { return new_calendar_object(Calendar(part)); });
  });
}
PyObject* rule_to_py(const WeeklyRule& r) { return box(TypeId::WeeklyRule, WeeklyRule(r)); }
PyObject* calendar_open_rules(PyObject* self) {
  return read_calendar(self, [](const Calendar& c) { return list_to_py(c.open_rules, rule_to_py); });
}
PyObject* calendar_break_rules(PyObject* self) {
  return read_calendar(self, [](const Calendar& c) { return list_to_py(c.break_rules, rule_to_py); });
}
PyObject* calendar_open_windows(PyObject* self) {
  return read_calendar(self, [](const Calendar& c) { return list_to_py(c.open_windows, window_to_py); });
}
PyObject* calendar_closed_windows(PyObject* self) {
  return read_calendar(self, [](const Calendar& c) { return list_to_py(c.closed_windows, window_to_py); });
}
PyObject* calendar_capacity_overrides(PyObject* self) {
  return read_calendar(self, [](const Calendar& c) { return list_to_py(c.capacity_overrides, capacity_window_to_py); });
}
PyObject* calendar_entries(PyObject* self) {
  return read_calendar(self, [](const Calendar& c) { return list_to_py(c.entries, entry_to_py); });
}

// ---------------------------------------------------------------- fluent builders and composition

PyObject* calendar_weekdays(PyObject*, const Args& a) {
  TimeOfDay start, end;
  if (!a.get(0, &start) || !a.get(1, &end)) return nullptr;
  Calendar c;
  if (!ok(add_weekday_open_rules(c, start, end))) return nullptr;
  return new_calendar_object(std::move(c));
}

PyObject* calendar_window(PyObject*, const Args& a) {
  Instant start, end;
  if (!a.get(0, &start) || !a.get(1, &end)) return nullptr;
  Calendar c;
  if (!ok(add_open_window(c, start, end))) return nullptr;
  return new_calendar_object(std::move(c));
}

// copy_calendar: a deep copy of a calendar argument under its shared hold.
bool copy_calendar(PyObject* obj, Calendar* out) {
  CalendarBox* box = unbox<CalendarBox>(TypeId::Calendar, obj);
  if (!box) return false;
  SharedHold hold(box->flag);
  if (!hold) return false;
  *out = box->value;
  return true;
}

PyObject* calendar_intersect(PyObject*, const Args& a) {
  if (a.size() == 0) return raise_error(Error{ErrorKind::Value, msg::kNoCalendars});
  std::vector<Calendar> copies(static_cast<std::size_t>(a.size()));
  for (Py_ssize_t i = 0; i < a.size(); ++i)
    if (!copy_calendar(a[i], &copies[static_cast<std::size_t>(i)])) return nullptr;
  if (copies.size() == 1) return new_calendar_object(std::move(copies.front()));
  return new_calendar_object(make_composite(std::move(copies)));
}

PyObject* calendar_and(PyObject* self, const Args& a) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    std::vector<Calendar> parts(2);
    parts[0] = c;
    if (!copy_calendar(a[0], &parts[1])) {
      prefix_argument_error("other");
      return nullptr;
    }
    return new_calendar_object(make_composite(std::move(parts)));
  });
}

// ---------------------------------------------------------------- editing

PyObject* calendar_set_default_capacity(PyObject* self, const Args& a) {
  return edit_calendar(self, [&](Calendar& c) {
    Capacity capacity;
    return a.get(0, &capacity) && ok(set_default_capacity(c, capacity));
  });
}

PyObject* calendar_capacity(PyObject* self, const Args& a) {
  return edit_calendar(self, [&](Calendar& c) {
    if (a.size() == 1) {
      Capacity capacity;
      return from_py(a[0], &capacity) && ok(set_default_capacity(c, capacity));
    }
    if (a.size() == 3) {
      Instant start, end;
      Capacity capacity;
      return from_py(a[0], &start) && from_py(a[1], &end) && from_py(a[2], &capacity) &&
             ok(add_capacity_override(c, start, end, capacity));
    }
    raise_error(Error{ErrorKind::Value, msg::kCapacityArity});
    return false;
  });
}

using RuleOp = Result<void> (*)(Calendar&, Weekday, TimeOfDay, TimeOfDay);

template <RuleOp Op>
PyObject* calendar_add_rule(PyObject* self, const Args& a) {
  return edit_calendar(self, [&](Calendar& c) {
    Weekday day;
    TimeOfDay start, end;
    return a.get(0, &day) && a.get(1, &start) && a.get(2, &end) && ok(Op(c, day, start, end));
  });
}

using WeekdayRuleOp = Result<void> (*)(Calendar&, TimeOfDay, TimeOfDay);

template <WeekdayRuleOp Op>
PyObject* calendar_add_weekday_rule(PyObject* self, const Args& a) {
  return edit_calendar(self, [&](Calendar& c) {
    TimeOfDay start, end;
    return a.get(0, &start) && a.get(1, &end) && ok(Op(c, start, end));
  });
}

using WindowOp = Result<void> (*)(Calendar&, Instant, Instant);

template <WindowOp Op>
PyObject* calendar_add_window(PyObject* self, const Args& a) {
  return edit_calendar(self, [&](Calendar& c) {
    Instant start, end;
    return a.get(0, &start) && a.get(1, &end) && ok(Op(c, start, end));
  });
}

PyObject* calendar_add_holiday(PyObject* self, const Args& a) {
  return edit_calendar(self, [&](Calendar& c) {
    Date date;
    return a.get(0, &date) && ok(add_holiday(c, date));
  });
}

PyObject* calendar_close(PyObject* self, const Args& a) {
  return edit_calendar(self, [&](Calendar& c) {
    if (a.size() == 1) {
      Date date;
      return from_py(a[0], &date) && ok(add_holiday(c, date));
    }
    if (a.size() == 2) {
      Instant start, end;
      return from_py(a[0], &start) && from_py(a[1], &end) && ok(add_closed_window(c, start, end));
    }
    raise_error(Error{ErrorKind::Value, msg::kCloseArity});
    return false;
  });
}

PyObject* calendar_add_capacity_override(PyObject* self, const Args& a) {
  return edit_calendar(self, [&](Calendar& c) {
    Instant start, end;
    Capacity capacity;
    return a.get(0, &start) && a.get(1, &end) && a.get(2, &capacity) &&
           ok(add_capacity_override(c, start, end, capacity));
  });
}

template <EntryKind Kind>
PyObject* calendar_set_entry(PyObject* self, const Args& a) {
  return edit_calendar(self, [&](Calendar& c) {
    std::string id;
    Instant start, end;
    Capacity capacity = 0;
    if (!a.get(0, &id) || !a.get(1, &start) || !a.get(2, &end)) return false;
    if constexpr (Kind == EntryKind::Capacity)
      if (!a.get(3, &capacity)) return false;
    return ok(set_entry(c, std::move(id), Kind, start, end, capacity));
  });
}

PyObject* calendar_get_entry(PyObject* self, const Args& a) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    std::string id;
    if (!a.get(0, &id)) return nullptr;
    auto found = find_entry(c, id);
    if (!ok(found)) return nullptr;
    return *found ? entry_to_py(**found) : Py_NewRef(Py_None);
  });
}

PyObject* calendar_remove_entry(PyObject* self, const Args& a) {
  CalendarBox* box = unbox<CalendarBox>(TypeId::Calendar, self);
  if (!box) return nullptr;
  ExclusiveHold hold(box->flag);
  if (!hold) return nullptr;
  std::string id;
  if (!a.get(0, &id)) return nullptr;
  auto removed = remove_entry(box->value, id);
  if (!ok(removed)) return nullptr;
  return to_py(*removed);
}

using ClearOp = Result<void> (*)(Calendar&);

template <ClearOp Op>
PyObject* calendar_clear(PyObject* self, const Args&) {
  return edit_calendar(self, [](Calendar& c) { return ok(Op(c)); });
}

// ---------------------------------------------------------------- declarations

constinit MethodDecl kNew{"HourloomCalendar", "", &calendar_new};
constinit MethodDecl kCreate{"Create", "", &calendar_create};
constinit MethodDecl kWeekdays{"Weekdays", "start, end", &calendar_weekdays};
constinit MethodDecl kWindow{"Window", "start, end", &calendar_window};
constinit MethodDecl kIntersect{"Intersect", "*calendars", &calendar_intersect};
constinit MethodDecl kAnd{"And", "other", &calendar_and};
constinit MethodDecl kToDefinition{"ToDefinition", "", &calendar_to_definition};
constinit MethodDecl kToJson{"ToJson", "indented=False", &calendar_to_json};
constinit MethodDecl kFromDefinition{"FromDefinition", "definition", &calendar_from_definition};
constinit MethodDecl kFromJson{"FromJson", "json", &calendar_from_json};
constinit MethodDecl kSetDefaultCapacity{"SetDefaultCapacity", "capacity", &calendar_set_default_capacity};
constinit MethodDecl kCapacity{"Capacity", "*args", &calendar_capacity};
constinit MethodDecl kAddOpenRule{"AddOpenRule", "day, start, end", &calendar_add_rule<add_open_rule>};
constinit MethodDecl kAddWeekdayOpenRule{"AddWeekdayOpenRule", "start, end",
                                         &calendar_add_weekday_rule<add_weekday_open_rules>};
constinit MethodDecl kOpenWeekdays{"OpenWeekdays", "start, end", &calendar_add_weekday_rule<add_weekday_open_rules>};
constinit MethodDecl kAddBreakRule{"AddBreakRule", "day, start, end", &calendar_add_rule<add_break_rule>};
constinit MethodDecl kAddWeekdayBreakRule{"AddWeekdayBreakRule", "start, end",
                                          &calendar_add_weekday_rule<add_weekday_break_rules>};
constinit MethodDecl kBreakWeekdays{"BreakWeekdays", "start, end", &calendar_add_weekday_rule<add_weekday_break_rules>};
constinit MethodDecl kAddOpenWindow{"AddOpenWindow", "start, end", &calendar_add_window<add_open_window>};
constinit MethodDecl kOpen{"Open", "start, end", &calendar_add_window<add_open_window>};
constinit MethodDecl kAddHoliday{"AddHoliday", "date", &calendar_add_holiday};
constinit MethodDecl kClose{"Close", "*args", &calendar_close};
constinit MethodDecl kAddDowntime{"AddDowntime", "start, end", &calendar_add_window<add_closed_window>};
constinit MethodDecl kDown{"Down", "start, end", &calendar_add_window<add_closed_window>};
constinit MethodDecl kAddClosedWindow{"AddClosedWindow", "start, end", &calendar_add_window<add_closed_window>};
constinit MethodDecl kAddCapacityOverride{"AddCapacityOverride", "start, end, capacity",
                                          &calendar_add_capacity_override};
constinit MethodDecl kSetOpenWindow{"SetOpenWindow", "id, start, end", &calendar_set_entry<EntryKind::Open>};
constinit MethodDecl kSetClosedWindow{"SetClosedWindow", "id, start, end", &calendar_set_entry<EntryKind::Closed>};
constinit MethodDecl kSetCapacityWindow{"SetCapacityWindow", "id, start, end, capacity",
                                        &calendar_set_entry<EntryKind::Capacity>};
constinit MethodDecl kGetEntry{"GetEntry", "id", &calendar_get_entry};
constinit MethodDecl kRemoveEntry{"RemoveEntry", "id", &calendar_remove_entry};
constinit MethodDecl kClearOpenRules{"ClearOpenRules", "", &calendar_clear<clear_open_rules>};
constinit MethodDecl kClearOpenWindows{"ClearOpenWindows", "", &calendar_clear<clear_open_windows>};
constinit MethodDecl kClearBreakRules{"ClearBreakRules", "", &calendar_clear<clear_break_rules>};
constinit MethodDecl kClearClosedWindows{"ClearClosedWindows", "", &calendar_clear<clear_closed_windows>};
constinit MethodDecl kClearCapacityOverrides{"ClearCapacityOverrides", "", &calendar_clear<clear_capacity_overrides>};
constinit MethodDecl kClearEntries{"ClearEntries", "", &calendar_clear<clear_entries>};
constinit MethodDecl kClear{"Clear", "", &calendar_clear<clear>};
constinit MethodDecl kCanWork{"CanWork", "target", &calendar_can_work};
constinit MethodDecl kHasCapacity{"HasCapacity", "target, minimumCapacity", &calendar_has_capacity};
constinit MethodDecl kGetCapacityAt{"GetCapacityAt", "instant", &calendar_get_capacity_at};
constinit MethodDecl kGetOpenWindows{"GetOpenWindows", "start, end", &calendar_get_open_windows};
constinit MethodDecl kGetCapacityWindows{"GetCapacityWindows", "start, end, minimumCapacity=1",
                                         &calendar_get_capacity_windows};
constinit MethodDecl kGetUnavailableWindows{"GetUnavailableWindows", "start, end",
                                            &calendar_get_unavailable_windows};
constinit MethodDecl kGetStateWindows{"GetStateWindows", "start, end", &calendar_get_state_windows};

// Members in the class's defined order; members of features still to come
// take their places in this order when they land.
const Member kCalendarMembers[] = {
    property("DefaultCapacity", &calendar_default_capacity),
    property("IsComposite", &calendar_is_composite),
    property("Components", &calendar_components),
    property("OpenRules", &calendar_open_rules),
    property("BreakRules", &calendar_break_rules),
    property("OpenWindows", &calendar_open_windows),
    property("ClosedWindows", &calendar_closed_windows),
    property("CapacityOverrides", &calendar_capacity_overrides),
    property("Entries", &calendar_entries),
    static_method<kCreate>(),
    static_method<kWeekdays>(),
    static_method<kWindow>(),
    static_method<kIntersect>(),
    method<kAnd>(),
    method<kToDefinition>(),
    method<kToJson>(),
    static_method<kFromDefinition>(),
    static_method<kFromJson>(),
    method<kSetDefaultCapacity>(),
    method<kCapacity>(),
    method<kAddOpenRule>(),
    method<kAddWeekdayOpenRule>(),
    method<kOpenWeekdays>(),
    method<kAddBreakRule>(),
    method<kAddWeekdayBreakRule>(),
    method<kBreakWeekdays>(),
    method<kAddOpenWindow>(),
    method<kOpen>(),
    method<kAddHoliday>(),
    method<kClose>(),
    method<kAddDowntime>(),
    method<kDown>(),
    method<kAddClosedWindow>(),
    method<kAddCapacityOverride>(),
    method<kSetOpenWindow>(),
    method<kSetClosedWindow>(),
    method<kSetCapacityWindow>(),
    method<kGetEntry>(),
    method<kRemoveEntry>(),
    method<kClearOpenRules>(),
    method<kClearOpenWindows>(),
    method<kClearBreakRules>(),
    method<kClearClosedWindows>(),
    method<kClearCapacityOverrides>(),
    method<kClearEntries>(),
    method<kClear>(),
    method<kCanWork>(),
    method<kHasCapacity>(),
    method<kGetCapacityAt>(),
    method<kGetOpenWindows>(),
    method<kGetCapacityWindows>(),
    method<kGetUnavailableWindows>(),
    method<kGetStateWindows>(),
};

}  // namespace

const ClassDecl kCalendarClass{"HourloomCalendar", sizeof(Boxed<CalendarBox>), &boxed_dealloc<CalendarBox>,
                               &kNew,              nullptr,                    nullptr,
                               kCalendarMembers};

}  // namespace hourloom::py
