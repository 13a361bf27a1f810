// HourloomPointQuery and HourloomRangeQuery: an instant or a range bound to the
// calendar as it was when the object was made (At, Between). The calendar is
// an immutable snapshot shared with the calendar object's other query objects;
// no edit reaches it, so no hold is taken. Their rows are the calendar's
// questions (calendar.h) with the bound values filling the leading parameters;
// Analyze and the range's coverage and slot questions have rows of their own.
#include "binding/classes/calendar.h"

namespace hourloom::py {

namespace {

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

// ---------------------------------------------------------------- HourloomPointQuery

using OnPoint = OnPointQuery;

constinit MethodDecl kPointCanWork = row<OnPoint>(ask::kCanWork);
constinit MethodDecl kPointHasCapacity = row<OnPoint>(ask::kHasCapacity);
constinit MethodDecl kPointGetCapacity = row<OnPoint>(ask::kGetCapacityAt, "GetCapacity");
constinit MethodDecl kPointAnalyze = query<OnPoint, &analysis_at>("Analyze", "searchRadius=None");
constinit MethodDecl kPointGetWindows = row<OnPoint>(ask::kGetWindowsAt, "GetWindows");
constinit MethodDecl kPointGetCurrentOpenWindow = row<OnPoint>(ask::kGetCurrentOpenWindow);
constinit MethodDecl kPointGetCurrentUnavailableWindow = row<OnPoint>(ask::kGetCurrentUnavailableWindow);
constinit MethodDecl kPointGetNextTransitionTime = row<OnPoint>(ask::kGetNextTransitionTime);
constinit MethodDecl kPointGetPreviousTransitionTime = row<OnPoint>(ask::kGetPreviousTransitionTime);
constinit MethodDecl kPointGetNearestTransitionTime = row<OnPoint>(ask::kGetNearestTransitionTime);
constinit MethodDecl kPointGetNextOpenTime = row<OnPoint>(ask::kGetNextOpenTime);
constinit MethodDecl kPointAddWorkDuration = row<OnPoint>(ask::kAddWorkDuration);
constinit MethodDecl kPointTraceWorkDuration = row<OnPoint>(ask::kTraceWorkDuration);

const Member kPointMembers[] = {
    method<kPointCanWork>(),
    method<kPointHasCapacity>(),
    method<kPointGetCapacity>(),
    method<kPointAnalyze>(),
    method<kPointGetWindows>(),
    method<kPointGetCurrentOpenWindow>(),
    method<kPointGetCurrentUnavailableWindow>(),
    method<kPointGetNextTransitionTime>(),
    method<kPointGetPreviousTransitionTime>(),
    method<kPointGetNearestTransitionTime>(),
    method<kPointGetNextOpenTime>(),
    method<kPointAddWorkDuration>(),
    method<kPointTraceWorkDuration>(),
};

// ---------------------------------------------------------------- HourloomRangeQuery

// The range's coverage questions as the calendar asks them of a window, once
// the range is known to be ordered.
Result<bool> range_can_work(const Calendar& c, Instant start, Instant end) {
  auto w = make_window(start, end);
  if (!w) return Unexpected(w.error());
  return window_can_work(c, *w);
}
Result<bool> range_has_capacity(const Calendar& c, Instant start, Instant end, MinimumCapacity minimum) {
  auto w = make_window(start, end);
  if (!w) return Unexpected(w.error());
  return window_has_capacity(c, *w, minimum.value);
}

// range_first_slot: the first slot searched up to the range's end. A reversed
// range is refused once the duration and minimum have passed their checks.
Result<std::optional<TimeWindow>> range_first_slot(const Calendar& c, Instant start, Instant end, Duration d,
                                                   Capacity minimum) {
  if (!(end < start)) return first_slot(c, start, d, minimum, end);
  if (auto checked = first_slot_range(start, d, minimum, start); !checked) return Unexpected(checked.error());
  return fail(ErrorKind::Value, msg::kEndBeforeStart);
}

using OnRange = OnRangeQuery;

constinit MethodDecl kRangeGetOpenWindows = row<OnRange>(ask::kGetOpenWindows);
constinit MethodDecl kRangeGetUnavailableWindows = row<OnRange>(ask::kGetUnavailableWindows);
constinit MethodDecl kRangeGetStateWindows = row<OnRange>(ask::kGetStateWindows);
constinit MethodDecl kRangeAnalyze = query<OnRange, &range_analysis>("Analyze", "");
constinit MethodDecl kRangeGetWorkingDuration = row<OnRange>(ask::kGetWorkingDuration);
constinit MethodDecl kRangeGetWorkingTicks = row<OnRange>(ask::kGetWorkingTicks);
constinit MethodDecl kRangeGetCapacityWindows = row<OnRange>(ask::kGetCapacityWindows);
constinit MethodDecl kRangeCanWork = query<OnRange, &range_can_work>("CanWork", "");
constinit MethodDecl kRangeHasCapacity = query<OnRange, &range_has_capacity>("HasCapacity", "minimumCapacity");
constinit MethodDecl kRangeFindFirstSlot =
    query<OnRange, &range_first_slot>("FindFirstSlot", "duration, minimumCapacity=1");

const Member kRangeMembers[] = {
    method<kRangeGetOpenWindows>(),
    method<kRangeGetUnavailableWindows>(),
    method<kRangeGetStateWindows>(),
    method<kRangeAnalyze>(),
    method<kRangeGetWorkingDuration>(),
    method<kRangeGetWorkingTicks>(),
    method<kRangeGetCapacityWindows>(),
    method<kRangeCanWork>(),
    method<kRangeHasCapacity>(),
    method<kRangeFindFirstSlot>(),
};

}  // namespace

const ClassDecl kPointQueryClass{"HourloomPointQuery", sizeof(Boxed<PointQuery>), &boxed_dealloc<PointQuery>,
                                 nullptr,              nullptr,                   nullptr,
                                 kPointMembers};
const ClassDecl kRangeQueryClass{"HourloomRangeQuery", sizeof(Boxed<RangeQuery>), &boxed_dealloc<RangeQuery>,
                                 nullptr,              nullptr,                   nullptr,
                                 kRangeMembers};

}  // namespace hourloom::py
