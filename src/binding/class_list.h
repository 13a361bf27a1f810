// The module's classes, one row each, in registration order (module attributes
// 2 to 20). Each class is defined in its own file under classes/, which
// defines k<Id>Class; adding a class is that file and one row here.
//   X(Id, Value, Box, AliasRank)
//   Id         TypeId::Id names the class's type object; the file defines k<Id>Class
//   Value      the engine value an instance stands for: to_py(Value) makes one,
//              and a Value parameter accepts one (namespace classes: a tag)
//   Box        what an instance holds: the value itself, or an owner of it
//   AliasRank  the class's place in the order the alias tables are applied
// No includes: read by core/objects.h (TypeId), core/decl.h (the k<Id>Class
// declarations), core/to_py.h (Value and Box) and module.cpp (the
// registration table).
#pragma once

#define HOURLOOM_CLASSES(X)                                                   \
  X(DayOfWeek, DayOfWeekNames, DayOfWeekNames, 3)                             \
  X(EntryKind, EntryKindNames, EntryKindNames, 4)                             \
  X(WindowKind, WindowKindNames, WindowKindNames, 5)                          \
  X(TimeWindow, TimeWindow, TimeWindow, 0)                                    \
  X(WeeklyRule, WeeklyRule, WeeklyRule, 1)                                    \
  X(CapacityWindow, CapacityWindow, CapacityWindow, 2)                        \
  X(Entry, Entry, Entry, 6)                                                   \
  X(Calendar, Calendar, CalendarBox, 7)                                       \
  X(Definition, Definition, Definition, 18)                                   \
  X(PointQuery, PointQuery, PointQuery, 14)                                   \
  X(RangeQuery, RangeQuery, RangeQuery, 15)                                   \
  X(Timeline, Timeline, Timeline, 16)                                         \
  X(TimelineBatch, TimelineBatch, TimelineBatch, 17)                          \
  X(InstantAnalysis, InstantAnalysis, InstantAnalysis, 10)                    \
  X(TimelineAnalysis, TimelineAnalysis, TimelineAnalysis, 11)                 \
  X(StateWindow, StateWindow, StateWindow, 8)                                 \
  X(WindowMatch, WindowMatch, WindowMatch, 9)                                 \
  X(WorkingTimeTrace, WorkingTimeTrace, WorkingTimeTrace, 13)                 \
  X(WorkingTimeTraceStep, WorkingTimeTraceStep, WorkingTimeTraceStep, 12)
