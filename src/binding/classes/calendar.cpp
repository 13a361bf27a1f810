// HourloomCalendar: every member, in the class's defined order (the member
// table at the end). The questions it shares with the point and range query
// objects are declared in calendar.h (ask::) and become rows here.
#include <vector>

#include "binding/classes/calendar.h"
#include "binding/classes/definition.h"
#include "definition/conversion.h"
#include "definition/json_reader.h"
#include "timeline/timeline.h"

namespace hourloom::py {

Result<PyObject*> state_windows_list(const Calendar& c, Instant start, Instant end) {
  struct Append final : StateSink {
    Ref list{PyList_New(0)};
    bool take(const StateWindow& s) override {
      Ref item(to_py(s));
      return item && PyList_Append(list.get(), item.get()) == 0;
    }
  } append;
  if (!append.list) return nullptr;
  if (auto done = each_state_window(c, start, end, append); !done) return Unexpected(done.error());
  if (PyErr_Occurred()) return nullptr;  // a window's object could not be made
  return append.list.release();
}

namespace {

// ---------------------------------------------------------------- members with arguments of several forms

// Intersect(*calendars): a composite of copies of the calendars (one calendar
// is copied as it is).
PyObject* calendar_intersect(PyObject*, const Args& a) {
  if (a.size() == 0) return raise_error(Error{ErrorKind::Value, text::kNoCalendars});
  std::vector<Calendar> copies(static_cast<std::size_t>(a.size()));
  for (Py_ssize_t i = 0; i < a.size(); ++i)
    if (!from_py(a[i], &copies[static_cast<std::size_t>(i)])) return nullptr;
  if (copies.size() == 1) return to_py(std::move(copies.front()));
  return to_py(make_composite(std::move(copies)));
}

// edit_calendar: body(Calendar&) -> bool under the exclusive hold; the
// calendar itself on success.
template <class Body>
PyObject* edit_calendar(PyObject* self, Body body) {
  CalendarBox* box = unbox<CalendarBox>(TypeId::Calendar, self);
  if (!box) return nullptr;
  ExclusiveHold hold(box->flag);
  if (!hold) return nullptr;
  if (!body(box->edited())) return nullptr;
  return Py_NewRef(self);
}

// Capacity(capacity) or Capacity(start, end, capacity).
PyObject* calendar_capacity(PyObject* self, const Args& a) {
  return edit_calendar(self, [&](Calendar& c) {
    if (a.size() == 1) {
      Capacity capacity;
      return from_py(a[0], &capacity) && !raise_if_error(set_default_capacity(c, capacity));
    }
    if (a.size() == 3) {
      Instant start, end;
      Capacity capacity;
      return from_py(a[0], &start) && from_py(a[1], &end) && from_py(a[2], &capacity) &&
             !raise_if_error(add_capacity_override(c, start, end, capacity));
    }
    raise_error(Error{ErrorKind::Value, text::kCapacityArity});
    return false;
  });
}

// Close(date) or Close(start, end).
PyObject* calendar_close(PyObject* self, const Args& a) {
  return edit_calendar(self, [&](Calendar& c) {
    if (a.size() == 1) {
      Date date;
      return from_py(a[0], &date) && !raise_if_error(add_holiday(c, date));
    }
    if (a.size() == 2) {
      Instant start, end;
      return from_py(a[0], &start) && from_py(a[1], &end) && !raise_if_error(add_closed_window(c, start, end));
    }
    raise_error(Error{ErrorKind::Value, text::kCloseArity});
    return false;
  });
}

// Analyze(instant, end=None, searchRadius=None): an end that converts as an
// instant asks for the range analysis (searchRadius is then not looked at);
// any other second argument is the radius unless searchRadius is given.
PyObject* calendar_analyze(const Calendar& c, Instant t, PyObject* end, PyObject* radius) {
  if (end != Py_None) {
    std::optional<Instant> until;
    if (!instant_if_given(end, &until)) return nullptr;
    if (until) return to_py(range_analysis(c, t, *until));
    if (radius == Py_None) radius = end;
  }
  std::optional<Duration> r;
  if (radius != Py_None && !any_to_duration(radius, &r.emplace())) return nullptr;
  return to_py(analysis_at(c, t, r));
}

// ---------------------------------------------------------------- small bodies

Calendar empty_calendar() { return Calendar{}; }

// calendar_with: a new calendar after one edit from start to end (Weekdays:
// open rules; Window: one open window), or the edit's error.
template <auto Edit, class Bound>
Result<Calendar> calendar_with(Bound start, Bound end) {
  Calendar c;
  if (auto ok = Edit(c, start, end); !ok) return Unexpected(ok.error());
  return c;
}

Calendar calendar_and(const Calendar& self, Calendar other) {
  std::vector<Calendar> parts;
  parts.reserve(2);
  parts.push_back(self);
  parts.push_back(std::move(other));
  return make_composite(std::move(parts));
}

template <EntryKind Kind>
Result<void> set_window_entry(Calendar& c, std::string id, Instant start, Instant end) {
  return set_entry(c, id, Kind, start, end, 0);
}

Result<void> set_capacity_entry(Calendar& c, std::string id, Instant start, Instant end, Capacity capacity) {
  return set_entry(c, id, EntryKind::WithCapacity, start, end, capacity);
}

// ---------------------------------------------------------------- saving and restoring

// calendar_json: `indented` is converted before the composite check.
PyObject* calendar_json(const Calendar& c, bool indented) {
  auto d = to_definition(c);
  if (!d) return raise_error(d.error());
  return definition_json(*d, indented);
}

Result<Calendar> calendar_from_definition(const Definition* d) { return to_calendar(*d); }

PyObject* calendar_from_json(JsonText text) {
  auto d = read_json(text.utf8);
  if (!d) return raise_json_error(d.error());
  auto c = to_calendar(std::move(*d));
  if (!c) return raise_error(c.error());
  return to_py(std::move(*c));
}

// ---------------------------------------------------------------- rows

using On = OnCalendar;

constinit MethodDecl kNew = constructor<On, &empty_calendar>("HourloomCalendar", "");
constinit MethodDecl kCreate = function<&empty_calendar>("Create", "");
constinit MethodDecl kWeekdays =
    function<&calendar_with<&add_weekday_open_rules, TimeOfDay>>("Weekdays", "start, end");
constinit MethodDecl kWindow = function<&calendar_with<&add_open_window, Instant>>("Window", "start, end");
constinit MethodDecl kIntersect{"Intersect", "*calendars", &calendar_intersect};
constinit MethodDecl kAnd = query<On, &calendar_and>("And", "other");
constinit MethodDecl kAt = query<OnCalendarBox, &point_query>("At", "start");
constinit MethodDecl kBetween = query<OnCalendarBox, &range_query>("Between", "start, end");
constinit MethodDecl kCompile = query<On, &compile_timeline>("Compile", "start, end");
constinit MethodDecl kToDefinition = query<On, &to_definition>("ToDefinition", "");
constinit MethodDecl kToJson = query<On, &calendar_json>("ToJson", "indented=False");
constinit MethodDecl kFromDefinition = function<&calendar_from_definition>("FromDefinition", "definition");
constinit MethodDecl kFromJson = function<&calendar_from_json>("FromJson", "json");
constinit MethodDecl kAnalyze = query<On, &calendar_analyze>("Analyze", "instant, end=None, searchRadius=None");
constinit MethodDecl kSetDefaultCapacity = edit<On, &set_default_capacity>("SetDefaultCapacity", "capacity");
constinit MethodDecl kCapacity{"Capacity", "*args", &calendar_capacity};
constinit MethodDecl kAddOpenRule = edit<On, &add_open_rule>("AddOpenRule", "day, start, end");
constinit MethodDecl kAddWeekdayOpenRule = edit<On, &add_weekday_open_rules>("AddWeekdayOpenRule", "start, end");
constinit MethodDecl kOpenWeekdays = edit<On, &add_weekday_open_rules>("OpenWeekdays", "start, end");
constinit MethodDecl kAddBreakRule = edit<On, &add_break_rule>("AddBreakRule", "day, start, end");
constinit MethodDecl kAddWeekdayBreakRule = edit<On, &add_weekday_break_rules>("AddWeekdayBreakRule", "start, end");
constinit MethodDecl kBreakWeekdays = edit<On, &add_weekday_break_rules>("BreakWeekdays", "start, end");
constinit MethodDecl kAddOpenWindow = edit<On, &add_open_window>("AddOpenWindow", "start, end");
constinit MethodDecl kOpen = edit<On, &add_open_window>("Open", "start, end");
constinit MethodDecl kAddHoliday = edit<On, &add_holiday>("AddHoliday", "date");
constinit MethodDecl kClose{"Close", "*args", &calendar_close};
constinit MethodDecl kAddDowntime = edit<On, &add_closed_window>("AddDowntime", "start, end");
constinit MethodDecl kDown = edit<On, &add_closed_window>("Down", "start, end");
constinit MethodDecl kAddClosedWindow = edit<On, &add_closed_window>("AddClosedWindow", "start, end");
constinit MethodDecl kAddCapacityOverride =
    edit<On, &add_capacity_override>("AddCapacityOverride", "start, end, capacity");
constinit MethodDecl kSetOpenWindow = edit<On, &set_window_entry<EntryKind::Open>>("SetOpenWindow", "id, start, end");
constinit MethodDecl kSetClosedWindow =
    edit<On, &set_window_entry<EntryKind::Closed>>("SetClosedWindow", "id, start, end");
constinit MethodDecl kSetCapacityWindow =
    edit<On, &set_capacity_entry>("SetCapacityWindow", "id, start, end, capacity");
constinit MethodDecl kGetEntry = query<On, &find_entry>("GetEntry", "id");
constinit MethodDecl kRemoveEntry = edit<On, &remove_entry>("RemoveEntry", "id");
constinit MethodDecl kClearOpenRules = edit<On, &clear_open_rules>("ClearOpenRules", "");
constinit MethodDecl kClearOpenWindows = edit<On, &clear_open_windows>("ClearOpenWindows", "");
constinit MethodDecl kClearBreakRules = edit<On, &clear_break_rules>("ClearBreakRules", "");
constinit MethodDecl kClearClosedWindows = edit<On, &clear_closed_windows>("ClearClosedWindows", "");
constinit MethodDecl kClearCapacityOverrides = edit<On, &clear_capacity_overrides>("ClearCapacityOverrides", "");
constinit MethodDecl kClearEntries = edit<On, &clear_entries>("ClearEntries", "");
constinit MethodDecl kClear = edit<On, &clear>("Clear", "");
constinit MethodDecl kCanWork = row<On>(ask::kCanWork);
constinit MethodDecl kHasCapacity = row<On>(ask::kHasCapacity);
constinit MethodDecl kGetCapacityAt = row<On>(ask::kGetCapacityAt);
constinit MethodDecl kGetOpenWindows = row<On>(ask::kGetOpenWindows);
constinit MethodDecl kGetCapacityWindows = row<On>(ask::kGetCapacityWindows);
constinit MethodDecl kGetUnavailableWindows = row<On>(ask::kGetUnavailableWindows);
constinit MethodDecl kGetStateWindows = row<On>(ask::kGetStateWindows);
constinit MethodDecl kGetNextOpenTime = row<On>(ask::kGetNextOpenTime);
constinit MethodDecl kAddWorkDuration = row<On>(ask::kAddWorkDuration);
constinit MethodDecl kTraceWorkDuration = row<On>(ask::kTraceWorkDuration);
constinit MethodDecl kGetWorkingDuration = row<On>(ask::kGetWorkingDuration);
constinit MethodDecl kGetWorkingTicks = row<On>(ask::kGetWorkingTicks);
constinit MethodDecl kGetWindowsAt = row<On>(ask::kGetWindowsAt);
constinit MethodDecl kGetCurrentOpenWindow = row<On>(ask::kGetCurrentOpenWindow);
constinit MethodDecl kGetCurrentUnavailableWindow = row<On>(ask::kGetCurrentUnavailableWindow);
constinit MethodDecl kGetNextTransitionTime = row<On>(ask::kGetNextTransitionTime);
constinit MethodDecl kGetPreviousTransitionTime = row<On>(ask::kGetPreviousTransitionTime);
constinit MethodDecl kGetNearestTransitionTime = row<On>(ask::kGetNearestTransitionTime);
constinit MethodDecl kFindFirstSlot =
    query<On, &first_slot>("FindFirstSlot", "start, duration, minimumCapacity=1, searchUntil=None");

// Members in the class's defined order.
const Member kCalendarMembers[] = {
    property("DefaultCapacity", &read<On, &Calendar::default_capacity>),
    property("IsComposite", &read<On, &Calendar::is_composite>),
    property("Components", &read<On, &Calendar::components>),
    property("OpenRules", &read<On, &Calendar::open_rules>),
    property("BreakRules", &read<On, &Calendar::break_rules>),
    property("OpenWindows", &read<On, &Calendar::open_windows>),
    property("ClosedWindows", &read<On, &Calendar::closed_windows>),
    property("CapacityOverrides", &read<On, &Calendar::capacity_overrides>),
    property("Entries", &read<On, &Calendar::entries>),
    static_method<kCreate>(),
    static_method<kWeekdays>(),
    static_method<kWindow>(),
    static_method<kIntersect>(),
    method<kAnd>(),
    method<kAt>(),
    method<kBetween>(),
    method<kCompile>(),
    method<kToDefinition>(),
    method<kToJson>(),
    static_method<kFromDefinition>(),
    static_method<kFromJson>(),
    method<kAnalyze>(),
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
    method<kGetNextOpenTime>(),
    method<kAddWorkDuration>(),
    method<kTraceWorkDuration>(),
    method<kGetWorkingDuration>(),
    method<kGetWorkingTicks>(),
    method<kGetOpenWindows>(),
    method<kGetCapacityWindows>(),
    method<kGetUnavailableWindows>(),
    method<kGetStateWindows>(),
    method<kGetWindowsAt>(),
    method<kGetCurrentOpenWindow>(),
    method<kGetCurrentUnavailableWindow>(),
    method<kGetNextTransitionTime>(),
    method<kGetPreviousTransitionTime>(),
    method<kGetNearestTransitionTime>(),
    method<kFindFirstSlot>(),
};

}  // namespace

const ClassDecl kCalendarClass{"HourloomCalendar", sizeof(Boxed<CalendarBox>), &boxed_dealloc<CalendarBox>,
                               &kNew,              nullptr,                    nullptr,
                               kCalendarMembers};

}  // namespace hourloom::py
