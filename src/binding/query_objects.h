// The point and range query objects: an instant or a range bound to the
// calendar as it was when the object was made. The calendar is an immutable
// snapshot shared with the calendar object's other query objects; no edit
// reaches it. Their rows are the calendar's questions with the bound values
// filling the leading parameters.
//   cal.At(t).CanWork() == cal.CanWork(t);  cal.Between(s, e).GetOpenWindows() == cal.GetOpenWindows(s, e)
#pragma once

#include <memory>
#include <tuple>

#include "binding/decl.h"
#include "binding/search_rows.h"

namespace hourloom::py {

struct PointQuery {
  std::shared_ptr<const Calendar> calendar;
  Instant at;
};

// The range is kept as given; the questions that need it ordered refuse it.
struct RangeQuery {
  std::shared_ptr<const Calendar> calendar;
  Instant start;
  Instant end;
};

inline PyObject* to_py(PointQuery q) { return box(TypeId::PointQuery, std::move(q)); }
inline PyObject* to_py(RangeQuery q) { return box(TypeId::RangeQuery, std::move(q)); }

// OnCalendarBox: a calendar member that receives the calendar object itself
// (At, Between take its snapshot once their arguments have converted).
struct OnCalendarBox {
  using Box = CalendarBox;
  static constexpr TypeId id = TypeId::Calendar;
  static std::tuple<const CalendarBox&> bound(const CalendarBox& b) { return {b}; }
};

// Immutable, so no hold is taken.
struct OnPointQuery {
  using Box = PointQuery;
  static constexpr TypeId id = TypeId::PointQuery;
  static std::tuple<const Calendar&, Instant> bound(const PointQuery& q) { return {*q.calendar, q.at}; }
};
struct OnRangeQuery {
  using Box = RangeQuery;
  static constexpr TypeId id = TypeId::RangeQuery;
  static std::tuple<const Calendar&, Instant, Instant> bound(const RangeQuery& q) {
    return {*q.calendar, q.start, q.end};
  }
};

inline PointQuery point_query(const CalendarBox& c, Instant at) { return {c.snapshot(), at}; }
inline RangeQuery range_query(const CalendarBox& c, Instant start, Instant end) { return {c.snapshot(), start, end}; }

// The range's coverage questions as the calendar asks them of a window, once
// the range is known to be ordered.
inline Result<bool> range_can_work(const Calendar& c, Instant start, Instant end) {
  auto w = make_window(start, end);
  if (!w) return std::unexpected(w.error());
  return window_can_work(c, *w);
}
inline Result<bool> range_has_capacity(const Calendar& c, Instant start, Instant end, MinimumCapacity minimum) {
  auto w = make_window(start, end);
  if (!w) return std::unexpected(w.error());
  return window_has_capacity(c, *w, minimum.value);
}

// range_first_slot: the first slot searched up to the range's end. A reversed
// range is refused once the duration and minimum have passed their checks (a
// search that ends at its own start runs just those checks).
inline Result<std::optional<TimeWindow>> range_first_slot(const Calendar& c, Instant start, Instant end, Duration d,
                                                         Capacity minimum) {
  if (!(end < start)) return first_slot(c, start, d, minimum, end);
  if (auto checked = first_slot(c, start, d, minimum, start); !checked) return checked;
  return fail(ErrorKind::Value, msg::kEndBeforeStart);
}

}  // namespace hourloom::py
